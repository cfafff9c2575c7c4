#pragma once
// HEIF pictures (HEIC from phones, AVIF) through libheif: the primary picture, turned upright as its
// rotation and mirror properties say, as a 24-bit bitmap (alpha dropped). The declared size is checked
// against the pixel limit before anything is decoded.

#include "codecs/CDibImage.h"
#include "codecs/PictureDecodeStatus.h"

#include <cstddef>
#include <cstdint>

namespace k72 {

// Whether the bytes start like a HEIF file (an ISO "ftyp" box naming a HEIF or AVIF brand).
bool LooksLikeHeif(const std::uint8_t* data, std::size_t size);

PictureDecodeStatus DecodeHeifPicture(const std::uint8_t* data, std::size_t size, CDibImage& image);

} // namespace k72
