#pragma once
// Why a sound file cannot be attached to a pad, in the user's words. The device plays one sound format
// only: a WAV file of uncompressed PCM, 2 channels (stereo), 44100 Hz, 16 bits.

#include <QString>

namespace k72 {

// Empty when the header names that format; otherwise what is different, e.g. "it is mono, not stereo;
// it is sampled at 48000 Hz, not 44100 Hz (44.1 kHz)". Reads only the file's header.
QString SoundFileProblem(const QString& path);

} // namespace k72
