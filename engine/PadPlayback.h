#pragma once
// What a pad plays, decoded for the player: a device movie's pictures (MJPEG in an AVI) with its own
// sound or the pad's WAV instead, or a still image pad's pictures one after another with its WAV. The
// player asks for the picture of a moment and reads the sound in order; both can start anywhere.
// Single-threaded: the player calls everything from one thread.

#include "codecs/LibavHandles.h"
#include "codecs/ResultCodes.h"
#include "engine/RgbImage.h"
#include "engine/SoundStream.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace k72 {

class PadPlayback {
public:
    // A converted movie; a WAV given replaces the movie's own sound (as the device plays it). 0, or
    // rc::CannotOpenInput when the movie cannot be read, rc::StreamNotFound when it holds no pictures.
    // A sound that cannot be read leaves the movie without sound.
    [[nodiscard]] ResultCode OpenMovie(const std::filesystem::path& movie,
                                       const std::filesystem::path& sound = {});
    // Pictures shown secondsPerPicture each, in order, with a WAV when given; when the sound is longer
    // the pictures start again. rc::CannotOpenInput when there is no picture.
    [[nodiscard]] ResultCode OpenSlideshow(std::vector<std::filesystem::path> pictures,
                                           double secondsPerPicture, const std::filesystem::path& sound = {});

    // Seconds the playback lasts.
    double Duration() const { return duration_; }
    // Pictures per second (a slideshow: one over secondsPerPicture).
    double PictureRate() const { return pictureRate_; }
    bool HasSound() const { return sound_.IsOpen(); }
    bool IsSlideshow() const { return !slides_.empty(); }

    // The picture shown at a moment into picture. *changed tells whether it differs from the one the
    // last call gave (nothing is decoded then). False when it cannot be read or decoded.
    bool PictureAt(double seconds, RgbImage& picture, bool* changed = nullptr);
    // The picture index of a moment (a movie's frame, a slideshow's picture).
    std::int64_t PictureIndexAt(double seconds) const;

    // Sound from a moment on, 16-bit stereo at 44,100 Hz; see SoundStream.
    void SeekSound(double seconds) { sound_.Seek(seconds); }
    std::size_t ReadSound(std::int16_t* samples, std::size_t frames) { return sound_.Read(samples, frames); }

private:
    void Reset();
    bool ReadMoviePicture(std::int64_t index, std::vector<std::uint8_t>& jpeg);

    libav::InputContextPtr movie_;
    libav::PacketPtr packet_;
    int videoStream_ = -1;
    AVRational videoTimeBase_{1, 1};
    AVRational rate_{25, 1};
    std::int64_t frames_ = 0;
    std::int64_t nextIndex_ = -1; // the picture the next packet read holds (-1: unknown, seek first)
    std::vector<std::filesystem::path> slides_;
    double secondsPerSlide_ = 0;
    SoundStream sound_;
    double duration_ = 0;
    double pictureRate_ = 0;
    std::int64_t shownIndex_ = -1;
    std::vector<std::uint8_t> jpeg_;
};

} // namespace k72
