#include "codecs/BmpPictureReader.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "codecs/PictureCauses.h"
#include "codecs/PictureLimits.h"

#include <bit>
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

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;

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

// The masks the media library's decoder turns into a pixel format of its own: 16 bits as 5-6-5, 5-5-5
// or 4-4-4, 32 bits as any order of whole bytes. Others are unpacked by UnpackBitFields.
bool DecoderKnowsMasks(int bits, const std::array<std::uint32_t, 3>& m) {
    if (bits == 16) {
        return (m[0] == 0xF800 && m[1] == 0x07E0 && m[2] == 0x001F) ||
               (m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F) ||
               (m[0] == 0x0F00 && m[1] == 0x00F0 && m[2] == 0x000F);
    }
    return (m[0] == 0x00FF0000 && m[1] == 0x0000FF00 && m[2] == 0x000000FF);
}

// One channel of a pixel word scaled to 8 bits, whatever the width of its mask.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t largest = 0;
    explicit Channel(std::uint32_t m) : mask(m) {
        if (m != 0) {
            shift = std::countr_zero(m);
            largest = m >> shift;
        }
    }
    std::uint8_t Of(std::uint32_t word) const {
        if (largest == 0) {
            return 0;
        }
        return static_cast<std::uint8_t>(
            (static_cast<std::uint64_t>((word & mask) >> shift) * 255 + largest / 2) / largest);
    }
};

// A 16- or 32-bit picture with bit fields, unpacked by its masks into B, G, R, X rows.
ConversionProblem UnpackBitFields(const std::uint8_t* data, std::size_t size,
                                  const BmpPictureReader::Header& header, CDibImage& image) {
    const auto width = static_cast<std::uint32_t>(header.width);
    const auto height = static_cast<std::uint32_t>(header.height < 0 ? -header.height : header.height);
    const std::size_t bytesPerPixel = static_cast<std::size_t>(header.bitsPerPixel) / 8;
    const std::size_t stride = CDibImage::PaddedRowBytes(width, header.bitsPerPixel);
    if (!image.Allocate(width, height, 32)) {
        return picturecause::OutOfMemory();
    }
    const Channel red(header.masks[0]);
    const Channel green(header.masks[1]);
    const Channel blue(header.masks[2]);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t stored = header.height < 0 ? y : height - 1 - y; // the row's place in the file
        const std::uint8_t* in = data + header.pixelOffset + static_cast<std::size_t>(stored) * stride;
        std::uint8_t* out = image.Row(y);
        for (std::uint32_t x = 0; x < width; ++x, in += bytesPerPixel, out += 4) {
            const std::uint32_t word = bytesPerPixel == 4 ? LoadLE32(in) : LoadLE16(in);
            out[0] = blue.Of(word);
            out[1] = green.Of(word);
            out[2] = red.Of(word);
            out[3] = 0;
        }
    }
    static_cast<void>(size); // the caller has checked that every row is in the file
    return {};
}

// The depth of the bitmap handed on for a decoded pixel format.
int BitmapBits(AVPixelFormat format, int declaredBits) {
    switch (format) {
    case AV_PIX_FMT_PAL8:
        return (declaredBits == 1 || declaredBits == 4) ? declaredBits : 8;
    case AV_PIX_FMT_GRAY8:
        return 8;
    case AV_PIX_FMT_MONOBLACK:
    case AV_PIX_FMT_MONOWHITE:
        return 1;
    case AV_PIX_FMT_BGR24:
        return 24;
    case AV_PIX_FMT_RGB555LE:
    case AV_PIX_FMT_RGB565LE:
    case AV_PIX_FMT_RGB444LE:
        return 16;
    default:
        return 32;
    }
}

const std::uint8_t* SourceRow(const AVFrame& decoded, std::uint32_t y) {
    return decoded.data[0] + static_cast<std::ptrdiff_t>(y) * decoded.linesize[0];
}

// Copies rows of a layout the bitmap shares byte for byte.
void CopyRows(const AVFrame& decoded, CDibImage& image, std::size_t bytes) {
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        std::memcpy(image.Row(y), SourceRow(decoded, y), bytes);
    }
}

void CopyPaletteRows(const AVFrame& decoded, int bits, CDibImage& image) {
    const auto* palette = reinterpret_cast<const std::uint32_t*>(decoded.data[1]);
    for (int i = 0; i < (1 << bits); ++i) {
        const std::uint32_t argb = palette[i];
        image.palette[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(argb),
                                                      static_cast<std::uint8_t>(argb >> 8),
                                                      static_cast<std::uint8_t>(argb >> 16), 0};
    }
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        PackIndices(SourceRow(decoded, y), image.Width(), bits, image.Row(y), image.RowBytes());
    }
}

void SetSixteenBitMasks(AVPixelFormat format, CDibImage& image) {
    if (format == AV_PIX_FMT_RGB565LE) {
        image.redMask = 0xF800;
        image.greenMask = 0x07E0;
        image.blueMask = 0x001F;
    } else if (format == AV_PIX_FMT_RGB444LE) {
        image.redMask = 0x0F00;
        image.greenMask = 0x00F0;
        image.blueMask = 0x000F;
    }
}

// Anything else (64-bit pictures, byte orders of its own) through the scaler into B, G, R, X, in padded
// rows of its own (the scaler writes past the end of a row), then row by row.
bool ConvertRows(const AVFrame& decoded, CDibImage& image) {
    const auto format = static_cast<AVPixelFormat>(decoded.format);
    const libav::ScalerPtr converter(sws_getContext(decoded.width, decoded.height, format, decoded.width,
                                                    decoded.height, AV_PIX_FMT_BGR0, SWS_POINT, nullptr,
                                                    nullptr, nullptr));
    std::uint8_t* converted[4] = {};
    int convertedStride[4] = {};
    const bool allocated = converter != nullptr && av_image_alloc(converted, convertedStride, decoded.width,
                                                                  decoded.height, AV_PIX_FMT_BGR0, 64) >= 0;
    const libav::BufferPtr convertedBlock(converted[0]); // av_image_alloc's one block
    if (!allocated || sws_scale(converter.get(), decoded.data, decoded.linesize, 0, decoded.height, converted,
                                convertedStride) <= 0) {
        return false;
    }
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        std::memcpy(image.Row(y), converted[0] + static_cast<std::ptrdiff_t>(y) * convertedStride[0],
                    static_cast<std::size_t>(image.Width()) * 4);
    }
    return true;
}

} // namespace

BmpPictureReader::BmpPictureReader() = default;

BmpPictureReader::~BmpPictureReader() = default;

bool BmpPictureReader::ReadHeader(const std::uint8_t* data, std::size_t size, Header& header) {
    if (data == nullptr || size < 26 || data[0] != 'B' || data[1] != 'M') {
        return false;
    }
    header.pixelOffset = LoadLE32(data + 10);
    const std::uint32_t infoSize = LoadLE32(data + 14);
    if (infoSize == 12) { // the old OS/2 header: 16-bit unsigned sizes
        header.width = LoadLE16(data + 18);
        header.height = LoadLE16(data + 20);
        header.bitsPerPixel = static_cast<int>(LoadLE16(data + 24));
        header.compression = kRgb;
    } else if (infoSize >= 40 && size >= 14 + 40) {
        header.width = static_cast<std::int32_t>(LoadLE32(data + 18));
        header.height = static_cast<std::int32_t>(LoadLE32(data + 22));
        header.bitsPerPixel = static_cast<int>(LoadLE16(data + 28));
        header.compression = LoadLE32(data + 30);
        // The masks follow a 40-byte header, and are part of every longer one.
        if ((header.compression == kBitFields || header.compression == kAlphaBitFields) &&
            size >= 14 + 40 + 12) {
            for (std::size_t i = 0; i < 3; ++i) {
                header.masks[i] = LoadLE32(data + 54 + 4 * i);
            }
        }
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

ConversionProblem BmpPictureReader::Decode(const std::uint8_t* data, std::size_t size, CDibImage& image) {
    Header header;
    if (!ReadHeader(data, size, header)) {
        return size < 54 ? picturecause::Truncated() : picturecause::Damaged("BMP");
    }
    const std::uint64_t rows = static_cast<std::uint64_t>(header.height < 0 ? -header.height : header.height);
    if (!PictureSizeAcceptable(static_cast<std::uint64_t>(header.width), rows)) {
        return picturecause::TooLarge(static_cast<std::uint64_t>(header.width), rows);
    }
    // Run-length compression exists for 8-bit and 4-bit bitmaps only. The media library would run its
    // movie RLE decoder on any other depth, and there a few bytes declaring a huge picture cost seconds
    // and gigabytes for a picture of nothing.
    if ((header.compression == kRle8 && header.bitsPerPixel != 8) ||
        (header.compression == kRle4 && header.bitsPerPixel != 4)) {
        LogLine(kLogModule, "BMP: run-length compression on a picture of " +
                                std::to_string(header.bitsPerPixel) + " bits per pixel");
        return picturecause::Damaged("BMP");
    }
    const bool bitFields = header.compression == kBitFields || header.compression == kAlphaBitFields;
    if (header.compression == kRgb || bitFields) {
        // Uncompressed rows: the file must hold them all.
        const std::uint64_t stride = CDibImage::PaddedRowBytes(static_cast<std::uint32_t>(header.width),
                                                               std::max(header.bitsPerPixel, 1));
        if (header.pixelOffset > size || (size - header.pixelOffset) / stride < rows) {
            return picturecause::Truncated();
        }
    }
    if (bitFields && (header.bitsPerPixel == 16 || header.bitsPerPixel == 32) &&
        !DecoderKnowsMasks(header.bitsPerPixel, header.masks)) {
        return UnpackBitFields(data, size, header, image);
    }
    if (size > INT_MAX) {
        return picturecause::FileTooLarge(size);
    }
    if (!OpenDecoder()) {
        return picturecause::OutOfMemory();
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
        return result == AVERROR(ENOMEM) ? picturecause::OutOfMemory() : picturecause::Damaged("BMP");
    }
    ConversionProblem problem = ToBitmap(*frame_, header.bitsPerPixel, image);
    av_frame_unref(frame_.get());
    return problem;
}

ConversionProblem BmpPictureReader::ToBitmap(const AVFrame& decoded, int declaredBits, CDibImage& image) {
    if (decoded.width <= 0 || decoded.height <= 0) {
        return picturecause::Damaged("BMP");
    }
    if (!PictureSizeAcceptable(static_cast<std::uint64_t>(decoded.width),
                               static_cast<std::uint64_t>(decoded.height))) {
        return picturecause::TooLarge(static_cast<std::uint64_t>(decoded.width),
                                      static_cast<std::uint64_t>(decoded.height));
    }
    const auto width = static_cast<std::uint32_t>(decoded.width);
    const auto format = static_cast<AVPixelFormat>(decoded.format);
    const int bits = BitmapBits(format, declaredBits);
    if (!image.Allocate(width, static_cast<std::uint32_t>(decoded.height), bits)) {
        return picturecause::OutOfMemory();
    }
    switch (format) {
    case AV_PIX_FMT_PAL8:
        CopyPaletteRows(decoded, bits, image);
        break;
    case AV_PIX_FMT_GRAY8:
        SetGreyPalette(image, 8);
        CopyRows(decoded, image, width);
        break;
    case AV_PIX_FMT_MONOBLACK:
        image.palette[1] = {255, 255, 255, 0};
        CopyRows(decoded, image, (width + 7) / 8);
        break;
    case AV_PIX_FMT_MONOWHITE:
        image.palette[0] = {255, 255, 255, 0};
        CopyRows(decoded, image, (width + 7) / 8);
        break;
    case AV_PIX_FMT_BGR24:
        CopyRows(decoded, image, static_cast<std::size_t>(width) * 3);
        break;
    case AV_PIX_FMT_RGB555LE:
    case AV_PIX_FMT_RGB565LE:
    case AV_PIX_FMT_RGB444LE:
        SetSixteenBitMasks(format, image);
        CopyRows(decoded, image, static_cast<std::size_t>(width) * 2);
        break;
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_BGR0:
        CopyRows(decoded, image, static_cast<std::size_t>(width) * 4);
        break;
    default:
        if (!ConvertRows(decoded, image)) {
            return picturecause::Unsupported(
                std::string("the pixel layout ") +
                (av_get_pix_fmt_name(format) != nullptr ? av_get_pix_fmt_name(format) : "unknown"));
        }
        break;
    }
    return {};
}

} // namespace k72
