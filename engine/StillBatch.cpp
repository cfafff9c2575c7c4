#include "engine/StillBatch.h"

#include "engine/StillImageConverter.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
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

} // namespace

StillBatchOutcome ConvertStillBatch(const std::vector<StillBatchItem>& items,
                                    const StillBatchSettings& settings, const StillBatchProgress& progress) {
    StillBatchOutcome outcome;
    const std::size_t total = items.size();
    unsigned workers = settings.workers != 0 ? settings.workers : UsableCores();
    workers = static_cast<unsigned>(std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(total, 1)));

    std::mutex lock;
    std::condition_variable changed;
    std::size_t next = 0; // the next picture a worker takes
    std::size_t done = 0; // pictures finished, failed ones included
    std::size_t running = workers;
    bool stop = false;
    std::vector<ConversionProblem> results(total, ConversionProblem{rc::Fail, ""});
    std::vector<bool> finished(total, false);

    const auto work = [&] {
        for (;;) {
            std::size_t index = 0;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (stop || next >= total) {
                    --running;
                    changed.notify_all();
                    return;
                }
                index = next++;
            }
            // A converter of its own: nothing of one picture (the encoder's state above all) can reach
            // the next.
            ConversionProblem result{rc::JpegEncoderInitFailed, ""};
            {
                StillImageConverter converter;
                result.code = converter.ConstructResult();
                if (!Failed(result.code)) {
                    converter.SetQuality(settings.quality);
                    converter.SetFit(settings.fit);
                    result = converter.Convert(items[index].sourcePath, items[index].destinationPath);
                }
            }
            std::lock_guard<std::mutex> guard(lock);
            results[index] = result;
            finished[index] = true;
            ++done;
            if (result.Failed()) {
                stop = true;
            }
            changed.notify_all();
        }
    };

    std::vector<std::thread> pool;
    pool.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) {
        pool.emplace_back(work);
    }
    bool cancelled = false;
    {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            const bool over = running == 0;
            const std::size_t seen = done;
            if (progress) {
                guard.unlock();
                const bool goOn = progress(seen, total);
                guard.lock();
                if (!goOn && !over) {
                    cancelled = cancelled || !stop;
                    stop = true;
                }
            }
            if (over) {
                break;
            }
            changed.wait_for(guard, std::chrono::milliseconds(100),
                             [&] { return running == 0 || done != seen; });
        }
    }
    for (std::thread& thread : pool) {
        thread.join();
    }

    // The first failure in the batch's order is the one told, so that the message does not depend on
    // which worker was quicker.
    for (std::size_t i = 0; i < total; ++i) {
        if (finished[i] && results[i].Failed()) {
            outcome.result = results[i].code;
            outcome.cause = results[i].cause;
            outcome.failedIndex = i;
            return outcome;
        }
    }
    outcome.converted = static_cast<std::size_t>(std::count(finished.begin(), finished.end(), true));
    if (cancelled || outcome.converted < total) {
        outcome.cancelled = true;
        outcome.result = rc::Fail;
    }
    return outcome;
}

} // namespace k72
