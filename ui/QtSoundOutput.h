#pragma once
// The player's sound through Qt Multimedia: the desktop's default sound device, fed as it has room.

#include "engine/ISoundOutput.h"

#include <memory>

class QAudioSink;
class QIODevice;

namespace k72 {

class QtSoundOutput : public ISoundOutput {
public:
    QtSoundOutput();
    ~QtSoundOutput() override;

    bool Start(int sampleRate, int channels) override;
    std::size_t FreeFrames() override;
    void Write(const std::int16_t* samples, std::size_t frames) override;
    std::int64_t PlayedMicroseconds() override;
    void Suspend() override;
    void Resume() override;
    void Stop() override;
    std::string Problem() const override { return problem_; }

private:
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* feed_ = nullptr; // the sink's, valid while it runs
    int bytesPerFrame_ = 4;
    int sampleRate_ = 0;
    std::string problem_;
};

} // namespace k72
