#include "codecs/WebpAnimationReader.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "codecs/PictureCauses.h"
#include "codecs/PictureLimits.h"

#include <webp/demux.h>

#include <cstring>
#include <memory>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture decoder";

struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The RIFF header, then "VP8X" with its size and a flags byte whose bit 1 marks an animation.
constexpr std::size_t kFlagsOffset = 20;
constexpr std::uint8_t kAnimationFlag = 0x02;

} // namespace

bool IsAnimatedWebp(const std::uint8_t* data, std::size_t size) {
    return data != nullptr && size > kFlagsOffset && std::memcmp(data, "RIFF", 4) == 0 &&
           std::memcmp(data + 8, "WEBPVP8X", 8) == 0 && (data[kFlagsOffset] & kAnimationFlag) != 0;
}

ConversionProblem DecodeAnimatedWebp(const std::uint8_t* data, std::size_t size, CDibImage& image) {
    // A RIFF size beyond the end of the file: the file was cut short.
    if (size >= 8 && std::uint64_t{byteorder::LoadLE32(data + 4)} + 8 > size) {
        return picturecause::Truncated();
    }
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        return picturecause::Unsupported("a WebP animation");
    }
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData file{data, size};
    const std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(WebPAnimDecoderNew(&file, &options));
    if (!decoder) {
        LogLine(kLogModule, "WebP animation cannot be read");
        return picturecause::Damaged("WebP");
    }
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info) || info.canvas_width == 0 || info.canvas_height == 0) {
        return picturecause::Damaged("WebP");
    }
    if (!PictureSizeAcceptable(info.canvas_width, info.canvas_height)) {
        return picturecause::TooLarge(info.canvas_width, info.canvas_height);
    }
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || canvas == nullptr) {
        LogLine(kLogModule, "WebP animation: the first frame cannot be decoded");
        return picturecause::Damaged("WebP");
    }
    if (!image.Allocate(info.canvas_width, info.canvas_height, 32)) {
        return picturecause::OutOfMemory();
    }
    const std::size_t rowBytes = static_cast<std::size_t>(info.canvas_width) * 4;
    for (std::uint32_t y = 0; y < info.canvas_height; ++y) {
        std::uint8_t* row = image.Row(y);
        std::memcpy(row, canvas + y * rowBytes, rowBytes);
        for (std::size_t x = 3; x < rowBytes; x += 4) {
            row[x] = 0; // the fourth byte of a 32-bit bitmap is unused
        }
    }
    return {};
}

} // namespace k72
