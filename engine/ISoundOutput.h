#pragma once
// Where the player's sound goes: the desktop's sound device (through the toolkit), or in tests a
// recorder of every sample it receives. 16-bit interleaved samples, pushed by the player as the output
// has room for them; the output's own count of what it has played is the playback's clock.

#include <cstddef>
#include <cstdint>
#include <string>

namespace k72 {

class ISoundOutput {
public:
    virtual ~ISoundOutput() = default;

    // Opens the output for 16-bit samples at this rate and channel count. False, with Problem() saying
    // why in the user's words, when there is no device that can play them.
    virtual bool Start(int sampleRate, int channels) = 0;
    // Sample frames (one sample of each channel) it takes now without waiting.
    virtual std::size_t FreeFrames() = 0;
    virtual void Write(const std::int16_t* samples, std::size_t frames) = 0;
    // Microseconds of sound played since Start.
    virtual std::int64_t PlayedMicroseconds() = 0;
    virtual void Suspend() = 0;
    virtual void Resume() = 0;
    // Drops what is queued and closes the output; Start opens it again.
    virtual void Stop() = 0;
    virtual std::string Problem() const = 0;
};

} // namespace k72
