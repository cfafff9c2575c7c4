// The movie transcoder behind ff_convertermain: what it writes for the sources users bring, how it
// reports, and how it fails.

#include "codecs/ResultCodes.h"
#include "codecs/ff_convertermain.h"
#include "tests/codecs/MovieTestSupport.h"
#include "tests/support/AviStructure.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace k72test {
namespace {

using k72::ReportBytesWritten;
using k72::ReportPosition;
using k72::ReportResult;
using k72::ReportTotal;

struct Expectation {
    std::string standard = "ntsc";
    bool sound = true;
};

// Transcodes and checks the result the way the device and an independent reader see it.
void ExpectGoodTranscode(const std::filesystem::path& source, const std::filesystem::path& output,
                         const Expectation& expected, bool deinterlace = false) {
    ReportRecorder recorder;
    const int result =
        RunTranscoder(TranscoderArguments(source, output, expected.standard, "10", deinterlace), recorder);
    ASSERT_EQ(result, 0);
    ASSERT_EQ(recorder.Values(ReportResult), std::vector<std::int32_t>{0});

    const std::vector<std::string> problems = CheckIntermediateLayout(output);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    const AviLayout layout = ReadAviLayout(output, true);

    const ProbedMovie movie = ProbeMovie(output);
    ASSERT_TRUE(movie.ok) << movie.error;
    EXPECT_EQ(movie.videoStreams, 1);
    EXPECT_EQ(movie.videoCodec, "mjpeg");
    EXPECT_EQ(movie.pixelFormat, "yuvj422p");
    EXPECT_EQ(movie.width, 640);
    EXPECT_EQ(movie.height, 480);
    EXPECT_EQ(movie.frameRate, expected.standard == "ntsc" ? "30000/1001" : "25/1");
    EXPECT_EQ(movie.frames, layout.totalFrames);
    if (expected.sound) {
        EXPECT_EQ(movie.audioStreams, 1);
        EXPECT_EQ(movie.audioCodec, "pcm_s16le");
        EXPECT_EQ(movie.sampleRate, 44100);
        EXPECT_EQ(movie.channels, 2);
    } else {
        EXPECT_EQ(movie.audioStreams, 0);
    }
    const CommandResult decode = RunCommand("ffmpeg -nostdin -v error -i " + Quote(output) + " -f null -");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.output, "");

    // Durations: within one frame for the pictures, 50 ms for the sound.
    const SourceDurations durations = ProbeSourceDurations(source);
    const double frame = expected.standard == "ntsc" ? 1001.0 / 30000 : 1.0 / 25;
    EXPECT_NEAR(movie.videoDuration, durations.video, frame + 1e-6);
    if (expected.sound) {
        std::uint64_t audioBytes = 0;
        for (const AviChunk& chunk : layout.chunks) {
            audioBytes += chunk.id == "01wb" ? chunk.size : 0;
        }
        EXPECT_NEAR(static_cast<double>(audioBytes) / 176400.0, durations.audio, 0.05);
        EXPECT_NEAR(movie.audioDuration, durations.audio, 0.05);
    }

    // Progress: one total, positions that never run backwards, bytes that add up to the file.
    const auto totals = recorder.Values(ReportTotal);
    ASSERT_EQ(totals.size(), 1u);
    const auto positions = recorder.Values(ReportPosition);
    ASSERT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_LE(positions.back(), totals[0]);
    std::uint64_t written = 0;
    for (const auto bytes : recorder.Values(ReportBytesWritten)) {
        written += static_cast<std::uint64_t>(bytes);
    }
    EXPECT_EQ(written, std::filesystem::file_size(output));
}

TEST(ConverterMain, FullHdH264WithAacBecomesNtscMjpegAndPcm) {
    TempDir dir;
    ASSERT_TRUE(MakeH264Aac1080p(dir / "in.mp4"));
    ExpectGoodTranscode(dir / "in.mp4", dir / "out.avi", {});
}

} // namespace
} // namespace k72test
