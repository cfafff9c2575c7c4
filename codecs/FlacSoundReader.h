#pragma once
// FLAC sound of more than 24 bits per sample through libFLAC: the media library's FLAC decoder stops
// at 24 bits, and reads a 32-bit file as if it held no sound at all.

#include <cstdint>
#include <functional>
#include <string>

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavutil/frame.h>
}

namespace k72 {

// Whether a stream is FLAC of a depth only libFLAC reads.
[[nodiscard]] bool NeedsLibFlac(const AVCodecParameters& stream);

// Hands each decoded block to block as planar 32-bit samples (AV_SAMPLE_FMT_S32P, scaled to the full
// 32-bit range), with the share of the file read so far (0 … 1000); block answers false to stop.
// True when the whole file was decoded; else false with the reason in *reason.
[[nodiscard]] bool ReadFlacFile(const std::string& path,
                                const std::function<bool(const AVFrame&, int)>& block, std::string* reason);

} // namespace k72
