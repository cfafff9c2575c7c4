#include "codecs/FlacSoundReader.h"

#include "codecs/LibavHandles.h"

#include <FLAC/stream_decoder.h>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <memory>
#include <sys/stat.h>

namespace k72 {
namespace {

constexpr int kFullDepth = 32;

struct DecoderDeleter {
    void operator()(FLAC__StreamDecoder* decoder) const { FLAC__stream_decoder_delete(decoder); }
};

struct Reading {
    const std::function<bool(const AVFrame&, int)>* block = nullptr;
    FLAC__StreamDecoder* decoder = nullptr;
    libav::FramePtr frame;
    std::uint64_t fileSize = 0;
    bool stopped = false;
    std::string error;
};

FLAC__StreamDecoderWriteStatus OnBlock(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const buffer[], void* context) {
    auto& reading = *static_cast<Reading*>(context);
    AVFrame& out = *reading.frame;
    av_frame_unref(&out);
    const int channels = static_cast<int>(frame->header.channels);
    out.format = AV_SAMPLE_FMT_S32P;
    out.sample_rate = static_cast<int>(frame->header.sample_rate);
    out.nb_samples = static_cast<int>(frame->header.blocksize);
    av_channel_layout_default(&out.ch_layout, channels);
    if (av_frame_get_buffer(&out, 0) < 0) {
        reading.error = "out of memory";
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    // Samples of fewer bits are moved up to the full range, as the media library hands them over.
    const int shift = kFullDepth - static_cast<int>(frame->header.bits_per_sample);
    for (int channel = 0; channel < channels; ++channel) {
        auto* samples = reinterpret_cast<std::int32_t*>(out.extended_data[channel]);
        for (int i = 0; i < out.nb_samples; ++i) {
            samples[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(buffer[channel][i]) << shift);
        }
    }
    int permille = 0;
    FLAC__uint64 position = 0;
    if (reading.fileSize > 0 && FLAC__stream_decoder_get_decode_position(reading.decoder, &position)) {
        permille = static_cast<int>(position * 1000 / reading.fileSize);
    }
    if (!(*reading.block)(out, permille)) {
        reading.stopped = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata*, void*) {}

void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* context) {
    // A damaged frame is skipped by libFLAC, as the media library skips a damaged packet; the first
    // is remembered for the log.
    auto& reading = *static_cast<Reading*>(context);
    if (reading.error.empty()) {
        reading.error = FLAC__StreamDecoderErrorStatusString[status];
    }
}

} // namespace

bool NeedsLibFlac(const AVCodecParameters& stream) {
    return stream.codec_id == AV_CODEC_ID_FLAC && stream.bits_per_raw_sample > 24;
}

bool ReadFlacFile(const std::string& path, const std::function<bool(const AVFrame&, int)>& block,
                  std::string* reason) {
    const std::unique_ptr<FLAC__StreamDecoder, DecoderDeleter> decoder(FLAC__stream_decoder_new());
    Reading reading;
    reading.block = &block;
    reading.decoder = decoder.get();
    reading.frame.reset(av_frame_alloc());
    if (!decoder || !reading.frame) {
        *reason = "out of memory";
        return false;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        reading.fileSize = static_cast<std::uint64_t>(info.st_size);
    }
    if (FLAC__stream_decoder_init_file(decoder.get(), path.c_str(), OnBlock, OnMetadata, OnError, &reading) !=
        FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        *reason = "libFLAC cannot open " + path;
        return false;
    }
    const bool decoded = FLAC__stream_decoder_process_until_end_of_stream(decoder.get()) != 0;
    FLAC__stream_decoder_finish(decoder.get());
    if (reading.stopped) {
        *reason = "stopped";
        return false;
    }
    if (!decoded) {
        *reason = "libFLAC: " + (reading.error.empty() ? std::string("decoding failed") : reading.error);
        return false;
    }
    return true;
}

} // namespace k72
