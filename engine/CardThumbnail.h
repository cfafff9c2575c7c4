#pragma once
// Small pictures of what a card holds, for overviews: a device picture, or the first picture of a
// device movie, decoded at a reduced scale.

#include "engine/RgbImage.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace k72 {

// The MJPEG bytes of the first picture of a movie file; false when it has none.
bool ReadFirstMoviePicture(const std::filesystem::path& movie, std::vector<std::uint8_t>& jpeg);

// A card file (K72_nnnn.JPG or K72_nnnn.AVI, told apart by content) at the smallest decoding scale that
// still covers minWidth x minHeight. False when it cannot be read or is neither.
bool ReadCardThumbnail(const std::filesystem::path& file, std::uint32_t minWidth, std::uint32_t minHeight,
                       RgbImage& thumbnail);

} // namespace k72
