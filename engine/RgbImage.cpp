#include "engine/RgbImage.h"

#include "codecs/CDibImage.h"
#include "codecs/JpegPictureReader.h"

namespace k72 {

bool RgbImage::FromJpeg(const std::uint8_t* data, std::size_t size, RgbImage& image, std::uint32_t minWidth,
                        std::uint32_t minHeight) {
    CDibImage bitmap;
    if (data == nullptr || size == 0 ||
        DecodeJpegPicture(data, size, minWidth, minHeight, bitmap).Failed()) {
        return false;
    }
    const int bits = bitmap.BitsPerPixel();
    if (bits != 24 && bits != 8) { // the device's pictures are colour; a grey one is 8-bit
        return false;
    }
    image.width = bitmap.Width();
    image.height = bitmap.Height();
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    std::uint8_t* out = image.pixels.data();
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* in = bitmap.Row(y);
        for (std::uint32_t x = 0; x < image.width; ++x, out += 3) {
            if (bits == 24) { // stored B, G, R
                out[0] = in[3 * x + 2];
                out[1] = in[3 * x + 1];
                out[2] = in[3 * x];
            } else {
                const CDibImage::PaletteEntry& grey = bitmap.palette[in[x]];
                out[0] = grey.red;
                out[1] = grey.green;
                out[2] = grey.blue;
            }
        }
    }
    return true;
}

} // namespace k72
