#pragma once
// BMP pictures through the media library's BMP decoder. The file header is read here first, for the
// declared depth (the decoder widens 1- and 4-bit pictures to 8 bits; the bitmap handed on keeps the
// file's depth and palette) and the declared size (refused before the decoder allocates anything).
// Pictures of 16 or 32 bits with channel masks the decoder does not know (the BMP suite's rgb32bf, for
// one) are unpacked here by their masks.

#include "codecs/CDibImage.h"
#include "codecs/ConversionProblem.h"
#include "codecs/LibavHandles.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace k72 {

class BmpPictureReader {
public:
    BmpPictureReader();
    virtual ~BmpPictureReader();
    BmpPictureReader(const BmpPictureReader&) = delete;
    BmpPictureReader& operator=(const BmpPictureReader&) = delete;

    ConversionProblem Decode(const std::uint8_t* data, std::size_t size, CDibImage& image);

    // What the file header declares; false when it is no BMP header.
    struct Header {
        std::int64_t width = 0;
        std::int64_t height = 0; // negative: stored top-down
        int bitsPerPixel = 0;
        std::uint32_t compression = 0;
        std::uint32_t pixelOffset = 0; // where the pixel rows start in the file
        // Red, green and blue masks of a picture stored with bit fields; zero otherwise.
        std::array<std::uint32_t, 3> masks{};
    };
    [[nodiscard]] static bool ReadHeader(const std::uint8_t* data, std::size_t size, Header& header);

private:
    [[nodiscard]] bool OpenDecoder();
    ConversionProblem ToBitmap(const AVFrame& frame, int declaredBits, CDibImage& image);

    // Opened on first use and kept: a BMP decoder holds no state from one picture to the next.
    libav::CodecContextPtr context_;
    libav::FramePtr frame_;
    libav::PacketPtr packet_;
};

} // namespace k72
