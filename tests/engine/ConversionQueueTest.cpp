// The background queue: movies, pictures and sounds converted on its workers, no more movies at once
// than its slots and memory allow, cancel of queued and running jobs, failures with their cause,
// retry, and shutdown while converting. Run these under ThreadSanitizer too (K72_TSAN=ON).

#include "engine/ConversionQueue.h"

#include "codecs/ff_convertermain.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace k72 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds timeout = 120s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A transcoder that reports half its work and then waits, until it is let go (it then fails, so that
// nothing is re-interleaved) or asked to stop. It counts how many run at once.
class Gate {
public:
    ConversionQueue::MovieConverterHook Hook() {
        return [this](CVideoConverter& converter) {
            converter.SetTranscoder([this](ConverterCallback callback, void* context, int, char**) {
                Enter();
                callback(context, ReportTotal, 100);
                bool stopped = false;
                while (!stopped && !Released()) {
                    stopped = callback(context, ReportPosition, 50) == -1;
                    std::this_thread::sleep_for(1ms);
                }
                Leave();
                callback(context, ReportResult, rc::Error);
                return rc::Error;
            });
        };
    }
    void Release() {
        std::lock_guard<std::mutex> guard(lock_);
        released_ = true;
    }
    int Running() {
        std::lock_guard<std::mutex> guard(lock_);
        return running_;
    }
    int Most() {
        std::lock_guard<std::mutex> guard(lock_);
        return most_;
    }

private:
    void Enter() {
        std::lock_guard<std::mutex> guard(lock_);
        most_ = std::max(most_, ++running_);
    }
    void Leave() {
        std::lock_guard<std::mutex> guard(lock_);
        --running_;
    }
    bool Released() {
        std::lock_guard<std::mutex> guard(lock_);
        return released_;
    }

    std::mutex lock_;
    int running_ = 0;
    int most_ = 0;
    bool released_ = false;
};

// Completions as they arrive, with the thread each came on.
class Told {
public:
    ConversionQueue::Completion Callback() {
        return [this](const ConversionJobStatus& status) {
            std::lock_guard<std::mutex> guard(lock_);
            statuses_.push_back(status);
            threads_.push_back(std::this_thread::get_id());
        };
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> guard(lock_);
        return statuses_.size();
    }
    std::vector<std::thread::id> Threads() {
        std::lock_guard<std::mutex> guard(lock_);
        return threads_;
    }

private:
    std::mutex lock_;
    std::vector<ConversionJobStatus> statuses_;
    std::vector<std::thread::id> threads_;
};

ConversionJobRequest Movie(const fs::path& source, std::uint64_t memory = 0) {
    ConversionJobRequest request;
    request.kind = ConversionJobKind::Movie;
    request.sources = {source};
    request.memory = memory;
    return request;
}

TEST(ConversionQueue, NoMoreMoviesRunAtOnceThanTheSlotsAndTheMemoryAllow) {
    struct Case {
        unsigned cores;
        std::vector<std::uint64_t> memories; // of the jobs, in units of the per-job reckoning
        int most;
    };
    const Case cases[] = {
        {2, {1, 1, 1, 1}, 2}, {3, {1, 1, 1}, 2}, {1, {1, 1}, 1}, {2, {3, 1}, 1}, {2, {1, 2, 1}, 1}};
    for (const Case& c : cases) {
        Gate gate;
        ConversionQueue::Options options;
        options.limits.cores = c.cores;
        options.limits.movieJobMemory = 100;
        options.limits.memoryBudget = 200;
        options.movieHook = gate.Hook();
        ConversionQueue queue(std::move(options));
        for (std::uint64_t memory : c.memories) {
            (void)queue.Add(Movie("/none.mp4", memory * 100));
        }
        ASSERT_TRUE(WaitFor([&] { return gate.Running() == c.most; }));
        std::this_thread::sleep_for(100ms); // time for a job that should wait to start wrongly
        EXPECT_EQ(gate.Running(), c.most) << c.cores << " cores, " << c.memories.size() << " jobs";
        gate.Release();
        ASSERT_TRUE(queue.WaitUntilIdle(60s));
        EXPECT_EQ(gate.Most(), c.most);
        for (const ConversionJobStatus& job : queue.Jobs()) {
            EXPECT_EQ(job.state, ConversionJobState::Failed);
            EXPECT_EQ(job.result, rc::Error);
        }
    }
}

TEST(ConversionQueue, QueuedAndRunningJobsAreCancelledAndRetriedWithProgressAndTimeLeft) {
    Gate gate;
    Told told;
    ConversionQueue::Options options;
    options.limits.cores = 1;
    options.movieHook = gate.Hook();
    options.completion = told.Callback();
    ConversionQueue queue(std::move(options));
    const ConversionJobId first = queue.Add(Movie("/a.mp4"));
    const ConversionJobId second = queue.Add(Movie("/b.mp4"));
    const ConversionJobId third = queue.Add(Movie("/c.mp4"));
    ASSERT_TRUE(WaitFor([&] { return queue.Job(first)->progress > 0; }));
    EXPECT_DOUBLE_EQ(queue.Job(first)->progress, 0.95 * 0.5) << "half the transcode, the longer phase";
    EXPECT_EQ(queue.Job(second)->state, ConversionJobState::Queued);
    EXPECT_FALSE(queue.Job(second)->secondsLeft.has_value());
    ASSERT_TRUE(WaitFor([&] { return queue.Job(first)->secondsLeft.has_value(); }, 5s));
    EXPECT_GT(*queue.Job(first)->secondsLeft, 0.5);

    EXPECT_TRUE(queue.Cancel(second));
    EXPECT_EQ(queue.Job(second)->state, ConversionJobState::Cancelled) << "a queued job ends at once";
    EXPECT_EQ(told.Count(), 1u);
    EXPECT_TRUE(queue.Cancel(first));
    ASSERT_TRUE(WaitFor([&] { return queue.Job(first)->state == ConversionJobState::Cancelled; }));
    ASSERT_TRUE(WaitFor([&] { return queue.Job(third)->state == ConversionJobState::Running; }));
    EXPECT_FALSE(queue.Cancel(first)) << "an ended job has nothing to cancel";
    EXPECT_FALSE(queue.Retry(third)) << "a running job is not retried";

    EXPECT_TRUE(queue.Retry(second));
    EXPECT_EQ(queue.Job(second)->attempt, 2u);
    queue.CancelAll();
    EXPECT_TRUE(queue.WaitUntilIdle(60s));
    for (const ConversionJobStatus& job : queue.Jobs()) {
        EXPECT_EQ(job.state, ConversionJobState::Cancelled) << job.id;
    }
    EXPECT_EQ(told.Count(), 4u) << "once per ended attempt";
    EXPECT_EQ(gate.Most(), 1);
    EXPECT_TRUE(queue.Release(first));
    EXPECT_EQ(queue.Jobs().size(), 2u);
}

TEST(ConversionQueue, DestroyedWhileConvertingItStopsWithoutCallingBackAndClearsItsFolder) {
    Gate gate;
    Told told;
    fs::path folder;
    {
        ConversionQueue::Options options;
        options.movieHook = gate.Hook();
        options.completion = told.Callback();
        ConversionQueue queue(std::move(options));
        folder = queue.Folder();
        ASSERT_TRUE(fs::is_directory(folder));
        for (int i = 0; i < 4; ++i) {
            (void)queue.Add(Movie("/x.mp4"));
        }
        ASSERT_TRUE(WaitFor([&] { return gate.Running() > 0; }));
    }
    EXPECT_EQ(told.Count(), 0u);
    EXPECT_FALSE(fs::exists(folder));
}

// Real conversions of small media made with ffmpeg.
class ConversionQueueMediaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        media_ = new k72test::TempDir();
        ok_ = k72test::HaveProgram("ffmpeg") &&
              k72test::MakeMedia(In("a.avi"),
                                 "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 -f lavfi -i "
                                 "sine=frequency=440:sample_rate=22050:duration=1 -c:v mpeg4 "
                                 "-c:a pcm_s16le -shortest") &&
              k72test::MakeMedia(In("p1.png"), "-f lavfi -i testsrc2=size=320x200:duration=1 -frames:v 1") &&
              k72test::MakeMedia(In("p2.jpg"), "-f lavfi -i testsrc2=size=200x320:duration=1 -frames:v 1") &&
              k72test::MakeMedia(In("mono.mp3"),
                                 "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1") &&
              k72test::MakeMedia(In("device.wav"),
                                 "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 "
                                 "-ac 2 -c:a pcm_s16le");
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }
    static fs::path In(const std::string& name) { return media_->Path() / name; }
    void SetUp() override {
        if (!ok_) {
            GTEST_SKIP() << "ffmpeg is missing or could not make the test media";
        }
    }

    static inline k72test::TempDir* media_ = nullptr;
    static inline bool ok_ = false;
};

TEST_F(ConversionQueueMediaTest, MoviesPicturesAndSoundsAreConvertedInTheBackground) {
    Told told;
    ConversionQueue::Options options;
    options.completion = told.Callback();
    ConversionQueue queue(std::move(options));
    ConversionJobRequest pictures;
    pictures.kind = ConversionJobKind::Pictures;
    pictures.sources = {In("p1.png"), In("p2.jpg")};
    pictures.tag = 7;
    ConversionJobRequest mono;
    mono.kind = ConversionJobKind::Sound;
    mono.sources = {In("mono.mp3")};
    ConversionJobRequest device = mono;
    device.sources = {In("device.wav")};
    const ConversionJobId movie = queue.Add(Movie(In("a.avi")));
    const ConversionJobId again = queue.Add(Movie(In("a.avi")));
    const ConversionJobId set = queue.Add(pictures);
    const ConversionJobId sound = queue.Add(mono);
    const ConversionJobId asIs = queue.Add(device);
    ASSERT_TRUE(queue.WaitUntilIdle(120s));

    for (const ConversionJobId id : {movie, again}) {
        const ConversionJobStatus status = *queue.Job(id);
        ASSERT_EQ(status.state, ConversionJobState::Done) << status.cause;
        ASSERT_EQ(status.outputs.size(), 1u);
        EXPECT_TRUE(fs::is_regular_file(status.outputs[0]));
        EXPECT_EQ(status.outputs[0].parent_path().parent_path(), queue.Folder());
        EXPECT_NEAR(status.frames.value_or(0), 30, 1);
        EXPECT_EQ(status.progress, 1);
    }
    EXPECT_NE(queue.Job(movie)->outputs, queue.Job(again)->outputs);
    // What the converters make is their own tests' business; here each job's outputs are where they go.
    const ConversionJobStatus stills = *queue.Job(set);
    ASSERT_EQ(stills.state, ConversionJobState::Done) << stills.cause;
    EXPECT_EQ(stills.tag, 7u);
    EXPECT_EQ(stills.outputs.size(), 2u);
    EXPECT_EQ(queue.Job(sound)->state, ConversionJobState::Done) << queue.Job(sound)->cause;
    EXPECT_FALSE(queue.Job(sound)->outputIsSource);
    EXPECT_TRUE(queue.Job(asIs)->outputIsSource);
    EXPECT_EQ(queue.Job(asIs)->outputs, std::vector<fs::path>{In("device.wav")});
    EXPECT_EQ(told.Count(), 5u);
    for (const std::thread::id thread : told.Threads()) {
        EXPECT_NE(thread, std::this_thread::get_id()) << "completions come on the workers";
    }
    const fs::path folder = queue.Job(movie)->outputs[0].parent_path();
    EXPECT_TRUE(queue.Release(movie));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(queue.Release(asIs));
    EXPECT_TRUE(fs::exists(In("device.wav"))) << "a source is never deleted";
}

TEST_F(ConversionQueueMediaTest, AFailedJobSaysWhichSourceAndWhyAndARetryAfterTheFixConverts) {
    k72test::TempDir work;
    fs::copy_file(In("p1.png"), work / "good.png");
    k72test::WriteFileBytes(work / "broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F'});
    ConversionQueue queue(ConversionQueue::Options{});
    ConversionJobRequest pictures;
    pictures.kind = ConversionJobKind::Pictures;
    pictures.sources = {work / "good.png", work / "broken.jpg", work / "good.png"};
    const ConversionJobId set = queue.Add(pictures);
    const ConversionJobId missing = queue.Add(Movie(work / "missing.mp4"));
    ASSERT_TRUE(queue.WaitUntilIdle(120s));

    const ConversionJobStatus failed = *queue.Job(set);
    ASSERT_EQ(failed.state, ConversionJobState::Failed);
    EXPECT_EQ(failed.failedSource, 1u);
    EXPECT_TRUE(Failed(failed.result));
    EXPECT_NE(failed.cause.find("broken.jpg"), std::string::npos) << failed.cause;
    EXPECT_TRUE(failed.outputs.empty());
    EXPECT_EQ(queue.Job(missing)->state, ConversionJobState::Failed);
    EXPECT_EQ(queue.Job(missing)->result, rc::CannotOpenInput);

    fs::copy_file(In("p2.jpg"), work / "broken.jpg", fs::copy_options::overwrite_existing);
    ASSERT_TRUE(queue.Retry(set));
    ASSERT_TRUE(queue.WaitUntilIdle(120s));
    const ConversionJobStatus retried = *queue.Job(set);
    EXPECT_EQ(retried.state, ConversionJobState::Done) << retried.cause;
    EXPECT_EQ(retried.attempt, 2u);
    EXPECT_EQ(retried.outputs.size(), 3u);
    EXPECT_TRUE(retried.cause.empty());
}

} // namespace
} // namespace k72
