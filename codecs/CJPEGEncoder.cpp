#include "codecs/CJPEGEncoder.h"

#include "base/DeviceFormat.h"
#include "base/DiagnosticLog.h"

#include <cstring>
#include <exception>
#include <string>

extern "C" {
#include <libavutil/error.h>
}

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "JPEG encoder";

constexpr int kMainWidth = device::kPictureWidth;
constexpr int kMainHeight = device::kPictureHeight;
constexpr int kThumbWidth = device::kThumbnailWidth;
constexpr int kThumbHeight = device::kThumbnailHeight;

void LogLibraryError(const char* step, int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof(text));
    LogLine(kLogModule, std::string(step) + ": " + text);
}

} // namespace

CJPEGEncoder::CJPEGEncoder() = default;

CJPEGEncoder::~CJPEGEncoder() {
    Close();
}

ResultCode CJPEGEncoder::CreateSlot(std::unique_ptr<JpegEncoderSlot>& slot, int width, int height,
                                    bool isMain) {
    slot = std::make_unique<JpegEncoderSlot>();
    slot->outputFormat = av_guess_format("image2", ".jpg", nullptr);
    if (slot->outputFormat == nullptr) {
        LogLine(kLogModule, "no image2 output format");
        return rc::Fail;
    }
    AVFormatContext* formatContext = nullptr;
    if (avformat_alloc_output_context2(&formatContext, slot->outputFormat, nullptr, ".jpg") < 0 ||
        formatContext == nullptr) {
        LogLine(kLogModule, "cannot allocate the format context");
        return rc::Fail;
    }
    slot->formatContext.reset(formatContext);
    const AVCodecID codecId = slot->outputFormat->video_codec;
    if (codecId == AV_CODEC_ID_NONE) {
        return rc::Fail;
    }
    slot->stream = avformat_new_stream(formatContext, nullptr);
    const AVCodec* codec = avcodec_find_encoder(codecId);
    if (slot->stream == nullptr || codec == nullptr) {
        LogLine(kLogModule, "no stream or no MJPEG encoder");
        return rc::Fail;
    }
    slot->codecContext.reset(avcodec_alloc_context3(codec));
    AVCodecContext* context = slot->codecContext.get();
    if (context == nullptr) {
        return rc::Fail;
    }
    context->codec_id = codecId;
    context->codec_type = AVMEDIA_TYPE_VIDEO;
    context->width = width;
    context->height = height;
    context->time_base = AVRational{1, 1};
    context->gop_size = 12;
    context->pix_fmt = ToAVPixelFormat(PixelFormat::YUVJ422P);
    static_cast<void>(isMain); // the main slot's quantiser bounds are set before each encode
    if (const int error = avcodec_open2(context, codec, nullptr); error < 0) {
        LogLibraryError("avcodec_open2", error);
        return rc::Fail;
    }
    slot->stream->time_base = context->time_base;
    if (avcodec_parameters_from_context(slot->stream->codecpar, context) < 0) {
        return rc::Fail;
    }
    return 0;
}

ResultCode CJPEGEncoder::Open() {
    ResultCode result = 0;
    try {
        if (!packet_) {
            packet_.reset(av_packet_alloc());
        }
        if (!packet_) {
            result = rc::Fail;
        }
        if (Failed(CreateSlot(mainSlot_, kMainWidth, kMainHeight, true))) {
            result = rc::Fail;
        }
        if (Failed(CreateSlot(thumbSlot_, kThumbWidth, kThumbHeight, false))) {
            result = rc::Fail;
        }
    } catch (const std::exception& error) {
        LogLine(kLogModule, error.what());
        result = rc::Fail;
    }
    return result;
}

void CJPEGEncoder::Close() {
    for (std::unique_ptr<JpegEncoderSlot>* slot : {&mainSlot_, &thumbSlot_}) {
        if (*slot) {
            (*slot)->codecContext.reset();
            (*slot)->stream = nullptr;
            (*slot)->formatContext.reset();
            slot->reset();
        }
    }
}

std::int64_t CJPEGEncoder::EncodeSlot(JpegEncoderSlot* slot, CAVFrame& frame, std::uint8_t* buffer,
                                      std::int32_t capacity) {
    if (slot == nullptr || !slot->formatContext || !slot->codecContext || buffer == nullptr ||
        capacity <= 0) {
        LogLine(kLogModule, "encoder slot not open");
        return -1;
    }
    AVCodecContext* context = slot->codecContext.get();
    if (const int error = avformat_write_header(slot->formatContext.get(), nullptr); error < 0) {
        LogLibraryError("output header", error);
        return -1;
    }
    AVFrame* picture = frame.GetPlanes();
    if (!frame.HasBuffer() || picture == nullptr || frame.GetFormat() != PixelFormat::YUVJ422P ||
        static_cast<int>(frame.GetWidth()) != context->width ||
        static_cast<int>(frame.GetHeight()) != context->height) {
        LogLine(kLogModule, "frame does not fit the encoder");
        return -1;
    }
    picture->pts = slot->nextPts++;
    if (const int error = avcodec_send_frame(context, picture); error < 0) {
        LogLibraryError("avcodec_send_frame", error);
        return -1;
    }
    std::int64_t length = -1;
    for (;;) {
        const int error = avcodec_receive_packet(context, packet_.get());
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) {
            break;
        }
        if (error < 0) {
            LogLibraryError("avcodec_receive_packet", error);
            return -1;
        }
        if (length == -1) {
            if (packet_->size > capacity) {
                LogLine(kLogModule, "JPEG stream larger than its buffer");
                length = -2;
            } else {
                std::memcpy(buffer, packet_->data, static_cast<std::size_t>(packet_->size));
                length = packet_->size;
            }
        }
        av_packet_unref(packet_.get());
    }
    return length;
}

ResultCode CJPEGEncoder::Encode(CAVFrame& mainFrame, CAVFrame& thumbFrame, std::uint8_t* mainBuffer,
                                std::int32_t& mainLength, std::uint8_t* thumbBuffer,
                                std::int32_t& thumbLength, float quality) {
    const std::int32_t mainCapacity = mainLength;
    const std::int32_t thumbCapacity = thumbLength;
    mainLength = 0;
    thumbLength = 0;
    try {
        if (!packet_ || !mainSlot_ || !mainSlot_->codecContext) {
            LogLine(kLogModule, "not open");
            return rc::Fail;
        }
        AVCodecContext* mainContext = mainSlot_->codecContext.get();
        mainContext->qcompress = quality;
        mainContext->qmax = 10;
        mainContext->qmin = 2;
        const std::int64_t mainBytes = EncodeSlot(mainSlot_.get(), mainFrame, mainBuffer, mainCapacity);
        if (mainBytes < 0) {
            return rc::Fail;
        }
        const std::int64_t thumbBytes = EncodeSlot(thumbSlot_.get(), thumbFrame, thumbBuffer, thumbCapacity);
        if (thumbBytes < 0) {
            return rc::Fail;
        }
        mainLength = static_cast<std::int32_t>(mainBytes);
        thumbLength = static_cast<std::int32_t>(thumbBytes);
        return 0;
    } catch (const std::exception& error) {
        LogLine(kLogModule, error.what());
        return rc::Fail;
    }
}

} // namespace k72
