#pragma once
// Turns any sound the media library decodes (MP3, FLAC, Ogg, M4A, WAV of another rate, depth or
// channel count, the sound of a movie file …) into the one WAV form the device plays: RIFF WAVE, PCM,
// 16 bits, 44,100 Hz, stereo, with a 44-byte header. Mono is spread to both sides, more channels are
// mixed down, other rates are resampled.

#include "codecs/ResultCodes.h"

#include <atomic>
#include <functional>
#include <string>

namespace k72 {

// Writes destinationPath (replacing it). 0 on success; on failure no file is left and the result is
// rc::CannotOpenInput (cannot be read), rc::StreamNotFound (no sound in it), rc::InputCodecUnsupported
// (no sound could be decoded), rc::FileSizeOverLimit (longer than a WAV file can hold),
// rc::DiscSpaceInsufficient (the destination's disk is full), rc::FileError (cannot be written
// otherwise), rc::OutOfMemory or rc::Error. The reason goes to the diagnostic log.
[[nodiscard]] ResultCode ConvertSoundToDeviceWav(const std::string& sourcePath,
                                                 const std::string& destinationPath);

// How a conversion running on a thread of its own is watched and stopped; both parts are optional.
struct SoundConversionControl {
    // Called on the converting thread with the share of the source read so far, 0 … 1000, each time it
    // grows (1000 once the file is written).
    std::function<void(int permille)> progress;
    // Raised by another thread: the conversion stops at its next packet (an open or a read waiting on
    // the file stops too), removes what it wrote and returns rc::Error.
    const std::atomic<bool>* cancel = nullptr;
};

// As above, reporting progress and stopping on request. The file written is the same byte for byte.
[[nodiscard]] ResultCode ConvertSoundToDeviceWav(const std::string& sourcePath,
                                                 const std::string& destinationPath,
                                                 const SoundConversionControl& control);

} // namespace k72
