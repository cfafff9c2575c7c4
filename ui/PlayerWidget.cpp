#include "ui/PlayerWidget.h"

#include "base/DeviceFormat.h"
#include "ui/PicturePane.h"
#include "ui/QtSoundOutput.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace k72 {
namespace {

// Often enough to show each picture of a 30 fps movie on time, seldom enough to cost little.
constexpr int kTickMilliseconds = 10;

QString TimeText(double seconds) {
    const auto whole = static_cast<int>(std::max(0.0, seconds));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

PlayerWidget::PlayerWidget(QWidget* parent, std::unique_ptr<ISoundOutput> output)
    : QWidget(parent), output_(output ? std::move(output) : std::make_unique<QtSoundOutput>()) {
    pane_ = new PicturePane(this);
    pane_->setAccessibleName(QStringLiteral("Picture"));
    playButton_ = new QPushButton(QStringLiteral("Play"), this);
    playButton_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    playButton_->setAccessibleName(QStringLiteral("Play"));
    playButton_->setEnabled(false);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setAccessibleName(QStringLiteral("Position"));
    slider_->setEnabled(false);
    // The two labels have no names of their own: a screen reader reads a label's name instead of its
    // text, and the text is what there is to hear.
    timeLabel_ = new QLabel(QStringLiteral("0:00 / 0:00"), this);
    statusLabel_ = new QLabel(this);
    statusLabel_->setWordWrap(true);

    auto* controls = new QHBoxLayout;
    controls->addWidget(playButton_);
    controls->addWidget(slider_, 1);
    controls->addWidget(timeLabel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pane_, 1);
    layout->addLayout(controls);
    layout->addWidget(statusLabel_);

    timer_ = new QTimer(this);
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(kTickMilliseconds);
    connect(timer_, &QTimer::timeout, this, &PlayerWidget::Tick);
    connect(playButton_, &QPushButton::clicked, this, [this] { playing_ ? Pause() : Play(); });
    // Dragging shows the pictures as it goes; the sound follows where it is let go.
    connect(slider_, &QSlider::sliderMoved, this, [this](int value) {
        if (!playing_) {
            position_ = value / 1000.0;
            ShowPictureAt(position_);
            ShowTime(position_);
        }
    });
    connect(slider_, &QSlider::sliderReleased, this, [this] { SeekTo(slider_->value() / 1000.0); });
    connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && action != QAbstractSlider::SliderNoAction) {
            // Keys and clicks on the groove: the new value is set after this signal.
            QTimer::singleShot(0, this, [this] { SeekTo(slider_->value() / 1000.0); });
        }
    });
}

PlayerWidget::~PlayerWidget() {
    StopSound();
}

bool PlayerWidget::OpenMovie(const std::filesystem::path& movie, const std::filesystem::path& sound) {
    Pause();
    Opened(Succeeded(playback_.OpenMovie(movie, sound)));
    return playButton_->isEnabled();
}

bool PlayerWidget::OpenSlideshow(const std::vector<std::filesystem::path>& pictures, double secondsPerPicture,
                                 const std::filesystem::path& sound) {
    Pause();
    Opened(Succeeded(playback_.OpenSlideshow(pictures, secondsPerPicture, sound)));
    return playButton_->isEnabled();
}

void PlayerWidget::Opened(bool ok) {
    position_ = 0;
    playButton_->setEnabled(ok);
    slider_->setEnabled(ok);
    slider_->setRange(0, ok ? static_cast<int>(std::lround(playback_.Duration() * 1000)) : 0);
    slider_->setSingleStep(ok ? std::max(1, static_cast<int>(1000 / std::max(1.0, playback_.PictureRate())))
                              : 1);
    slider_->setPageStep(5000);
    slider_->setValue(0);
    statusLabel_->setText(!ok                    ? QStringLiteral("This pad's files cannot be played.")
                          : playback_.HasSound() ? QString()
                                                 : QStringLiteral("This pad has no sound."));
    if (ok) {
        ShowPictureAt(0);
    } else {
        pane_->Clear();
    }
    ShowTime(0);
}

double PlayerWidget::Position() const {
    if (!playing_) {
        return position_;
    }
    double at;
    if (soundRunning_ && soundEndedAt_ < 0) {
        at = origin_ + static_cast<double>(output_->PlayedMicroseconds()) / 1e6;
    } else {
        at = origin_ + static_cast<double>(wallClock_.elapsed()) / 1000.0;
    }
    return std::min(at, playback_.Duration());
}

void PlayerWidget::Play() {
    if (playing_ || !playButton_->isEnabled()) {
        return;
    }
    if (position_ >= playback_.Duration() - 1e-3) {
        position_ = 0; // played to the end: again from the start
    }
    origin_ = position_;
    soundEndedAt_ = -1;
    soundRunning_ = false;
    if (playback_.HasSound()) {
        playback_.SeekSound(position_);
        soundRunning_ = output_->Start(device::kSoundRate, device::kSoundChannels);
        if (!soundRunning_) {
            statusLabel_->setText(QString::fromStdString(output_->Problem()));
        }
    }
    wallClock_.start();
    playing_ = true;
    FeedSound();
    timer_->start();
    playButton_->setText(QStringLiteral("Pause"));
    playButton_->setAccessibleName(QStringLiteral("Pause"));
    playButton_->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
    emit PlayingChanged(true);
}

void PlayerWidget::Pause() {
    if (!playing_) {
        return;
    }
    position_ = Position();
    playing_ = false;
    timer_->stop();
    StopSound();
    playButton_->setText(QStringLiteral("Play"));
    playButton_->setAccessibleName(QStringLiteral("Play"));
    playButton_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    emit PlayingChanged(false);
}

void PlayerWidget::StopSound() {
    if (soundRunning_) {
        output_->Stop();
        soundRunning_ = false;
    }
}

void PlayerWidget::SeekTo(double seconds) {
    const bool wasPlaying = playing_;
    Pause();
    position_ = std::clamp(seconds, 0.0, playback_.Duration());
    ShowPictureAt(position_);
    ShowTime(position_);
    if (!slider_->isSliderDown()) {
        // A seek from outside the slider (the still list's selection) moves it too.
        const QSignalBlocker quiet(slider_);
        slider_->setValue(static_cast<int>(std::lround(position_ * 1000)));
    }
    if (wasPlaying) {
        Play();
    }
}

void PlayerWidget::FeedSound() {
    if (!soundRunning_ || soundEndedAt_ >= 0) {
        return;
    }
    const std::size_t room = output_->FreeFrames();
    if (room == 0) {
        return;
    }
    soundBuffer_.resize(room * device::kSoundChannels);
    const std::size_t read = playback_.ReadSound(soundBuffer_.data(), room);
    if (read > 0) {
        output_->Write(soundBuffer_.data(), read);
    }
    if (read < room) {
        // The sound has ended (or is shorter than the pictures): the pictures go on by the wall clock
        // from where the sound's clock stood.
        origin_ = Position();
        soundEndedAt_ = origin_;
        wallClock_.start();
    }
}

void PlayerWidget::Tick() {
    FeedSound();
    const double at = Position();
    ShowPictureAt(at);
    ShowTime(at);
    if (!slider_->isSliderDown()) {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(static_cast<int>(std::lround(at * 1000)));
    }
    if (at >= playback_.Duration()) {
        Pause();
        position_ = playback_.Duration();
    }
}

void PlayerWidget::ShowPictureAt(double seconds) {
    bool changed = false;
    if (playback_.PictureAt(seconds, picture_, &changed) && changed) {
        pane_->SetPicture(picture_);
    }
}

void PlayerWidget::ShowTime(double seconds) {
    timeLabel_->setText(TimeText(seconds) + QStringLiteral(" / ") + TimeText(playback_.Duration()));
}

} // namespace k72
