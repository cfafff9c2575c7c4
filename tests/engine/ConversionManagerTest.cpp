// The manager with the real converters: movie jobs on the worker thread, cancel and shutdown while a
// conversion runs, still pictures and probes on the caller's thread. Run these under ThreadSanitizer
// too (K72_TSAN=ON).

#include "engine/CConversionManager.h"

#include "base/DiagnosticLog.h"
#include "engine/ConversionProgressModel.h"
#include "engine/ResultCodeText.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

using k72::CConversionManager;
using k72::CVideoConverter;
using k72::ResultCode;
namespace rc = k72::rc;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Generous: sanitizer builds run the transcoder many times slower.
constexpr auto kLongWait = 180s;

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kLongWait) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Collects the diagnostic log while a test runs.
class LogCapture {
public:
    LogCapture() {
        previous_ = k72::SetDebugSink([this](std::string_view text) {
            std::lock_guard lock(mutex_);
            text_.append(text);
        });
    }
    ~LogCapture() { k72::SetDebugSink(previous_); }
    std::string Text() {
        std::lock_guard lock(mutex_);
        return text_;
    }

private:
    k72::DebugSink previous_;
    std::mutex mutex_;
    std::string text_;
};

// Source media are made once for the whole suite: small pictures, a sine tone, a few seconds.
class ConversionManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        media_ = new k72test::TempDir();
        const std::string audio = " -f lavfi -i sine=frequency=440:sample_rate=22050:duration=";
        ok_ = k72test::HaveProgram("ffmpeg") &&
              k72test::MakeMedia(Source("one.avi"), "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1" +
                                                        audio + "1 -c:v mpeg4 -c:a pcm_s16le -shortest") &&
              k72test::MakeMedia(Source("two.avi"), "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2" +
                                                        audio + "2 -c:v mpeg4 -c:a pcm_s16le -shortest") &&
              k72test::MakeMedia(Source("long.avi"), "-f lavfi -i testsrc2=size=160x120:rate=25:duration=60" +
                                                         audio +
                                                         "60 -c:v mpeg4 -q:v 20 -c:a pcm_s16le -shortest") &&
              k72test::MakeMedia(Source("picture.png"),
                                 "-f lavfi -i testsrc2=size=320x200:duration=1 -frames:v 1");
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }
    static fs::path Source(const std::string& name) { return media_->Path() / name; }

    void SetUp() override {
        if (!ok_) {
            GTEST_SKIP() << "ffmpeg is missing or could not make the test media";
        }
    }

    std::string Out(const std::string& name) const { return (out_ / name).string(); }

    // Waits until the converter is well inside the first phase of a job.
    static bool WaitForProgress(CConversionManager& manager) {
        return WaitUntil([&] {
            const CVideoConverter& c = manager.Converter();
            return c.GetState() == CVideoConverter::Converting && c.GetProgressPosition() > 0;
        });
    }

    static inline k72test::TempDir* media_ = nullptr;
    static inline bool ok_ = false;
    k72test::TempDir out_;
};

} // namespace

TEST_F(ConversionManagerTest, JobRunsAtOnceAndCountsAsPendingUntilItEnds) {
    CConversionManager manager;
    EXPECT_EQ(manager.PendingJobs(), 0u);
    manager.AddJob(Source("one.avi").string(), Out("one.avi"));
    EXPECT_EQ(manager.PendingJobs(), 1u);

    // The worker picks the job up without any further nudge, and it stays counted while it runs.
    ASSERT_TRUE(WaitUntil([&] { return manager.Converter().GetState() != CVideoConverter::Idle; }, 10s));
    EXPECT_EQ(manager.PendingJobs(), 1u);

    ASSERT_TRUE(WaitUntil([&] { return manager.PendingJobs() == 0; }));
    EXPECT_EQ(manager.Converter().GetResultCode(), 0);
    EXPECT_EQ(manager.Converter().GetState(), CVideoConverter::Idle);

    std::uint32_t frames = 0;
    ASSERT_EQ(manager.GetTotalFrames(Out("one.avi"), frames), 0);
    EXPECT_NEAR(frames, 30, 1); // one second at 29.97 frames per second
    EXPECT_NEAR(manager.ProbedFrameRate(), 29.97, 0.01);
}

TEST_F(ConversionManagerTest, JobsRunInTheOrderAdded) {
    CConversionManager manager;
    manager.Converter().SetFrameRateStandard("pal");
    manager.AddJob(Source("two.avi").string(), Out("first.avi"));
    manager.AddJob(Source("one.avi").string(), Out("second.avi"));
    EXPECT_EQ(manager.PendingJobs(), 2u);

    // When the first job leaves the queue its file is complete and the second's is not there yet.
    ASSERT_TRUE(WaitUntil([&] { return manager.PendingJobs() < 2; }));
    EXPECT_TRUE(fs::exists(Out("first.avi")));
    EXPECT_FALSE(fs::exists(Out("second.avi")));

    ASSERT_TRUE(WaitUntil([&] { return manager.PendingJobs() == 0; }));
    // Each destination got its own source: two seconds and one second at 25 frames per second.
    std::uint32_t frames = 0;
    ASSERT_EQ(manager.GetTotalFrames(Out("first.avi"), frames), 0);
    EXPECT_NEAR(frames, 50, 1);
    ASSERT_EQ(manager.GetTotalFrames(Out("second.avi"), frames), 0);
    EXPECT_NEAR(frames, 25, 1);
    EXPECT_DOUBLE_EQ(manager.ProbedFrameRate(), 25.0);
}

TEST_F(ConversionManagerTest, FailedJobIsLoggedAndTheNextOneRuns) {
    LogCapture log;
    CConversionManager manager;
    manager.AddJob(Out("no-such-source.avi"), Out("failed.avi"));
    ASSERT_TRUE(WaitUntil([&] { return manager.PendingJobs() == 0; }));
    const ResultCode failure = manager.Converter().GetResultCode();
    EXPECT_TRUE(k72::Failed(failure));
    EXPECT_FALSE(fs::exists(Out("failed.avi")));
    // The line goes to the diagnostic log once the job has left the queue.
    ASSERT_TRUE(
        WaitUntil([&] { return log.Text().find(k72::ResultCodeText(failure)) != std::string::npos; }, 10s))
        << log.Text();

    // A failed job is simply dropped; the one behind it runs.
    manager.AddJob(Out("no-such-source.avi"), Out("failed.avi"));
    manager.AddJob(Source("one.avi").string(), Out("after.avi"));
    ASSERT_TRUE(WaitUntil([&] { return manager.PendingJobs() == 0; }));
    EXPECT_EQ(manager.Converter().GetResultCode(), 0);
    std::uint32_t frames = 0;
    EXPECT_EQ(manager.GetTotalFrames(Out("after.avi"), frames), 0);
    EXPECT_GT(frames, 0u);
}

TEST_F(ConversionManagerTest, CancelAllStopsTheRunningJobAndTheWorkerSleeps) {
    CConversionManager manager;
    manager.AddJob(Source("long.avi").string(), Out("cancelled.avi"));
    manager.AddJob(Source("one.avi").string(), Out("never.avi"));
    ASSERT_TRUE(WaitForProgress(manager));

    const auto cancelledAt = Clock::now();
    manager.CancelAll();
    EXPECT_EQ(manager.PendingJobs(), 0u);
    ASSERT_TRUE(WaitUntil([&] { return manager.Converter().GetState() == CVideoConverter::Idle; }, 30s));
    const double stopSeconds = Seconds(Clock::now() - cancelledAt);
    EXPECT_LT(stopSeconds, 5.0);
    EXPECT_TRUE(k72::Failed(manager.Converter().GetResultCode()));
    EXPECT_FALSE(fs::exists(Out("cancelled.avi")));

    // The worker has gone back to sleep: nothing else runs, and it wakes for the next job.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(manager.Converter().GetState(), CVideoConverter::Idle);
    EXPECT_FALSE(fs::exists(Out("never.avi")));
    manager.AddJob(Source("one.avi").string(), Out("later.avi"));
    ASSERT_TRUE(WaitUntil([&] { return manager.PendingJobs() == 0; }));
    EXPECT_EQ(manager.Converter().GetResultCode(), 0);
    EXPECT_TRUE(fs::exists(Out("later.avi")));
    EXPECT_FALSE(fs::exists(Out("never.avi")));
}

TEST_F(ConversionManagerTest, JobAddedWhileACancelledJobWindsDownIsKept) {
    CConversionManager manager;
    manager.AddJob(Source("long.avi").string(), Out("cancelled.avi"));
    ASSERT_TRUE(WaitForProgress(manager));
    // The cancelled conversion stops only at its next progress report; the new job is queued before.
    manager.CancelAll();
    manager.AddJob(Source("one.avi").string(), Out("next.avi"));
    EXPECT_EQ(manager.PendingJobs(), 1u);

    ASSERT_TRUE(WaitUntil([&] { return manager.PendingJobs() == 0; }));
    std::uint32_t frames = 0;
    EXPECT_EQ(manager.GetTotalFrames(Out("next.avi"), frames), 0);
    EXPECT_GT(frames, 0u);
    EXPECT_FALSE(fs::exists(Out("cancelled.avi")));
}

TEST_F(ConversionManagerTest, IdleManagerIsDestroyedWithinTheShortWait) {
    for (int i = 0; i < 3; ++i) {
        auto manager = std::make_unique<CConversionManager>();
        if (i == 1) {
            std::this_thread::sleep_for(50ms); // the worker is surely asleep by now
        }
        const auto start = Clock::now();
        manager.reset();
        EXPECT_LT(Seconds(Clock::now() - start), 0.5) << "round " << i;
    }

    // A manager whose jobs have all finished is idle again.
    auto manager = std::make_unique<CConversionManager>();
    manager->AddJob(Source("one.avi").string(), Out("done.avi"));
    ASSERT_TRUE(WaitUntil([&] { return manager->PendingJobs() == 0; }));
    const auto start = Clock::now();
    manager.reset();
    EXPECT_LT(Seconds(Clock::now() - start), 0.5);
}

TEST_F(ConversionManagerTest, BusyManagerStopsItsConversionWhenDestroyed) {
    auto manager = std::make_unique<CConversionManager>();
    manager->AddJob(Source("long.avi").string(), Out("busy.avi"));
    manager->AddJob(Source("one.avi").string(), Out("queued.avi"));
    ASSERT_TRUE(WaitForProgress(*manager));

    const auto start = Clock::now();
    manager.reset();
    EXPECT_LT(Seconds(Clock::now() - start), 5.0);
    EXPECT_FALSE(fs::exists(Out("busy.avi")));
    EXPECT_FALSE(fs::exists(Out("queued.avi")));
}

TEST_F(ConversionManagerTest, ProgressModelFollowsAJobToTheEnd) {
    CConversionManager manager;
    k72::ConversionProgressModel model;
    model.Start();
    manager.AddJob(Source("two.avi").string(), Out("watched.avi"));
    bool sawConverting = false;
    ASSERT_TRUE(WaitUntil([&] {
        model.Poll(&manager);
        sawConverting = sawConverting || model.StatusText() == "converting...";
        return model.Closed();
    }));
    EXPECT_TRUE(sawConverting);
    EXPECT_EQ(model.End(), k72::ConversionEnd::Completed);
    EXPECT_EQ(model.FinalResult(), 0);
    EXPECT_EQ(model.BarPosition(), 100);
    EXPECT_TRUE(fs::exists(Out("watched.avi")));
}

TEST_F(ConversionManagerTest, ProgressModelCancelClosesAtTheNextPoll) {
    CConversionManager manager;
    k72::ConversionProgressModel model;
    model.Start();
    manager.AddJob(Source("long.avi").string(), Out("cancelled.avi"));
    ASSERT_TRUE(WaitForProgress(manager));
    model.Poll(&manager);
    EXPECT_EQ(model.StatusText(), "converting...");

    model.Cancel(&manager);
    EXPECT_EQ(manager.PendingJobs(), 0u);
    model.Poll(&manager);
    EXPECT_TRUE(model.Closed());
    EXPECT_EQ(model.End(), k72::ConversionEnd::NotCompleted);
    EXPECT_TRUE(model.Cancelled());
    // Either the generic failure or, when the transcoder already reported its stop, its own code.
    EXPECT_TRUE(k72::Failed(model.FinalResult()));
}

TEST(ConversionProgressModelWithoutManager, NothingChangesUntilEscape) {
    k72::ConversionProgressModel model;
    model.Start();
    for (int i = 0; i < 5; ++i) {
        model.Poll(nullptr);
    }
    model.Cancel(nullptr);
    EXPECT_FALSE(model.Closed());
    EXPECT_FALSE(model.Cancelled());
    EXPECT_EQ(model.StatusText(), "startup...");
    EXPECT_EQ(model.BarPosition(), 0);
    model.Close();
    EXPECT_EQ(model.End(), k72::ConversionEnd::NotCompleted);
    EXPECT_EQ(model.FinalResult(), rc::Fail);
}

TEST_F(ConversionManagerTest, StillPictureOnTheCallersThread) {
    CConversionManager manager;
    const auto quality = manager.StillQuality();
    EXPECT_EQ(manager.SetStillQuality(1.5f), 0);
    EXPECT_EQ(manager.StillQuality(), quality);
    EXPECT_EQ(manager.SetStillQuality(-0.1f), 0);
    EXPECT_EQ(manager.StillQuality(), quality);
    EXPECT_EQ(manager.SetStillQuality(0.0f), 0);
    EXPECT_EQ(manager.StillQuality(), 0.0f);
    EXPECT_EQ(manager.SetStillQuality(1.0f), 0);
    EXPECT_EQ(manager.StillQuality(), 1.0f);

    ASSERT_EQ(manager.ConvertStillImage(Source("picture.png").string(), Out("K72_0001.JPG")), 0);
    const auto probe = k72test::RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                                           "stream=codec_name,width,height -of csv=p=0 " +
                                           k72test::Quote(Out("K72_0001.JPG")));
    EXPECT_EQ(probe.output.substr(0, 15), "mjpeg,640,480\n") << probe.output;
    // The worker took no part in it.
    EXPECT_EQ(manager.PendingJobs(), 0u);
    EXPECT_EQ(manager.Converter().GetState(), CVideoConverter::Idle);

    EXPECT_EQ(manager.ConvertStillImage(Out("missing.png"), Out("K72_0002.JPG")), rc::JpegDecodeFailed);
    EXPECT_FALSE(fs::exists(Out("K72_0002.JPG")));
}

TEST_F(ConversionManagerTest, ProbesThroughTheManager) {
    CConversionManager manager;
    std::uint32_t frames = 1234;
    EXPECT_EQ(manager.GetTotalFrames(Out("missing.avi"), frames), rc::Fail);
    EXPECT_EQ(frames, 1234u);
    EXPECT_EQ(manager.ProbeAvi(Out("missing.avi")), rc::AviOpenFailed);
    // A source that is an AVI, though not one of ours, has a main header to read.
    EXPECT_EQ(manager.GetTotalFrames(Source("one.avi").string(), frames), 0);
    EXPECT_EQ(frames, 25u);
    EXPECT_EQ(manager.ProbedFrames(), 25u);

    EXPECT_EQ(CConversionManager::CheckPcmFile(Source("picture.png").string()), rc::PcmBadRiff);
    EXPECT_EQ(CConversionManager::CheckPcmFile(Out("missing.wav")), rc::PcmOpenFailed);
}

// A cancel right after AddJob may land while the worker has taken the job but its conversion has not
// started yet; it must still stop that job. The transcoder here would run for seconds unless stopped.
TEST(ConversionManagerCancel, ACancelRightAfterAddJobAlwaysStopsTheJob) {
    k72test::TempDir out;
    std::atomic<int> ranToTheEnd{0};
    for (int round = 0; round < 100; ++round) {
        CConversionManager manager;
        manager.Converter().SetWorkFolder(out.Path());
        manager.Converter().SetTranscoder([&](k72::ConverterCallback callback, void* context, int, char**) {
            const auto end = Clock::now() + 3s;
            while (Clock::now() < end) {
                if (callback(context, k72::ReportPosition, 1) == -1) {
                    callback(context, k72::ReportResult, rc::Error);
                    return static_cast<int>(rc::Error);
                }
                std::this_thread::sleep_for(1ms);
            }
            ranToTheEnd.fetch_add(1);
            callback(context, k72::ReportResult, rc::Error);
            return static_cast<int>(rc::Error);
        });
        manager.AddJob("in.mov", (out.Path() / "out.avi").string());
        manager.CancelAll();
        ASSERT_TRUE(WaitUntil([&] { return manager.Converter().GetState() == CVideoConverter::Idle; }, 10s));
    }
    EXPECT_EQ(ranToTheEnd.load(), 0);
}
