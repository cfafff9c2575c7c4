// A sound conversion watched from another thread: its progress only grows and ends at 1000, watching
// it changes no byte of the WAV, and a cancel stops it with nothing left behind.

#include "codecs/ResultCodes.h"
#include "codecs/SoundConverter.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

using namespace k72test;

struct Source {
    const char* file;
    const char* ffmpegArguments;
};

TEST(SoundConverterControl, ProgressGrowsToTheEndAndTheWavIsTheSame) {
    TempDir dir;
    const Source sources[] = {
        {"mono48.wav", "-f lavfi -i sine=frequency=440:duration=20:sample_rate=48000 -c:a pcm_s16le"},
        {"song.mp3", "-f lavfi -i sine=frequency=440:duration=20:sample_rate=44100 -c:a libmp3lame"},
        // Raw ADTS AAC has only a length estimated from its bit rate, shorter than the sound: the
        // reports must still only grow and end at 1000.
        {"song.aac", "-f lavfi -i sine=frequency=440:duration=20:sample_rate=32000 -c:a aac -f adts"},
    };
    for (const Source& source : sources) {
        SCOPED_TRACE(source.file);
        ASSERT_TRUE(MakeMedia(dir / source.file, source.ffmpegArguments));
        const auto plain = dir / "PLAIN.WAV";
        const auto watched = dir / "WATCHED.WAV";
        ASSERT_EQ(k72::ConvertSoundToDeviceWav((dir / source.file).string(), plain.string()), 0);

        std::vector<int> reports;
        std::atomic<bool> cancel{false};
        k72::SoundConversionControl control;
        control.progress = [&reports](int permille) { reports.push_back(permille); };
        control.cancel = &cancel;
        ASSERT_EQ(k72::ConvertSoundToDeviceWav((dir / source.file).string(), watched.string(), control), 0);

        ASSERT_GE(reports.size(), 10u) << "a 20-second sound reports more than a few steps";
        for (std::size_t i = 1; i < reports.size(); ++i) {
            ASSERT_GT(reports[i], reports[i - 1]) << "at report " << i;
        }
        EXPECT_GE(reports.front(), 0);
        EXPECT_EQ(reports.back(), 1000);
        EXPECT_GE(reports[reports.size() - 2], 900) << "the last step before the end is near it";
        EXPECT_EQ(ReadFileBytes(watched), ReadFileBytes(plain));
    }
}

TEST(SoundConverterControl, CancelStopsWithNoFileLeft) {
    TempDir dir;
    ASSERT_TRUE(MakeMedia(dir / "long.flac",
                          "-f lavfi -i sine=frequency=440:duration=60:sample_rate=48000 -c:a flac"));
    const auto out = dir / "OUT.WAV";

    // Raised part way through, from the progress report itself.
    std::atomic<bool> cancel{false};
    int last = -1;
    k72::SoundConversionControl control;
    control.cancel = &cancel;
    control.progress = [&](int permille) {
        last = permille;
        if (permille >= 100) {
            cancel.store(true);
        }
    };
    EXPECT_EQ(k72::ConvertSoundToDeviceWav((dir / "long.flac").string(), out.string(), control),
              k72::rc::Error);
    EXPECT_GE(last, 100);
    EXPECT_LT(last, 200) << "the conversion went on after the cancel";
    EXPECT_FALSE(std::filesystem::exists(out));

    // Raised before it starts: the file is not even opened for long.
    last = -1;
    EXPECT_EQ(k72::ConvertSoundToDeviceWav((dir / "long.flac").string(), out.string(), control),
              k72::rc::Error);
    EXPECT_EQ(last, -1);
    EXPECT_FALSE(std::filesystem::exists(out));
}

} // namespace
