#pragma once
// Decides whether a sound file may be attached to a pad. The device plays exactly one sound format:
// a RIFF WAVE file of uncompressed PCM, 2 channels, 44100 Hz, 16 bits, with a non-empty data chunk
// that the file holds in full.

#include "codecs/ResultCodes.h"

#include <string>

namespace k72 {

// 0 for an acceptable file; rc::PcmOpenFailed when it cannot be opened; otherwise the code of the
// first rule it breaks (rc::PcmBadRiff ... rc::PcmNoData).
ResultCode CheckPcmWaveFile(const std::string& path);

} // namespace k72
