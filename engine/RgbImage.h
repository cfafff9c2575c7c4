#pragma once
// A picture as the screen shows it: 8-bit R, G, B, rows top to bottom, no padding. What a preview
// renders and what the player hands to the window.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace k72 {

struct RgbImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels; // width × height × 3

    bool Empty() const { return width == 0 || height == 0; }
    const std::uint8_t* Pixel(std::uint32_t x, std::uint32_t y) const {
        return pixels.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    }

    // Decodes a JPEG held in memory (a device picture, or one picture of a device movie) at its full
    // size, as the device decodes it, or, for a thumbnail, at the smallest scale that still covers
    // minWidth x minHeight. False when it is no JPEG the decoder reads.
    static bool FromJpeg(const std::uint8_t* data, std::size_t size, RgbImage& image,
                         std::uint32_t minWidth = 0, std::uint32_t minHeight = 0);
};

} // namespace k72
