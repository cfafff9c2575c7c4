// The movie converter: both phases end to end, its settings, status and result codes, the disc-space
// estimate, cancelling, and the temporary file.

#include "codecs/CVideoConverter.h"
#include "codecs/DiagnosticLog.h"
#include "codecs/ResultCodes.h"
#include "tests/codecs/MovieTestSupport.h"
#include "tests/support/AviStructure.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace k72test {
namespace {

using k72::CVideoConverter;
namespace rc = k72::rc;

// Collects the diagnostic log while it lives.
class LogCapture {
public:
    LogCapture() {
        previous_ = k72::SetDebugSink([this](std::string_view text) {
            std::lock_guard<std::mutex> lock(mutex_);
            text_ += text;
        });
    }
    ~LogCapture() { k72::SetDebugSink(previous_); }
    std::string Text() {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }

private:
    std::mutex mutex_;
    std::string text_;
    k72::DebugSink previous_;
};

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    return files;
}

void ExpectDevicePlayable(const std::filesystem::path& output, const std::string& standard, bool sound) {
    const std::vector<std::string> problems = CheckDeviceLayout(output, standard);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    const ProbedMovie movie = ProbeMovie(output);
    ASSERT_TRUE(movie.ok) << movie.error;
    EXPECT_EQ(movie.videoCodec, "mjpeg");
    EXPECT_EQ(movie.pixelFormat, "yuvj422p");
    EXPECT_EQ(movie.width, 640);
    EXPECT_EQ(movie.height, 480);
    EXPECT_EQ(movie.frameRate, standard == "ntsc" ? "30000/1001" : "25/1");
    EXPECT_EQ(movie.frames, ReadAviLayout(output, false).totalFrames);
    EXPECT_EQ(movie.audioStreams, sound ? 1 : 0);
    const CommandResult decode = RunCommand("ffmpeg -nostdin -v error -i " + Quote(output) + " -f null -");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.output, "");
}

TEST(VideoConverter, ConvertsAMovieIntoTheDeviceLayoutAndRemovesItsTemporaryFile) {
    TempDir dir;
    TempDir work;
    ASSERT_TRUE(MakeSmallMovie(dir / "in.mp4", "libx264", "aac", "320x240", 25, 2.0, 48000));
    for (const std::string standard : {"ntsc", "pal"}) {
        SCOPED_TRACE(standard);
        CVideoConverter converter;
        converter.SetWorkFolder(work.Path());
        converter.SetFrameRateStandard(standard == "pal" ? "PAL" : "ntsc");
        converter.SetQscaleText("5");
        const auto output = dir / ("out-" + standard + ".avi");
        ASSERT_EQ(converter.Convert((dir / "in.mp4").string(), output.string()), 0);
        EXPECT_EQ(converter.GetState(), CVideoConverter::Idle);
        EXPECT_EQ(converter.GetResultCode(), 0);
        ExpectDevicePlayable(output, standard, true);
        EXPECT_TRUE(FilesIn(work.Path()).empty());
        // Two seconds of sound, regrouped into whole steps and a shorter last one.
        const AviLayout layout = ReadAviLayout(output, false);
        std::uint64_t audioBytes = 0;
        for (const AviChunk& chunk : layout.chunks) {
            audioBytes += chunk.id == "01wb" ? chunk.size : 0;
        }
        EXPECT_NEAR(static_cast<double>(audioBytes) / 176400, 2.0, 0.05);
    }
}

} // namespace
} // namespace k72test
