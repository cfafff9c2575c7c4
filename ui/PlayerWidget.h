#pragma once
// Plays a pad inside the program: a movie with its sound (or the pad's WAV instead), or a still image
// pad's pictures as a slideshow with its WAV; Play/Pause, a position slider and the time. The sound
// goes to an ISoundOutput (the desktop's sound device unless another is given); its count of played
// sound is the clock the pictures follow. Without a sound device the pictures play by the wall clock
// and the player says so.

#include "engine/ISoundOutput.h"
#include "engine/PadPlayback.h"

#include <QElapsedTimer>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <vector>

class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace k72 {

class PicturePane;

class PlayerWidget : public QWidget {
    Q_OBJECT
public:
    // output: where the sound goes; the desktop's sound device when none is given.
    explicit PlayerWidget(QWidget* parent = nullptr, std::unique_ptr<ISoundOutput> output = nullptr);
    ~PlayerWidget() override;

    // A device movie, and a WAV that replaces its own sound. False (and the reason shown) when it
    // cannot be played.
    bool OpenMovie(const std::filesystem::path& movie, const std::filesystem::path& sound = {});
    // A still image pad's pictures, each shown for secondsPerPicture, with a WAV when given.
    bool OpenSlideshow(const std::vector<std::filesystem::path>& pictures, double secondsPerPicture,
                       const std::filesystem::path& sound = {});

    void Play();
    void Pause();
    void SeekTo(double seconds);
    bool IsPlaying() const { return playing_; }
    double Position() const;
    double Duration() const { return playback_.Duration(); }

    QPushButton* PlayButton() const { return playButton_; }
    QSlider* PositionSlider() const { return slider_; }
    QLabel* TimeLabel() const { return timeLabel_; }
    // What the player has to say: no sound device, no sound on the pad, a file that cannot be read.
    QLabel* StatusLabel() const { return statusLabel_; }
    PicturePane* Pane() const { return pane_; }

signals:
    void PlayingChanged(bool playing);

private:
    void Tick();
    void FeedSound();
    void ShowPictureAt(double seconds);
    void ShowTime(double seconds);
    void Opened(bool ok);
    void StopSound();

    PadPlayback playback_;
    std::unique_ptr<ISoundOutput> output_;
    bool playing_ = false;
    bool soundRunning_ = false; // the output is playing the pad's sound
    double origin_ = 0;         // the playback's position when the clock below started
    double position_ = 0;       // while paused
    QElapsedTimer wallClock_;   // without sound (or after it ended)
    double soundEndedAt_ = -1;  // the clock when the sound ran out, -1 while it runs
    std::vector<std::int16_t> soundBuffer_;

    PicturePane* pane_ = nullptr;
    QPushButton* playButton_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QTimer* timer_ = nullptr;
    RgbImage picture_;
};

} // namespace k72
