#pragma once
// Conversions in the background: movies, picture sets and sounds are queued and converted while the
// user goes on working. As many movies run at once as the machine carries: one per core, and no more
// than a memory budget allows (a movie job is reckoned by the memory its decoding and encoding take).
// Picture sets go one at a time through the picture pool, which uses every core itself; sounds share
// that lane. Each job can be cancelled, a failed or cancelled one retried, and its progress and time
// left read at any time from any thread.
//
// When a job ends, the completion is called with its status on the worker thread that ran it (or, for
// a job cancelled before it started, on the thread that cancelled it), without any lock of the queue
// held (it may add, retry or release jobs, but must not wait for the queue). The faces pass it on to
// the thread that owns the card, which commits the pad; WaitUntilIdle returns only once every
// completion has returned. The outputs stay in the queue's private folder until Release, so that the
// caller can copy them to the card in its own time. The queue never touches the card.

#include "codecs/CVideoConverter.h"
#include "engine/ConversionJob.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace k72 {

class ConversionQueue {
public:
    // A 1080p movie job takes about this much (decoded pictures in flight, the scaler, the encoder's
    // threads); 4K sources take more and say so in their request.
    static constexpr std::uint64_t kMovieJobMemory = 200ull << 20;
    // What the movie jobs together may take: two 1080p jobs, so that a whole fill stays within 400 MB.
    static constexpr std::uint64_t kMovieMemoryBudget = 400ull << 20;

    struct Limits {
        unsigned cores = 0; // 0: as many as the machine has
        std::uint64_t memoryBudget = kMovieMemoryBudget;
        std::uint64_t movieJobMemory = kMovieJobMemory;
        unsigned pictureWorkers = 0; // the picture pool's threads; 0: one per core
    };

    using Completion = std::function<void(const ConversionJobStatus&)>;
    // Called with each movie job's converter before it starts (tests put their own transcoder in).
    using MovieConverterHook = std::function<void(CVideoConverter&)>;

    struct Options {
        std::filesystem::path parentFolder; // where the private folder is made; empty: the temporary folder
        Limits limits;
        Completion completion;
        MovieConverterHook movieHook;
    };

    explicit ConversionQueue(Options options);
    // Stops what runs (no completion is called for it), waits for the workers and removes the private
    // folder with every output still in it.
    virtual ~ConversionQueue();
    ConversionQueue(const ConversionQueue&) = delete;
    ConversionQueue& operator=(const ConversionQueue&) = delete;

    // False when the private folder could not be made; every job then fails with rc::TempFileFailed.
    bool Ready() const { return !folder_.empty(); }
    const std::filesystem::path& Folder() const { return folder_; }
    // How many movie jobs may run at once.
    unsigned MovieSlots() const { return movieSlots_; }
    static unsigned MovieSlotsFor(const Limits& limits);

    [[nodiscard]] ConversionJobId Add(ConversionJobRequest request);
    // A queued job ends at once; a running one stops soon after. False when the job is not queued or
    // running.
    bool Cancel(ConversionJobId id);
    void CancelAll();
    // Queues a failed or cancelled job again; false for any other.
    bool Retry(ConversionJobId id);
    // Forgets a finished job and deletes its outputs; false for a job that is not finished.
    bool Release(ConversionJobId id);

    std::vector<ConversionJobStatus> Jobs() const; // in the order they were added
    std::optional<ConversionJobStatus> Job(ConversionJobId id) const;
    // Waits until no job is queued or running and every completion has returned; false when the time
    // ran out first.
    bool WaitUntilIdle(std::chrono::milliseconds timeout = std::chrono::hours(24));

private:
    struct Entry;
    struct Outcome;
    enum class Lane { Movies, Others };

    void Work(Lane lane);
    std::shared_ptr<Entry> NextFor(Lane lane);
    // Start and Finish run under the lock, Run and the three kinds without it.
    void Start(Entry& entry, std::unique_ptr<CVideoConverter>& converter);
    void Finish(Entry& entry, Outcome outcome);
    Outcome Run(Entry& entry, CVideoConverter* converter);
    void RunMovie(Entry& entry, CVideoConverter& converter, Outcome& outcome);
    void RunPictures(Entry& entry, Outcome& outcome);
    void RunSound(Entry& entry, Outcome& outcome);
    // Under the lock: a queued job ends (its status added to ended), a running one is told to stop.
    bool CancelLocked(Entry& entry, std::vector<ConversionJobStatus>& ended);
    // Without the lock: the completion of each job a cancel ended.
    void Tell(const std::vector<ConversionJobStatus>& ended);
    ConversionJobStatus Snapshot(const Entry& entry) const;
    bool Busy() const;

    const Limits limits_;
    const unsigned movieSlots_;
    const Completion completion_;
    const MovieConverterHook movieHook_;
    std::filesystem::path folder_;

    mutable std::mutex lock_;           // guards everything below but the threads
    std::condition_variable workReady_; // a job was queued, or memory freed, or the queue stops
    std::condition_variable jobEnded_;  // for WaitUntilIdle
    std::map<ConversionJobId, std::shared_ptr<Entry>> jobs_;
    ConversionJobId nextId_ = 1;
    std::size_t telling_ = 0; // completions being called
    unsigned runningMovies_ = 0;
    std::uint64_t runningMemory_ = 0;
    bool stopping_ = false;

    std::vector<std::thread> workers_; // started last
};

} // namespace k72
