#pragma once
// The sound of a file (a device movie's PCM, an attached WAV, or any sound the media library reads)
// as the device plays it: 16-bit stereo at 44,100 Hz, read in order from any moment on.

#include "codecs/LibavHandles.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace k72 {

class SoundStream {
public:
    // False when the file holds no sound the media library can decode.
    bool Open(const std::filesystem::path& path);
    bool IsOpen() const { return input_ != nullptr; }
    // The sound's length in seconds (0 when unknown).
    double Duration() const { return duration_; }

    // The next reads start at this moment of the sound.
    void Seek(double seconds);
    // Up to frames sample frames from the current position into samples (2 × frames values); fewer at
    // the end of the sound, 0 after it.
    std::size_t Read(std::int16_t* samples, std::size_t frames);

private:
    bool DecodeMore();
    void Append(const AVFrame& frame);

    std::filesystem::path path_;
    libav::InputContextPtr input_;
    libav::CodecContextPtr decoder_;
    libav::ResamplerPtr resampler_;
    libav::PacketPtr packet_;
    libav::FramePtr frame_;
    int stream_ = -1;
    double duration_ = 0;
    bool ended_ = false;
    std::vector<std::int16_t> pending_; // decoded, not yet read
    std::size_t pendingStart_ = 0;      // index of the first unread value
    double seekTarget_ = -1;            // after a seek: samples before it are dropped
};

} // namespace k72
