#pragma once
// HEIF pictures (HEIC from phones, AVIF) through libheif: the primary picture, turned upright as its
// rotation and mirror properties say, as a 24-bit bitmap (alpha dropped). The declared size is checked
// against the pixel limit before anything is decoded.
//
// HEVC items (HEIC) are decoded through a decoder plugin of ours that drives libde265 on the usable
// cores and, for a picture reduced at least 2x both ways, without the in-loop filters. The plugin hands
// the Y, Cb and Cr planes over in a form libheif passes through without converting colours, and swscale
// scales them straight to the size the caller needs. AVIF, damaged files and the rare layouts swscale
// is not given (RGB-coded items, for one) go through libheif's own decoders and conversion.

#include "codecs/CDibImage.h"
#include "codecs/ConversionProblem.h"

#include <cstddef>
#include <cstdint>

namespace k72 {

// Whether the bytes start like a HEIF file (an ISO "ftyp" box naming a HEIF or AVIF brand).
bool LooksLikeHeif(const std::uint8_t* data, std::size_t size);

// When minWidth and minHeight are given, the upright picture is reduced to the smallest size of its
// own shape that still covers them (never enlarged), as a JPEG is decoded at a reduced DCT scale; 0 x 0
// keeps the full size.
ConversionProblem DecodeHeifPicture(const std::uint8_t* data, std::size_t size, std::uint32_t minWidth,
                                    std::uint32_t minHeight, CDibImage& image);

// For measurements only: false makes every HEIF picture go the old way (libheif's own HEVC decoder
// and full-size RGB conversion, at full size). Process-wide; true by default.
void SetHeifFastPath(bool enabled);

} // namespace k72
