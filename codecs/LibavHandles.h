#pragma once
// Owning handles for the FFmpeg objects the codecs hold, each freed by the library's own free function,
// and the reading of packets the demuxing readers share.

#include "base/DiagnosticLog.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>

namespace k72::libav {

struct InputContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FilterGraphDeleter {
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
struct FilterInOutDeleter {
    void operator()(AVFilterInOut* inOut) const { avfilter_inout_free(&inOut); }
};
// An output context made by avformat_alloc_output_context2 (no input to close).
struct OutputContextDeleter {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};
struct IoContextDeleter {
    void operator()(AVIOContext* context) const { avio_context_free(&context); }
};
struct ScalerDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct ResamplerDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
// A block from av_malloc and its kin.
struct BufferDeleter {
    void operator()(std::uint8_t* block) const { av_free(block); }
};

using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutDeleter>;
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using BufferPtr = std::unique_ptr<std::uint8_t, BufferDeleter>;

// The highest sample rate a source's sound may have (studio recorders stop at 768 kHz). A damaged or
// hostile header can claim any rate up to 2^31; resampling from such a rate asks for gigabytes of
// filter and buffer, so a sound above this is refused as one the converter cannot read.
inline constexpr int kHighestSourceSoundRate = 768000;

inline std::string SoundRateRefusal(int rate) {
    return "the sound's sample rate of " + std::to_string(rate) + " Hz is above the " +
           std::to_string(kHighestSourceSoundRate) + " Hz the converter resamples";
}

// The text of an AVERROR code (av_err2str does not compile cleanly in C++).
inline std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

// A packet for reading into; std::bad_alloc when there is no memory for it, for the readers that turn
// that into their out-of-memory result.
inline PacketPtr NewPacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet) {
        throw std::bad_alloc();
    }
    return packet;
}

// Reads the input's next packet; false at its end. A damaged end of file also ends it: what was read
// is kept, as a player would, and the reason is logged under logModule.
inline bool ReadNextPacket(AVFormatContext* input, AVPacket* packet, std::string_view logModule) {
    for (;;) {
        const int error = av_read_frame(input, packet);
        if (error == AVERROR(EAGAIN)) {
            continue;
        }
        if (error < 0) {
            if (error != AVERROR_EOF) {
                LogLine(logModule, "reading stopped early: " + ErrorText(error));
            }
            return false;
        }
        return true;
    }
}

} // namespace k72::libav
