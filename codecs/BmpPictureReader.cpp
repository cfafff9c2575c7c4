#include "codecs/BmpPictureReader.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"

#include <climits>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture decoder";

using byteorder::LoadLE16;
using byteorder::LoadLE32;

void SetGreyPalette(CDibImage& image, int bits) {
    const int levels = 1 << bits;
    for (int i = 0; i < levels; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255 / (levels - 1));
        image.palette[static_cast<std::size_t>(i)] = {v, v, v, 0};
    }
}

// One index per byte, as the decoder gives them, packed into a row of 1, 4 or 8 bits per pixel, most
// significant bits first.
void PackIndices(const std::uint8_t* from, std::uint32_t width, int bits, std::uint8_t* to,
                 std::size_t rowBytes) {
    if (bits == 8) {
        std::memcpy(to, from, width);
        return;
    }
    std::memset(to, 0, rowBytes);
    const unsigned mask = (1u << bits) - 1;
    for (std::uint32_t x = 0; x < width; ++x) {
        const std::size_t bit = static_cast<std::size_t>(x) * static_cast<std::size_t>(bits);
        const unsigned shift = 8u - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
        to[bit / 8] = static_cast<std::uint8_t>(to[bit / 8] | ((from[x] & mask) << shift));
    }
}

} // namespace

BmpPictureReader::BmpPictureReader() = default;

BmpPictureReader::~BmpPictureReader() = default;

bool BmpPictureReader::ReadHeader(const std::uint8_t* data, std::size_t size, Header& header) {
    if (data == nullptr || size < 26 || data[0] != 'B' || data[1] != 'M') {
        return false;
    }
    const std::uint32_t infoSize = LoadLE32(data + 14);
    if (infoSize == 12) { // the old OS/2 header: 16-bit unsigned sizes
        header.width = LoadLE16(data + 18);
        header.height = LoadLE16(data + 20);
        header.bitsPerPixel = static_cast<int>(LoadLE16(data + 24));
        header.compression = 0;
    } else if (infoSize >= 40 && size >= 14 + 40) {
        header.width = static_cast<std::int32_t>(LoadLE32(data + 18));
        header.height = static_cast<std::int32_t>(LoadLE32(data + 22));
        header.bitsPerPixel = static_cast<int>(LoadLE16(data + 28));
        header.compression = LoadLE32(data + 30);
    } else {
        return false;
    }
    return header.width > 0 && header.height != 0;
}

bool BmpPictureReader::OpenDecoder() {
    if (context_) {
        return true;
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_BMP);
    if (codec == nullptr) {
        LogLine(kLogModule, "BMP: no decoder in the media library");
        return false;
    }
    libav::CodecContextPtr opened(avcodec_alloc_context3(codec));
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!opened || !frame_ || !packet_ || avcodec_open2(opened.get(), codec, nullptr) < 0) {
        return false;
    }
    context_ = std::move(opened);
    return true;
}

PictureDecodeStatus BmpPictureReader::Decode(const std::uint8_t* data, std::size_t size, CDibImage& image) {
    Header header;
    if (!ReadHeader(data, size, header)) {
        return PictureDecodeStatus::Undecodable;
    }
    const std::uint64_t rows = static_cast<std::uint64_t>(header.height < 0 ? -header.height : header.height);
    if (!PictureSizeAcceptable(static_cast<std::uint64_t>(header.width), rows)) {
        return PictureDecodeStatus::TooLarge;
    }
    // Run-length compression exists for 8-bit and 4-bit bitmaps only. The media library would run its
    // movie RLE decoder on any other depth, and there a few bytes declaring a huge picture cost seconds
    // and gigabytes for a picture of nothing.
    constexpr std::uint32_t kRle8 = 1;
    constexpr std::uint32_t kRle4 = 2;
    if ((header.compression == kRle8 && header.bitsPerPixel != 8) ||
        (header.compression == kRle4 && header.bitsPerPixel != 4)) {
        LogLine(kLogModule, "BMP: run-length compression on a picture of " +
                                std::to_string(header.bitsPerPixel) + " bits per pixel");
        return PictureDecodeStatus::Undecodable;
    }
    if (size > INT_MAX || !OpenDecoder()) {
        return PictureDecodeStatus::Undecodable;
    }
    // The packet only borrows the file's bytes; the library copies what it keeps.
    packet_->data = const_cast<std::uint8_t*>(data);
    packet_->size = static_cast<int>(size);
    int result = avcodec_send_packet(context_.get(), packet_.get());
    packet_->data = nullptr;
    packet_->size = 0;
    if (result >= 0) {
        result = avcodec_receive_frame(context_.get(), frame_.get());
    }
    if (result < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(result, text, sizeof(text));
        LogLine(kLogModule, std::string("BMP: ") + text);
        avcodec_flush_buffers(context_.get());
        return PictureDecodeStatus::Undecodable;
    }
    const PictureDecodeStatus status = ToBitmap(*frame_, header.bitsPerPixel, image);
    av_frame_unref(frame_.get());
    return status;
}

PictureDecodeStatus BmpPictureReader::ToBitmap(const AVFrame& decoded, int declaredBits, CDibImage& image) {
    if (decoded.width <= 0 || decoded.height <= 0 ||
        !PictureSizeAcceptable(static_cast<std::uint64_t>(decoded.width),
                               static_cast<std::uint64_t>(decoded.height))) {
        return PictureDecodeStatus::Undecodable;
    }
    const auto width = static_cast<std::uint32_t>(decoded.width);
    const auto height = static_cast<std::uint32_t>(decoded.height);
    const auto format = static_cast<AVPixelFormat>(decoded.format);
    const auto sourceRow = [&](std::uint32_t y) {
        return decoded.data[0] + static_cast<std::ptrdiff_t>(y) * decoded.linesize[0];
    };
    // Copies rows of a layout the bitmap shares byte for byte.
    const auto copyRows = [&](std::size_t bytes) {
        for (std::uint32_t y = 0; y < height; ++y) {
            std::memcpy(image.Row(y), sourceRow(y), bytes);
        }
    };
    int bits = 32;
    switch (format) {
    case AV_PIX_FMT_PAL8:
        bits = (declaredBits == 1 || declaredBits == 4) ? declaredBits : 8;
        break;
    case AV_PIX_FMT_GRAY8:
        bits = 8;
        break;
    case AV_PIX_FMT_MONOBLACK:
    case AV_PIX_FMT_MONOWHITE:
        bits = 1;
        break;
    case AV_PIX_FMT_BGR24:
        bits = 24;
        break;
    case AV_PIX_FMT_RGB555LE:
    case AV_PIX_FMT_RGB565LE:
    case AV_PIX_FMT_RGB444LE:
        bits = 16;
        break;
    default:
        bits = 32;
        break;
    }
    if (!image.Allocate(width, height, bits)) {
        return PictureDecodeStatus::TooLarge;
    }
    switch (format) {
    case AV_PIX_FMT_PAL8: {
        const auto* palette = reinterpret_cast<const std::uint32_t*>(decoded.data[1]);
        for (int i = 0; i < (1 << bits); ++i) {
            const std::uint32_t argb = palette[i];
            image.palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(argb),
                                                          static_cast<std::uint8_t>(argb >> 8),
                                                          static_cast<std::uint8_t>(argb >> 16), 0};
        }
        for (std::uint32_t y = 0; y < height; ++y) {
            PackIndices(sourceRow(y), width, bits, image.Row(y), image.RowBytes());
        }
        break;
    }
    case AV_PIX_FMT_GRAY8:
        SetGreyPalette(image, 8);
        copyRows(width);
        break;
    case AV_PIX_FMT_MONOBLACK:
        image.palette[1] = {255, 255, 255, 0};
        copyRows((width + 7) / 8);
        break;
    case AV_PIX_FMT_MONOWHITE:
        image.palette[0] = {255, 255, 255, 0};
        copyRows((width + 7) / 8);
        break;
    case AV_PIX_FMT_BGR24:
        copyRows(static_cast<std::size_t>(width) * 3);
        break;
    case AV_PIX_FMT_RGB555LE:
    case AV_PIX_FMT_RGB565LE:
    case AV_PIX_FMT_RGB444LE:
        if (format == AV_PIX_FMT_RGB565LE) {
            image.redMask = 0xF800;
            image.greenMask = 0x07E0;
            image.blueMask = 0x001F;
        } else if (format == AV_PIX_FMT_RGB444LE) {
            image.redMask = 0x0F00;
            image.greenMask = 0x00F0;
            image.blueMask = 0x000F;
        }
        copyRows(static_cast<std::size_t>(width) * 2);
        break;
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_BGR0:
        copyRows(static_cast<std::size_t>(width) * 4);
        break;
    default: {
        // Anything else (unusual channel masks, 64-bit pictures) through the scaler into B, G, R, X, in
        // padded rows of its own (the scaler writes past the end of a row), then row by row.
        const libav::ScalerPtr converter(sws_getContext(decoded.width, decoded.height, format, decoded.width,
                                                        decoded.height, AV_PIX_FMT_BGR0, SWS_POINT, nullptr,
                                                        nullptr, nullptr));
        std::uint8_t* converted[4] = {};
        int convertedStride[4] = {};
        const bool allocated =
            converter != nullptr && av_image_alloc(converted, convertedStride, decoded.width, decoded.height,
                                                   AV_PIX_FMT_BGR0, 64) >= 0;
        const libav::BufferPtr convertedBlock(converted[0]); // av_image_alloc's one block
        const bool ok = allocated && sws_scale(converter.get(), decoded.data, decoded.linesize, 0,
                                               decoded.height, converted, convertedStride) > 0;
        if (ok) {
            for (std::uint32_t y = 0; y < height; ++y) {
                std::memcpy(image.Row(y), converted[0] + static_cast<std::ptrdiff_t>(y) * convertedStride[0],
                            static_cast<std::size_t>(width) * 4);
            }
        }
        if (!ok) {
            return PictureDecodeStatus::Undecodable;
        }
        break;
    }
    }
    return PictureDecodeStatus::Decoded;
}

} // namespace k72
