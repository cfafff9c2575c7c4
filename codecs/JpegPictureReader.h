#pragma once
// JPEG pictures through libjpeg-turbo: colour pictures become 24-bit bitmaps, greyscale ones 8-bit
// bitmaps with a grey palette, CMYK ones 32-bit bitmaps.

#include "codecs/CDibImage.h"
#include "codecs/ConversionProblem.h"

#include <cstddef>
#include <cstdint>

namespace k72 {

// Decodes a JPEG held in memory into a bottom-up bitmap. When minWidth and minHeight are given, the
// picture is decoded at the smallest DCT scale (1/8 ... 8/8) whose size still covers them (or the
// picture's own size, where that is smaller): a 4000 x 3000 photo for a 640 x 480 target is decoded
// at 1000 x 750, four times faster and without the aliasing of a large bilinear reduction. Pictures of
// 12-bit samples and lossless ones go through the media library's JPEG decoder at full size.
ConversionProblem DecodeJpegPicture(const std::uint8_t* data, std::size_t size, std::uint32_t minWidth,
                                    std::uint32_t minHeight, CDibImage& image);

// The scale numerator (over 8) DecodeJpegPicture uses for a picture of this size.
int JpegScaleNumerator(std::uint32_t width, std::uint32_t height, std::uint32_t minWidth,
                       std::uint32_t minHeight);

} // namespace k72
