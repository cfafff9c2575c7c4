#include "ui/QtSoundOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

namespace k72 {
namespace {

// Enough queued sound to ride out a busy moment of the window, little enough to answer a pause at once.
constexpr int kBufferMilliseconds = 200;

} // namespace

QtSoundOutput::QtSoundOutput() = default;

QtSoundOutput::~QtSoundOutput() {
    Stop();
}

bool QtSoundOutput::Start(int sampleRate, int channels) {
    Stop();
    problem_.clear();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        problem_ = "There is no sound device: playing without sound.";
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        problem_ = "The sound device cannot play 16-bit stereo at 44100 Hz: playing without sound.";
        return false;
    }
    bytesPerFrame_ = channels * 2;
    sampleRate_ = sampleRate;
    sink_ = std::make_unique<QAudioSink>(device, format);
    sink_->setBufferSize(sampleRate * bytesPerFrame_ * kBufferMilliseconds / 1000);
    feed_ = sink_->start();
    if (feed_ == nullptr || sink_->error() != QAudio::NoError) {
        problem_ = "The sound device cannot be opened: playing without sound.";
        sink_.reset();
        feed_ = nullptr;
        return false;
    }
    return true;
}

std::size_t QtSoundOutput::FreeFrames() {
    if (!sink_ || feed_ == nullptr) {
        return 0;
    }
    return static_cast<std::size_t>(sink_->bytesFree() / bytesPerFrame_);
}

void QtSoundOutput::Write(const std::int16_t* samples, std::size_t frames) {
    if (feed_ != nullptr) {
        feed_->write(reinterpret_cast<const char*>(samples), static_cast<qint64>(frames) * bytesPerFrame_);
    }
}

std::int64_t QtSoundOutput::PlayedMicroseconds() {
    if (!sink_ || sampleRate_ <= 0) {
        return 0;
    }
    // What the sink took, less what it still holds unplayed.
    const qint64 queued = sink_->bufferSize() - sink_->bytesFree();
    const qint64 queuedMicroseconds = queued / bytesPerFrame_ * 1000000 / sampleRate_;
    return std::max<qint64>(0, sink_->processedUSecs() - queuedMicroseconds);
}

void QtSoundOutput::Suspend() {
    if (sink_) {
        sink_->suspend();
    }
}

void QtSoundOutput::Resume() {
    if (sink_) {
        sink_->resume();
    }
}

void QtSoundOutput::Stop() {
    if (sink_) {
        sink_->stop();
        sink_.reset();
    }
    feed_ = nullptr;
}

} // namespace k72
