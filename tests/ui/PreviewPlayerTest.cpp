// The preview dialog, the player and the card overview as a user meets them: the picture each fit
// gives, the fit kept per file, the sound the player sends to its output (recorded here), what it says
// without a sound device, and the overview's numbers, names and clicks.
#include "engine/ISoundOutput.h"
#include "store/CardOverview.h"
#include "tests/store/CardFixture.h"
#include "tests/support/MediaSuite.h"
#include "tests/support/TestSupport.h"
#include "ui/CardOverviewWidget.h"
#include "ui/PicturePane.h"
#include "ui/PlayerWidget.h"
#include "ui/PreviewDialog.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace k72test;
using k72::FitMode;

// Takes sound as a device would: as fast as real time allows, with a fifth of a second queued, and
// keeps every sample. No device at all when told so.
class RecordingOutput : public k72::ISoundOutput {
public:
    RecordingOutput(std::shared_ptr<std::vector<std::int16_t>> record, bool device)
        : record_(std::move(record)), device_(device) {}
    bool Start(int sampleRate, int channels) override {
        if (!device_) {
            return false;
        }
        rate_ = sampleRate;
        channels_ = channels;
        written_ = 0;
        clock_.start();
        return true;
    }
    std::size_t FreeFrames() override {
        const std::int64_t room = Elapsed() + rate_ / 5 - written_;
        return room > 0 ? static_cast<std::size_t>(room) : 0;
    }
    void Write(const std::int16_t* samples, std::size_t frames) override {
        record_->insert(record_->end(), samples, samples + frames * static_cast<std::size_t>(channels_));
        written_ += static_cast<std::int64_t>(frames);
    }
    std::int64_t PlayedMicroseconds() override { return std::min(written_, Elapsed()) * 1000000 / rate_; }
    void Suspend() override {}
    void Resume() override {}
    void Stop() override {}
    std::string Problem() const override {
        return device_ ? "" : "There is no sound device: playing without sound.";
    }

private:
    std::int64_t Elapsed() const { return clock_.elapsed() * rate_ / 1000; }
    std::shared_ptr<std::vector<std::int16_t>> record_;
    bool device_;
    int rate_ = 44100;
    int channels_ = 2;
    std::int64_t written_ = 0;
    QElapsedTimer clock_;
};

// Zero crossings per second of the left channel.
double Crossings(const std::vector<std::int16_t>& samples) {
    int crossings = 0;
    for (std::size_t i = 2; i + 1 < samples.size(); i += 2) {
        crossings += (samples[i - 2] < 0) != (samples[i] < 0) ? 1 : 0;
    }
    return samples.size() < 4 ? 0 : crossings * 44100.0 / static_cast<double>(samples.size() / 2);
}

double ColumnLevel(const QImage& picture, int x) {
    double sum = 0;
    for (int y = 0; y < picture.height(); ++y) {
        sum += qGray(picture.pixel(x, y));
    }
    return sum / picture.height();
}

class ViewersTest : public k72test::MediaSuite<ViewersTest> {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TempDir>();
        // An upright phone movie (9:16) of a bright test picture, and a device movie with a 440 Hz tone.
        ASSERT_TRUE(MakeMedia(*folder / "upright.mp4", "-f lavfi -i testsrc2=size=270x480:rate=30:duration=2 "
                                                       "-pix_fmt yuv420p -c:v libx264 -preset ultrafast"));
        ASSERT_TRUE(MakeMedia(*folder / "pad.avi",
                              "-f lavfi -i testsrc2=size=640x480:rate=25:duration=3 "
                              "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=3 "
                              "-c:v mjpeg -pix_fmt yuvj422p -c:a pcm_s16le -ac 2"));
        ASSERT_TRUE(
            MakeMedia(*folder / "tone.wav",
                      "-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=3 -ac 2 -c:a pcm_s16le"));
        ASSERT_TRUE(MakeMedia(*folder / "photo.png", "-f lavfi -i testsrc2=size=640x480 -frames:v 1"));
    }
};

TEST_F(ViewersTest, PreviewShowsEachFitAndKeepsTheChoicePerFile) {
    k72::Settings settings; // fit: automatic
    settings.fit = FitMode::Auto;
    k72::PreviewDialog dialog({*folder / "upright.mp4", *folder / "photo.png"}, settings);
    dialog.show();
    int shown = 0;
    auto waitForPicture = [&]() -> QImage {
        ++shown;
        QElapsedTimer waited;
        waited.start();
        while (dialog.RendersShown() < shown && waited.elapsed() < 30000) {
            QTest::qWait(20);
        }
        EXPECT_GE(dialog.RendersShown(), shown) << "no picture within 30 s";
        return dialog.Pane()->Picture();
    };
    // Automatic letterboxes the upright movie: black at the sides, the picture in the middle.
    QImage picture = waitForPicture();
    ASSERT_EQ(picture.size(), QSize(640, 480));
    EXPECT_LT(ColumnLevel(picture, 20), 4.0);
    EXPECT_GT(ColumnLevel(picture, 320), 20.0);
    EXPECT_TRUE(dialog.MomentSlider()->isEnabled());
    EXPECT_TRUE(dialog.FitButton(FitMode::Auto)->isChecked());

    dialog.FitButton(FitMode::Stretch)->click();
    picture = waitForPicture();
    EXPECT_GT(ColumnLevel(picture, 20), 20.0); // stretched to the edges
    dialog.FitButton(FitMode::Crop)->click();
    const QImage cropped = waitForPicture();
    EXPECT_GT(ColumnLevel(cropped, 20), 20.0);
    // Cropped shows a part of the picture magnified: it differs from the stretched one.
    EXPECT_NE(cropped, picture);

    // The moment slider moves through the movie.
    dialog.MomentSlider()->setValue(1500);
    const QImage later = waitForPicture();
    EXPECT_NE(later, cropped);

    // The picture has a fit of its own; the movie keeps crop.
    dialog.FileList()->setCurrentRow(1);
    waitForPicture();
    EXPECT_TRUE(dialog.FitButton(FitMode::Auto)->isChecked());
    EXPECT_FALSE(dialog.MomentSlider()->isEnabled());
    EXPECT_EQ(dialog.FileList()->item(0)->text(), "upright.mp4 (crop)");
    EXPECT_EQ(dialog.FileList()->accessibleName(), "Files");
    EXPECT_EQ(dialog.MomentSlider()->accessibleName(), "Moment of the movie");
    EXPECT_EQ(dialog.FitButton(FitMode::Letterbox)->accessibleName(), "Letterbox");
    dialog.ConvertButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Fits(), (std::vector<FitMode>{FitMode::Crop, FitMode::Auto}));
}

TEST_F(ViewersTest, PlayerSendsThePadsSoundAndPlaysWithoutADeviceToo) {
    struct PlayCase {
        const char* what;
        bool device;
        bool attachWav;
        double crossings; // of the sound the output received
    };
    for (const PlayCase& c : {PlayCase{"the movie's own sound", true, false, 880},
                              PlayCase{"the attached WAV instead", true, true, 2000},
                              PlayCase{"no sound device", false, false, 0}}) {
        auto record = std::make_shared<std::vector<std::int16_t>>();
        k72::PlayerWidget player(nullptr, std::make_unique<RecordingOutput>(record, c.device));
        ASSERT_TRUE(player.OpenMovie(*folder / "pad.avi",
                                     c.attachWav ? *folder / "tone.wav" : std::filesystem::path()))
            << c.what;
        EXPECT_NEAR(player.Duration(), 3.0, 0.05);
        player.show();
        player.PlayButton()->click();
        EXPECT_TRUE(player.IsPlaying());
        EXPECT_EQ(player.PlayButton()->accessibleName(), "Pause");
        QTRY_VERIFY_WITH_TIMEOUT(player.Position() > 0.6, 5000);
        player.PlayButton()->click();
        EXPECT_FALSE(player.IsPlaying());
        const double at = player.Position();
        QTest::qWait(100);
        EXPECT_DOUBLE_EQ(player.Position(), at) << c.what; // paused means paused
        EXPECT_FALSE(player.Pane()->Picture().isNull()) << c.what;
        if (c.device) {
            // Sound up to the moment played, at the pad's pitch.
            EXPECT_GE(record->size() / 2, static_cast<std::size_t>(0.6 * 44100)) << c.what;
            EXPECT_NEAR(Crossings(*record), c.crossings, c.crossings * 0.02) << c.what;
            EXPECT_TRUE(player.StatusLabel()->text().isEmpty()) << c.what;
        } else {
            EXPECT_TRUE(record->empty());
            EXPECT_EQ(player.StatusLabel()->text(), "There is no sound device: playing without sound.");
        }
    }
}

TEST_F(ViewersTest, PlayerSeeksAndPlaysToTheEnd) {
    auto record = std::make_shared<std::vector<std::int16_t>>();
    k72::PlayerWidget player(nullptr, std::make_unique<RecordingOutput>(record, true));
    ASSERT_TRUE(player.OpenMovie(*folder / "pad.avi"));
    player.show();
    player.SeekTo(2.6);
    EXPECT_NEAR(player.Position(), 2.6, 1e-9);
    const QImage before = player.Pane()->Picture();
    player.Play();
    // Plays out the last 0.4 s and stops at the end; Play then starts again from the beginning.
    QTRY_VERIFY_WITH_TIMEOUT(!player.IsPlaying(), 3000);
    EXPECT_NEAR(player.Position(), player.Duration(), 1e-6);
    EXPECT_NE(player.Pane()->Picture(), before);
    EXPECT_EQ(player.PositionSlider()->value(), player.PositionSlider()->maximum());
    player.Play();
    EXPECT_LT(player.Position(), 0.2);
    player.Pause();
    // A pad without readable files says so and offers nothing to play.
    EXPECT_FALSE(player.OpenMovie(*folder / "missing.avi"));
    EXPECT_FALSE(player.PlayButton()->isEnabled());
    EXPECT_EQ(player.StatusLabel()->text(), "This pad's files cannot be played.");
}

TEST_F(ViewersTest, OverviewShowsEachNumbersPadsAndGoesThereOnAClick) {
    std::vector<std::uint8_t> bytes(kPadFileBytes, 0);
    PutStillPad(bytes, RecordAt(0, 0, 0), {"K72_0001.JPG"});
    PutMoviePad(bytes, RecordAt(0, 0, 1), "K72_0002.AVI", "TONE.WAV");
    PutLE32(bytes, RecordAt(0, 0, 1) + 32, 1500); // a minute at the movie's 25 fps
    PutStillPad(bytes, RecordAt(0, 0, 2), {"K72_0001.JPG", "K72_0001.JPG"});
    PutStillPad(bytes, RecordAt(3, 11, 4), {"K72_0001.JPG"});
    const TestCard card(folder->Path(), bytes);
    std::filesystem::copy_file(*folder / "pad.avi", card.folder / "K72_0002.AVI");
    ASSERT_TRUE(MakeMedia(card.folder / "K72_0001.JPG", "-f lavfi -i color=c=red:size=640x480 -frames:v 1"));

    k72::CardOverviewWidget overview;
    QSignalSpy loaded(&overview, &k72::CardOverviewWidget::Loaded);
    overview.ShowCard(card.root);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 10000);
    EXPECT_TRUE(loaded.at(0).at(0).toBool());
    QToolButton* first = overview.Cell(0, 0);
    EXPECT_EQ(first->text(), "3/12");
    EXPECT_EQ(first->accessibleName(), "BANK:A number 1");
    EXPECT_EQ(first->accessibleDescription(),
              "3 of 12 pads used: 1 movie, 2 still image pads, 1 with sound");
    EXPECT_EQ(overview.Cell(3, 11)->text(), "1/12");
    EXPECT_EQ(overview.Cell(5, 5)->text(), "0/12");
    EXPECT_TRUE(
        overview.TotalsLabel()->text().startsWith("1 movie (1.0 minute), 4 pictures on 3 pads, 1 sound"))
        << overview.TotalsLabel()->text().toStdString();
    // Small pictures of both used numbers; the red still is the first one of bank A, number 1.
    QTRY_COMPARE_WITH_TIMEOUT(overview.ThumbnailsShown(), 2, 10000);
    const QImage mosaic = first->icon().pixmap(first->iconSize()).toImage();
    EXPECT_GT(qRed(mosaic.pixel(10, 10)), 200);
    EXPECT_LT(qGreen(mosaic.pixel(10, 10)), 60);

    QSignalSpy chosen(&overview, &k72::CardOverviewWidget::NumberChosen);
    QTest::mouseClick(overview.Cell(3, 11), Qt::LeftButton);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toInt(), 3);
    EXPECT_EQ(chosen.at(0).at(1).toInt(), 11);

    // A folder that is no card: the reason instead of totals.
    overview.ShowCard(folder->Path() / "nothing");
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 2, 10000);
    EXPECT_FALSE(loaded.at(1).at(0).toBool());
    EXPECT_TRUE(overview.TotalsLabel()->text().startsWith("the card's pad file cannot be read"));
}

} // namespace
