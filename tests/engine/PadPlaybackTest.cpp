// The player's decoding: the picture of a moment (read on, sought back and far ahead), the sound from
// a moment, a WAV instead of the movie's own sound, and a still image pad's pictures in turn.
#include "engine/PadPlayback.h"

#include "codecs/CVideoConverter.h"

#include "tests/support/MediaSuite.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace k72test;

double MeanLevel(const k72::RgbImage& picture) {
    double sum = 0;
    for (std::uint8_t value : picture.pixels) {
        sum += value;
    }
    return picture.pixels.empty() ? -1 : sum / static_cast<double>(picture.pixels.size());
}

// Root mean square and zero crossings per second of the left channel.
struct SoundShape {
    double level = 0;
    double crossings = 0;
};
SoundShape Shape(const std::vector<std::int16_t>& samples) {
    SoundShape shape;
    const std::size_t frames = samples.size() / 2;
    double sum = 0;
    int crossings = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        sum += double(samples[2 * i]) * samples[2 * i];
        if (i > 0 && (samples[2 * i - 2] < 0) != (samples[2 * i] < 0)) {
            ++crossings;
        }
    }
    shape.level = frames == 0 ? 0 : std::sqrt(sum / static_cast<double>(frames)) / 32768.0;
    shape.crossings = frames == 0 ? 0 : crossings * 44100.0 / static_cast<double>(frames);
    return shape;
}

std::vector<std::int16_t> ReadSound(k72::PadPlayback& playback, std::size_t frames) {
    std::vector<std::int16_t> samples(frames * 2);
    samples.resize(playback.ReadSound(samples.data(), frames) * 2);
    return samples;
}

class PadPlaybackTest : public k72test::MediaSuite<PadPlaybackTest> {
protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TempDir>();
        // A device movie whose picture k has the luma 16 + 4 k (limited range: grey 4 k x 255 / 219), with a
        // 440 Hz tone that is quiet for its first second and loud after; and a 1000 Hz WAV.
        ASSERT_TRUE(MakeMedia(*folder / "movie.avi",
                              "-f lavfi -i \"nullsrc=size=640x480:rate=25,geq=lum='16+4*N':cb=128:cr=128\" "
                              "-f lavfi -i \"aevalsrc='if(lt(t,1),0.05,0.5)*sin(2*PI*440*t)|"
                              "if(lt(t,1),0.05,0.5)*sin(2*PI*440*t)':s=44100\" "
                              "-t 2.4 -c:v mjpeg -pix_fmt yuvj422p -q:v 2 -c:a pcm_s16le -ar 44100 -ac 2"));
        ASSERT_TRUE(
            MakeMedia(*folder / "tone.wav",
                      "-f lavfi -i sine=frequency=1000:sample_rate=44100:duration=3 -ac 2 -c:a pcm_s16le"));
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(MakeMedia(*folder / ("slide" + std::to_string(i) + ".jpg"),
                                  "-f lavfi -i color=c=0x" +
                                      std::string(i == 0   ? "202020"
                                                  : i == 1 ? "808080"
                                                           : "e0e0e0") +
                                      ":size=640x480 -frames:v 1 -pix_fmt yuvj422p"));
        }
    }
};

TEST_F(PadPlaybackTest, MoviePicturesFollowTheMomentWhereverItJumps) {
    k72::PadPlayback playback;
    ASSERT_EQ(playback.OpenMovie(*folder / "movie.avi"), 0);
    EXPECT_NEAR(playback.Duration(), 2.4, 0.05);
    EXPECT_NEAR(playback.PictureRate(), 25.0, 1e-6);
    EXPECT_TRUE(playback.HasSound());
    // In order, a small jump ahead, back to the start, far ahead, and the same moment again.
    k72::RgbImage picture;
    for (const int index : {0, 1, 2, 5, 0, 40, 12}) {
        bool changed = false;
        ASSERT_TRUE(playback.PictureAt(index / 25.0 + 0.01, picture, &changed)) << index;
        EXPECT_TRUE(changed) << index;
        EXPECT_EQ(picture.width, 640u);
        EXPECT_NEAR(MeanLevel(picture), 4.0 * index * 255 / 219, 3.0) << index;
    }
    bool changed = true;
    ASSERT_TRUE(playback.PictureAt(12 / 25.0 + 0.02, picture, &changed));
    EXPECT_FALSE(changed);
    // Past the end: the last picture.
    EXPECT_EQ(playback.PictureIndexAt(100.0), 59);
}

TEST_F(PadPlaybackTest, SoundStartsAtTheMomentAndAWavReplacesTheMoviesOwn) {
    k72::PadPlayback playback;
    ASSERT_EQ(playback.OpenMovie(*folder / "movie.avi"), 0);
    playback.SeekSound(0.2);
    const SoundShape quiet = Shape(ReadSound(playback, 22050));
    playback.SeekSound(1.5);
    const SoundShape loud = Shape(ReadSound(playback, 22050));
    EXPECT_NEAR(quiet.level, 0.05 / std::sqrt(2.0), 0.01);
    EXPECT_NEAR(loud.level, 0.5 / std::sqrt(2.0), 0.03);
    EXPECT_NEAR(loud.crossings, 880, 20);
    // Right after the switch from quiet to loud: the seek lands within a few milliseconds.
    playback.SeekSound(0.99);
    const std::vector<std::int16_t> around = ReadSound(playback, 882); // 20 ms
    EXPECT_LT(Shape({around.begin(), around.begin() + 2 * 300}).level, 0.1);
    EXPECT_GT(Shape({around.begin() + 2 * 600, around.end()}).level, 0.2);
    // The end of the sound: fewer frames, then none.
    playback.SeekSound(2.3);
    EXPECT_NEAR(static_cast<double>(ReadSound(playback, 44100).size() / 2), 0.1 * 44100, 300);
    EXPECT_TRUE(ReadSound(playback, 100).empty());

    ASSERT_EQ(playback.OpenMovie(*folder / "movie.avi", *folder / "tone.wav"), 0);
    playback.SeekSound(0.5);
    EXPECT_NEAR(Shape(ReadSound(playback, 22050)).crossings, 2000, 30);
    // A sound that cannot be read leaves the movie without one.
    ASSERT_EQ(playback.OpenMovie(*folder / "movie.avi", *folder / "missing.wav"), 0);
    EXPECT_FALSE(playback.HasSound());
    EXPECT_NE(playback.OpenMovie(*folder / "missing.avi"), 0);
}

// The device's own movies index their sound chunks without the key-frame flag, so a seek of the sound
// has to start from any chunk; reading from the file's first byte instead played pictures as noise.
TEST_F(PadPlaybackTest, TheSoundOfAConvertedMovieStartsCleanAtEveryMoment) {
    k72::CVideoConverter converter;
    converter.SetFrameRateStandard("pal");
    const auto device = *folder / "device.avi";
    ASSERT_EQ(converter.Convert((*folder / "movie.avi").string(), device.string()), 0);
    k72::PadPlayback playback;
    ASSERT_EQ(playback.OpenMovie(device), 0);
    for (const double moment : {0.0, 0.2, 1.5, 0.0}) {
        playback.SeekSound(moment);
        const SoundShape shape = Shape(ReadSound(playback, 11025));
        EXPECT_NEAR(shape.level, (moment < 1 ? 0.05 : 0.5) / std::sqrt(2.0), 0.03) << moment;
        EXPECT_NEAR(shape.crossings, 880, 20) << moment;
    }
}

TEST_F(PadPlaybackTest, SlideshowShowsEachPictureInTurnAndStartsAgainWithALongerSound) {
    k72::PadPlayback playback;
    const std::vector<std::filesystem::path> slides = {*folder / "slide0.jpg", *folder / "slide1.jpg",
                                                       *folder / "slide2.jpg"};
    ASSERT_EQ(playback.OpenSlideshow(slides, 0.5), 0);
    EXPECT_DOUBLE_EQ(playback.Duration(), 1.5);
    EXPECT_FALSE(playback.HasSound());
    k72::RgbImage picture;
    const double levels[] = {0x20, 0x80, 0xe0};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(playback.PictureAt(i * 0.5 + 0.25, picture));
        EXPECT_NEAR(MeanLevel(picture), levels[i], 3.0) << i;
    }
    ASSERT_EQ(playback.OpenSlideshow(slides, 0.5, *folder / "tone.wav"), 0);
    EXPECT_NEAR(playback.Duration(), 3.0, 0.01);
    EXPECT_EQ(playback.PictureIndexAt(1.75), 0); // the fourth half second: the first picture again
    EXPECT_NE(playback.OpenSlideshow({}, 0.5), 0);
}

} // namespace
