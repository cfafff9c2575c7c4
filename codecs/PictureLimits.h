#pragma once
// The size beyond which the picture decoders refuse a picture.

#include <cstdint>

namespace k72 {

// About 134 megapixels: more than the largest camera pictures (100 MP), while a picture this size still
// fits a desktop's memory in each of the few copies the conversion makes. A file that declares more is
// refused from its header, before any pixel memory is allocated: a few kilobytes of PNG can declare
// 100,000 x 100,000 pixels.
constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 27;

inline bool PictureSizeAcceptable(std::uint64_t width, std::uint64_t height) {
    return width > 0 && height > 0 && width <= kMaxPicturePixels && height <= kMaxPicturePixels &&
           width * height <= kMaxPicturePixels;
}

} // namespace k72
