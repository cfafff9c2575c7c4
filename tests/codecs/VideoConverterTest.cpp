// The movie converter: both phases end to end, its settings, status and result codes, the disc-space
// estimate, cancelling, and the temporary file.

#include "codecs/CVideoConverter.h"
#include "base/DiagnosticLog.h"
#include "codecs/ResultCodes.h"
#include "tests/codecs/MovieTestSupport.h"
#include "tests/support/AviStructure.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace k72test {
namespace {

using k72::CVideoConverter;
namespace rc = k72::rc;

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

// A small valid input for phase 2: one second of pictures and sound.
std::vector<std::uint8_t> SmallIntermediate() {
    std::vector<TestChunk> chunks;
    for (int i = 0; i < 30; ++i) {
        chunks.push_back({true, 700});
        chunks.push_back({false, 5880});
    }
    return BuildIntermediateAvi(chunks);
}

TEST(VideoConverter, HandsTheTranscoderTheDeviceArgumentVector) {
    TempDir dir;
    TempDir work;
    for (const bool deinterlace : {false, true}) {
        SCOPED_TRACE(deinterlace);
        CVideoConverter converter;
        converter.SetWorkFolder(work.Path());
        converter.SetFrameRateStandard("Pal");
        converter.SetQscaleText("15");
        converter.SetDeinterlace(deinterlace);
        std::vector<std::string> seen;
        bool temporaryExists = false;
        bool terminated = false;
        converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int argc, char** argv) {
            for (int i = 0; i < argc; ++i) {
                seen.emplace_back(argv[i]);
            }
            terminated = argv[argc] == nullptr;
            temporaryExists = std::filesystem::exists(argv[argc - 1]);
            return WritesFile(SmallIntermediate())(callback, context, argc, argv);
        });
        ASSERT_EQ(converter.Convert("/movies/in.mov", (dir / "out.avi").string()), 0);

        std::vector<std::string> expected = {
            "",        "-fs",       "2097152000", "-y",    "-i",      "/movies/in.mov",
            "-acodec", "pcm_s16le", "-ar",        "44100", "-ac",     "2",
            "-s",      "640x480",   "-r",         "pal",   "-qscale", "15"};
        if (deinterlace) {
            expected.insert(expected.end(), {"-deinterlace", "-top", "-1"});
        }
        expected.insert(expected.end(), {"-vcodec", "mjpeg", "-pix_fmt", "yuvj422p", "-f", "avi"});
        ASSERT_EQ(seen.size(), deinterlace ? 28u : 25u);
        const std::filesystem::path temporary = seen.back();
        seen.pop_back();
        EXPECT_EQ(seen, expected);
        EXPECT_TRUE(terminated);
        EXPECT_TRUE(temporaryExists);
        EXPECT_EQ(temporary.parent_path(), work.Path());
        EXPECT_EQ(temporary.filename().string().substr(0, 3), "MJP");
        EXPECT_FALSE(std::filesystem::exists(temporary));
        EXPECT_TRUE(CheckDeviceLayout(dir / "out.avi", "pal", false).empty());
    }
}

TEST(VideoConverter, KeepsItsSettings) {
    CVideoConverter converter;
    EXPECT_EQ(converter.FrameRateStandard(), "ntsc");
    EXPECT_EQ(converter.QscaleText(), "20");
    EXPECT_FALSE(converter.Deinterlace());
    converter.SetFrameRateStandard("PAL");
    converter.SetQscaleText("1");
    converter.SetDeinterlace(true);
    EXPECT_EQ(converter.FrameRateStandard(), "pal");

    TempDir dir;
    converter.SetWorkFolder(dir.Path());
    converter.SetTranscoder(WritesFile(SmallIntermediate()));
    ASSERT_EQ(converter.Convert("in.mov", (dir / "out.avi").string()), 0);
    EXPECT_EQ(converter.FrameRateStandard(), "pal");
    EXPECT_EQ(converter.QscaleText(), "1");
    EXPECT_TRUE(converter.Deinterlace());
}

TEST(VideoConverter, DiscSpaceEstimateStopsTheTranscoderAndLatches) {
    TempDir dir;
    CVideoConverter converter;
    converter.SetWorkFolder(dir.Path());
    converter.SetFreeSpaceProbe([](const std::filesystem::path&) { return std::uint64_t{3000}; });
    std::vector<std::int32_t> answers;
    std::vector<k72::ResultCode> codes;
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int, char**) {
        callback(context, k72::ReportBytesWritten, 1000); // 1000 + 2 × 1000 = 3000: still fits
        codes.push_back(converter.GetResultCode());
        answers.push_back(callback(context, k72::ReportPosition, 1));
        callback(context, k72::ReportBytesWritten, 3000); // 4000 + 2 × 2000 = 8000 > 3000
        codes.push_back(converter.GetResultCode());
        answers.push_back(callback(context, k72::ReportPosition, 2));
        callback(context, k72::ReportResult, k72::rc::Error); // the transcoder's own stop code
        return 0;
    });
    EXPECT_EQ(converter.Convert("in.mov", (dir / "out.avi").string()), rc::DiscSpaceInsufficient);
    EXPECT_EQ(codes, (std::vector<k72::ResultCode>{0, rc::DiscSpaceInsufficient}));
    EXPECT_EQ(answers, (std::vector<std::int32_t>{0, -1}));
    EXPECT_EQ(converter.GetResultCode(), rc::DiscSpaceInsufficient);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.avi"));
    EXPECT_TRUE(FilesIn(dir.Path()).empty());

    // The latch holds for one conversion only; the ring starts empty again, and a report of 0 bytes
    // on an empty ring counts as a mean of 0.
    converter.SetFreeSpaceProbe([](const std::filesystem::path&) { return std::uint64_t{1} << 40; });
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int, char**) {
        callback(context, k72::ReportBytesWritten, 0);
        answers.push_back(callback(context, k72::ReportPosition, 3));
        callback(context, k72::ReportResult, rc::FileSizeOverLimit);
        callback(context, k72::ReportResult, rc::EncodeFailed);
        return 0;
    });
    EXPECT_EQ(converter.Convert("in.mov", (dir / "out.avi").string()), rc::FileSizeOverLimit);
    EXPECT_EQ(answers.back(), 0);
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int, char**) {
        callback(context, k72::ReportResult, rc::EncodeFailed);
        return 0;
    });
    EXPECT_EQ(converter.Convert("in.mov", (dir / "out.avi").string()), rc::EncodeFailed);
}

TEST(VideoConverter, ShowsItsPhaseAndProgressAndResetsThemAfterwards) {
    TempDir dir;
    CVideoConverter converter;
    converter.SetWorkFolder(dir.Path());
    std::vector<std::uint32_t> seen;
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int argc, char** argv) {
        seen.push_back(converter.GetState());
        seen.push_back(converter.GetProgressTotal());
        callback(context, k72::ReportTotal, 200);
        callback(context, k72::ReportPosition, 50);
        seen.push_back(converter.GetProgressTotal());
        seen.push_back(converter.GetProgressPosition());
        return WritesFile(SmallIntermediate())(callback, context, argc, argv);
    });
    std::atomic<bool> done{false};
    std::atomic<std::uint32_t> sawInterleaving{0};
    std::thread watcher([&] {
        while (!done.load()) {
            if (converter.GetState() == CVideoConverter::Interleaving) {
                sawInterleaving.store(1);
            }
        }
    });
    const auto result = converter.Convert("in.mov", (dir / "out.avi").string());
    done.store(true);
    watcher.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen, (std::vector<std::uint32_t>{CVideoConverter::Converting, 100, 200, 50}));
    EXPECT_EQ(converter.GetState(), CVideoConverter::Idle);
    EXPECT_EQ(converter.GetProgressTotal(), 0u);
    EXPECT_EQ(converter.GetProgressPosition(), 0u);
    (void)sawInterleaving; // a watcher may or may not catch the short second phase
}

TEST(VideoConverter, ABusyConverterAnswersAtOnceAndLeavesTheRunningOneAlone) {
    TempDir dir;
    CVideoConverter converter;
    converter.SetWorkFolder(dir.Path());
    std::atomic<bool> release{false};
    std::atomic<bool> running{false};
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int argc, char** argv) {
        callback(context, k72::ReportPosition, 7);
        running.store(true);
        while (!release.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return WritesFile(SmallIntermediate())(callback, context, argc, argv);
    });
    k72::ResultCode first = -1;
    std::thread worker([&] { first = converter.Convert("in.mov", (dir / "out.avi").string()); });
    while (!running.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    LogCapture log;
    EXPECT_EQ(converter.Convert("other.mov", (dir / "other.avi").string()), rc::ConverterBusy);
    EXPECT_EQ(converter.GetState(), CVideoConverter::Converting);
    EXPECT_EQ(converter.GetProgressPosition(), 7u);
    EXPECT_EQ(converter.GetResultCode(), 0);
    release.store(true);
    worker.join();
    EXPECT_EQ(first, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "other.avi"));
    EXPECT_NE(log.Text().find("movie converter: result code 0x00000000\n"), std::string::npos);
}

TEST(VideoConverter, OwnStepFailuresAndTheirCodes) {
    TempDir dir;
    bool called = false;
    LogCapture log;
    {
        // No temporary file can be made: the transcoder never runs.
        CVideoConverter converter;
        converter.SetWorkFolder(dir / "missing");
        converter.SetTranscoder([&](k72::ConverterCallback, void*, int, char**) {
            called = true;
            return 0;
        });
        EXPECT_EQ(converter.Convert("in.mov", (dir / "out.avi").string()), rc::TempFileFailed);
        EXPECT_FALSE(called);
    }
    {
        // A destination without a folder part; the temporary file is still removed.
        CVideoConverter converter;
        converter.SetWorkFolder(dir.Path());
        converter.SetTranscoder(WritesFile(SmallIntermediate()));
        EXPECT_EQ(converter.Convert("in.mov", "out.avi"), rc::InvalidPath);
        EXPECT_EQ(converter.GetResultCode(), rc::InvalidPath);
        EXPECT_TRUE(FilesIn(dir.Path()).empty());
    }
    EXPECT_NE(log.Text().find("movie converter: result code 0x80000101\n"), std::string::npos);
    EXPECT_NE(log.Text().find("movie converter: result code 0x80000105\n"), std::string::npos);
}

TEST(VideoConverter, CancelDuringTheTranscodeEndsQuicklyWithoutTemporaryFile) {
    TempDir dir;
    TempDir work;
    ASSERT_TRUE(MakeSmallMovie(dir / "in.mp4", "libx264", "aac", "640x480", 30, 6.0));
    CVideoConverter converter;
    converter.SetWorkFolder(work.Path());
    k72::ResultCode result = 0;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        result = converter.Convert((dir / "in.mp4").string(), (dir / "out.avi").string());
        finished.store(true);
    });
    // Half a second into the movie's six.
    while (!finished.load() &&
           !(converter.GetState() == CVideoConverter::Converting && converter.GetProgressPosition() >= 500)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const bool stillConverting = converter.GetState() == CVideoConverter::Converting;
    const auto asked = std::chrono::steady_clock::now();
    converter.RequestAbort();
    while (converter.GetState() != CVideoConverter::Idle) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto took = std::chrono::steady_clock::now() - asked;
    worker.join();
    ASSERT_TRUE(stillConverting);
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_LT(result, 0);
    EXPECT_TRUE(FilesIn(work.Path()).empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "out.avi"));
}

TEST(VideoConverter, CancelDuringTheReinterleaveEndsQuicklyWithoutTemporaryFile) {
    TempDir dir;
    // Many tiny chunks make a re-interleave of many steps.
    std::vector<TestChunk> chunks;
    for (int i = 0; i < 60000; ++i) {
        chunks.push_back({true, 64});
    }
    CVideoConverter converter;
    converter.SetWorkFolder(dir.Path());
    converter.SetTranscoder(WritesFile(BuildIntermediateAvi(chunks)));
    LogCapture log;
    k72::ResultCode result = 0;
    std::thread worker([&] { result = converter.Convert("in.mov", (dir / "out.avi").string()); });
    while (converter.GetState() != CVideoConverter::Interleaving || converter.GetProgressPosition() == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const auto asked = std::chrono::steady_clock::now();
    converter.RequestAbort();
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
    EXPECT_EQ(result, rc::MigrationFailed);
    EXPECT_NE(log.Text().find("movie converter: cancelled\n"), std::string::npos);
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::filesystem::path>{dir / "out.avi"});
}

TEST(VideoConverter, AStopRequestKeptForThePreparedJobOnly) {
    TempDir dir;
    CVideoConverter converter;
    converter.SetWorkFolder(dir.Path());
    std::int32_t answer = 0;
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int argc, char** argv) {
        answer = callback(context, k72::ReportPosition, 1);
        if (answer == -1) {
            callback(context, k72::ReportResult, rc::Error);
            return static_cast<int>(rc::Error);
        }
        return WritesFile(SmallIntermediate())(callback, context, argc, argv);
    });
    const std::string output = (dir / "out.avi").string();

    // A request left over from before belongs to no job: a plain Convert clears it.
    converter.RequestAbort();
    EXPECT_EQ(converter.Convert("in.mov", output), 0);
    EXPECT_EQ(answer, 0);

    // Once the job is prepared, a request that lands before Convert starts stops that job at its
    // first report.
    converter.PrepareNextJob();
    converter.RequestAbort();
    EXPECT_EQ(converter.Convert("in.mov", output), rc::Error);
    EXPECT_EQ(answer, -1);

    // Preparing clears what came before it, and lasts for one job.
    converter.RequestAbort();
    converter.PrepareNextJob();
    EXPECT_EQ(converter.Convert("in.mov", output), 0);
    EXPECT_EQ(answer, 0);
    converter.RequestAbort();
    EXPECT_EQ(converter.Convert("in.mov", output), 0);
    EXPECT_EQ(answer, 0);
}

} // namespace
} // namespace k72test
