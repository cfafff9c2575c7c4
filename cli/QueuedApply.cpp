#include "cli/QueuedApply.h"

#include "cli/CancelSignal.h"
#include "cli/ProgressBar.h"
#include "store/TemporaryWorkspace.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

namespace k72::cli {
namespace {

// Finished jobs handed from the queue's workers to the thread that owns the card.
class JobInbox {
public:
    void Put(const ConversionJobStatus& status) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            ended_.push_back(status);
        }
        arrived_.notify_one();
    }

    std::deque<ConversionJobStatus> Take(std::chrono::milliseconds wait) {
        std::unique_lock<std::mutex> hold(lock_);
        arrived_.wait_for(hold, wait, [this] { return !ended_.empty(); });
        std::deque<ConversionJobStatus> taken;
        taken.swap(ended_);
        return taken;
    }

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<ConversionJobStatus> ended_;
};

int PercentOf(const ConversionQueue& queue) {
    const auto jobs = queue.Jobs();
    if (jobs.empty()) {
        return 100;
    }
    double sum = 0;
    for (const ConversionJobStatus& job : jobs) {
        sum += job.Finished() ? 1.0 : job.progress;
    }
    return static_cast<int>(sum * 100 / static_cast<double>(jobs.size()));
}

} // namespace

QueuedApply::QueuedApply(const std::filesystem::path& temporaryParent, unsigned jobs)
    : parent_(temporaryParent), jobs_(jobs) {}

void QueuedApply::Run(ApplyRun& run) {
    JobInbox inbox; // outlives the queue, whose workers put into it
    // The queue's folder inside a workspace that carries this process's id, so that the next run removes
    // it when this one is killed.
    const TemporaryWorkspace workspace(parent_);
    ConversionQueue::Options options;
    options.parentFolder = workspace.Ok() ? workspace.Path() : parent_;
    options.completion = [&inbox](const ConversionJobStatus& status) { inbox.Put(status); };
    if (jobs_ > 0) {
        // Asked for explicitly: that many movies at once, whatever the memory reckoning says.
        options.limits.cores = jobs_;
        options.limits.memoryBudget = jobs_ * options.limits.movieJobMemory;
    }
    ConversionQueue queue(options);
    ProgressBar bar;
    run.Start(queue);
    bool cancelled = false;
    while (!run.Finished()) {
        for (const ConversionJobStatus& status : inbox.Take(std::chrono::milliseconds(200))) {
            run.JobEnded(status);
        }
        if (!cancelled && CancelSignal::Raised()) {
            cancelled = true;
            queue.CancelAll();
        }
        bar.Show("converting " + std::to_string(run.Outcomes().size()) + " of " +
                     std::to_string(run.Schedule().changes.size()) + " pads...",
                 PercentOf(queue));
    }
    bar.Clear();
}

} // namespace k72::cli
