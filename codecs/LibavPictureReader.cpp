#include "codecs/LibavPictureReader.h"

#include "base/DiagnosticLog.h"
#include "codecs/LibavHandles.h"
#include "codecs/PictureCauses.h"
#include "codecs/PictureLimits.h"
#include "codecs/ff_convertermain.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture decoder";

ConversionProblem Refuse(const std::string& why, ConversionProblem problem) {
    LogLine(kLogModule, why);
    return problem;
}

// The kind named in a cause ("the GIF picture is damaged").
std::string KindName(AVCodecID codec) {
    switch (codec) {
    case AV_CODEC_ID_MJPEG:
        return "JPEG";
    case AV_CODEC_ID_WEBP:
        return "WebP";
    case AV_CODEC_ID_TIFF:
        return "TIFF";
    case AV_CODEC_ID_GIF:
        return "GIF";
    default:
        return avcodec_get_name(codec);
    }
}

} // namespace

ConversionProblem DecodeLibavPicture(AVCodecID codecId, const std::uint8_t* data, std::size_t size,
                                     CDibImage& image) {
    const std::string kind = KindName(codecId);
    if (data == nullptr || size == 0) {
        return picturecause::Truncated();
    }
    if (size > static_cast<std::size_t>(INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) {
        return picturecause::FileTooLarge(size);
    }
    RouteLibraryLogToDiagnostics();
    const AVCodec* codec = avcodec_find_decoder(codecId);
    if (codec == nullptr) {
        return Refuse(std::string("no decoder for ") + avcodec_get_name(codecId),
                      picturecause::Unsupported(kind + " coding"));
    }
    libav::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    libav::PacketPtr packet(av_packet_alloc());
    libav::FramePtr frame(av_frame_alloc());
    if (!decoder || !packet || !frame || av_new_packet(packet.get(), static_cast<int>(size)) < 0) {
        return Refuse("out of memory", picturecause::OutOfMemory());
    }
    std::memcpy(packet->data, data, size);
    // The decoder refuses to allocate a picture beyond our pixel limit; its declared size tells the
    // two refusals apart below.
    decoder->max_pixels = static_cast<std::int64_t>(kMaxPicturePixels);
    decoder->thread_count = 1;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return Refuse(std::string("cannot open the ") + codec->name + " decoder",
                      picturecause::OutOfMemory());
    }
    int error = avcodec_send_packet(decoder.get(), packet.get());
    if (error >= 0) {
        error = avcodec_receive_frame(decoder.get(), frame.get());
        if (error == AVERROR(EAGAIN)) {
            avcodec_send_packet(decoder.get(), nullptr);
            error = avcodec_receive_frame(decoder.get(), frame.get());
        }
    }
    if (error < 0) {
        if (decoder->width > 0 && decoder->height > 0 &&
            !PictureSizeAcceptable(static_cast<std::uint64_t>(decoder->width),
                                   static_cast<std::uint64_t>(decoder->height))) {
            return picturecause::TooLarge(static_cast<std::uint64_t>(decoder->width),
                                          static_cast<std::uint64_t>(decoder->height));
        }
        return Refuse(std::string(codec->name) + " picture cannot be decoded: " + libav::ErrorText(error),
                      error == AVERROR(ENOMEM) ? picturecause::OutOfMemory() : picturecause::Damaged(kind));
    }
    if (frame->width <= 0 || frame->height <= 0) {
        return picturecause::Damaged(kind);
    }
    if (!PictureSizeAcceptable(static_cast<std::uint64_t>(frame->width),
                               static_cast<std::uint64_t>(frame->height))) {
        return picturecause::TooLarge(static_cast<std::uint64_t>(frame->width),
                                      static_cast<std::uint64_t>(frame->height));
    }
    const auto format = static_cast<AVPixelFormat>(frame->format);
    if (av_pix_fmt_desc_get(format) == nullptr) {
        return Refuse("the picture has an unknown pixel layout",
                      picturecause::Unsupported("an unknown pixel layout"));
    }
    const auto width = static_cast<std::uint32_t>(frame->width);
    const auto height = static_cast<std::uint32_t>(frame->height);
    if (!image.Allocate(width, height, 24, false)) {
        return picturecause::OutOfMemory();
    }
    // Point sampling: no resize happens here, only the change of layout.
    libav::ScalerPtr scaler(sws_getContext(frame->width, frame->height, format, frame->width, frame->height,
                                           AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr));
    if (!scaler) {
        return Refuse(
            std::string("no conversion from ") + av_get_pix_fmt_name(format),
            picturecause::Unsupported(std::string("the pixel layout ") + av_get_pix_fmt_name(format)));
    }
    const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
    const bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    sws_setColorspaceDetails(scaler.get(), coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16,
                             1 << 16);
    // The scaler may write whole vector blocks past the last pixel of a row, so it writes into rows
    // padded for it, and the bitmap takes them row by row.
    std::uint8_t* planes[4] = {};
    int strides[4] = {};
    if (av_image_alloc(planes, strides, frame->width, frame->height, AV_PIX_FMT_BGR24, 64) < 0) {
        return picturecause::OutOfMemory();
    }
    const std::unique_ptr<std::uint8_t, void (*)(void*)> converted(planes[0], av_free);
    if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides) !=
        frame->height) {
        return Refuse(
            "the picture's layout cannot be converted",
            picturecause::Unsupported(std::string("the pixel layout ") + av_get_pix_fmt_name(format)));
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        std::memcpy(image.Row(y),
                    planes[0] + static_cast<std::size_t>(y) * static_cast<std::size_t>(strides[0]),
                    static_cast<std::size_t>(width) * 3);
    }
    return {};
}

} // namespace k72
