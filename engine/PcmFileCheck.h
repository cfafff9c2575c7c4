#pragma once
// Decides whether a sound file may be attached to a pad. The device plays exactly one sound format:
// a RIFF WAVE file of uncompressed PCM, 2 channels, 44100 Hz, 16 bits, with a non-empty data chunk
// that the file holds in full.

#include "codecs/ResultCodes.h"

#include <string>

namespace k72 {

// 0 for an acceptable file; rc::PcmOpenFailed when it cannot be opened; otherwise the code of the
// first rule it breaks (rc::PcmBadRiff ... rc::PcmNoData). The format chunk must be the first chunk
// after the RIFF header (at offset 12), where the device reads it.
[[nodiscard]] ResultCode CheckPcmWaveFile(const std::string& path);

// Why the device cannot play the file, in the user's words, by the same rules: every way the format
// chunk differs from the device's form ("it is mono, not stereo; it is sampled at 48000 Hz, not 44100 Hz
// (44.1 kHz)"), or else the words of the first rule it breaks. Empty for an acceptable file.
[[nodiscard]] std::string PcmFileProblem(const std::string& path);

} // namespace k72
