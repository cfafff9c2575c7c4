#include "engine/StillBatch.h"

#include "engine/StillImageConverter.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <sched.h>
#include <thread>

namespace k72 {
namespace {

// The cores this process may run on (fewer than the machine has under taskset or a container's limit).
unsigned UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return static_cast<unsigned>(CPU_COUNT(&set));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

// What the workers and the waiting caller share, under lock.
struct BatchState {
    explicit BatchState(std::size_t total, unsigned workers)
        : running(workers), results(total, ConversionProblem{rc::Fail, ""}), finished(total, false) {}

    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0; // the next picture a worker takes
    std::size_t done = 0; // pictures finished, failed ones included
    std::size_t running;
    bool stop = false;
    std::vector<ConversionProblem> results;
    std::vector<bool> finished;
};

// A converter of its own for each picture: nothing of one picture (the encoder's state above all) can
// reach the next.
ConversionProblem ConvertOne(const StillBatchItem& item, const StillBatchSettings& settings) {
    StillImageConverter converter;
    const ResultCode constructed = converter.ConstructResult();
    if (Failed(constructed)) {
        return ConversionProblem{constructed, ""};
    }
    converter.SetQuality(settings.quality);
    converter.SetFit(settings.fit);
    return converter.Convert(item.sourcePath, item.destinationPath);
}

// One worker: takes the next picture until there is none or the batch stops (a failure, a cancel).
void Work(BatchState& state, const std::vector<StillBatchItem>& items, const StillBatchSettings& settings) {
    for (;;) {
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> guard(state.lock);
            if (state.stop || state.next >= items.size()) {
                --state.running;
                state.changed.notify_all();
                return;
            }
            index = state.next++;
        }
        ConversionProblem result = ConvertOne(items[index], settings);
        std::lock_guard<std::mutex> guard(state.lock);
        state.stop = state.stop || result.Failed();
        state.results[index] = std::move(result);
        state.finished[index] = true;
        ++state.done;
        state.changed.notify_all();
    }
}

// Reports progress until every worker has ended; whether the caller cancelled the batch.
bool WaitForWorkers(BatchState& state, std::size_t total, const StillBatchProgress& progress) {
    bool cancelled = false;
    std::unique_lock<std::mutex> guard(state.lock);
    for (;;) {
        const bool over = state.running == 0;
        const std::size_t seen = state.done;
        if (progress) {
            guard.unlock();
            const bool goOn = progress(seen, total);
            guard.lock();
            if (!goOn && !over) {
                cancelled = cancelled || !state.stop;
                state.stop = true;
            }
        }
        if (over) {
            return cancelled;
        }
        state.changed.wait_for(guard, std::chrono::milliseconds(100),
                               [&] { return state.running == 0 || state.done != seen; });
    }
}

} // namespace

StillBatchOutcome ConvertStillBatch(const std::vector<StillBatchItem>& items,
                                    const StillBatchSettings& settings, const StillBatchProgress& progress) {
    StillBatchOutcome outcome;
    const std::size_t total = items.size();
    unsigned workers = settings.workers != 0 ? settings.workers : UsableCores();
    workers = static_cast<unsigned>(std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(total, 1)));

    BatchState state(total, workers);
    std::vector<std::thread> pool;
    pool.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) {
        pool.emplace_back(Work, std::ref(state), std::cref(items), std::cref(settings));
    }
    const bool cancelled = WaitForWorkers(state, total, progress);
    for (std::thread& thread : pool) {
        thread.join();
    }

    // The first failure in the batch's order is the one told, so that the message does not depend on
    // which worker was quicker.
    for (std::size_t i = 0; i < total; ++i) {
        if (state.finished[i] && state.results[i].Failed()) {
            outcome.result = state.results[i].code;
            outcome.cause = state.results[i].cause;
            outcome.failedIndex = i;
            return outcome;
        }
    }
    outcome.converted =
        static_cast<std::size_t>(std::count(state.finished.begin(), state.finished.end(), true));
    if (cancelled || outcome.converted < total) {
        outcome.cancelled = true;
        outcome.result = rc::Fail;
    }
    return outcome;
}

} // namespace k72
