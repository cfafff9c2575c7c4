#include "engine/ConversionQueue.h"

#include "base/DiagnosticLog.h"
#include "codecs/SoundConverter.h"
#include "engine/CAviProbe.h"
#include "engine/PcmFileCheck.h"
#include "engine/ResultCodeText.h"
#include "engine/StillBatch.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "conversion queue";

// Of a movie job's time the transcode takes nearly all; the re-interleave after it is a fast copy.
constexpr double kTranscodeShare = 0.95;
// The time left is told once this share of the job is done and this many seconds have passed; before
// that the pace says little.
constexpr double kLeastProgressForEstimate = 0.02;
constexpr double kLeastSecondsForEstimate = 1.0;

std::filesystem::path MakePrivateFolder(const std::filesystem::path& parent) {
    std::error_code ec;
    const std::filesystem::path base = parent.empty() ? std::filesystem::temp_directory_path(ec) : parent;
    std::string pattern = (base / "k72-queue-XXXXXX").string();
    if (ec || ::mkdtemp(pattern.data()) == nullptr) {
        LogLine(LogLevel::Error, kLogModule, "cannot make a work folder in " + base.string());
        return {};
    }
    return pattern;
}

std::string CauseOf(ResultCode code, const std::filesystem::path& source) {
    std::string line = ResultCodeText(code);
    while (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    return line + " (" + source.filename().string() + ")";
}

} // namespace

struct ConversionQueue::Entry {
    ConversionJobStatus status;
    ConversionJobRequest request;
    std::uint64_t memory = 0; // a movie's reckoning
    std::chrono::steady_clock::time_point started;
    std::filesystem::path folder;         // this attempt's outputs
    CVideoConverter* converter = nullptr; // a movie's, while it runs
    mutable double shownProgress = 0;     // progress never goes back while a job runs
    std::atomic<bool> cancel{false};
    std::atomic<std::uint32_t> done{0}; // pictures converted, or a sound's thousandths
    std::atomic<std::uint32_t> total{0};
};

// What a job's run gives, merged into its status under the lock.
struct ConversionQueue::Outcome {
    ResultCode result = 0;
    std::string cause;
    std::size_t failedSource = 0;
    std::vector<std::filesystem::path> outputs;
    bool outputIsSource = false;
    std::optional<std::uint32_t> frames;
};

ConversionQueue::ConversionQueue(Options options)
    : limits_(options.limits), movieSlots_(MovieSlotsFor(options.limits)),
      completion_(std::move(options.completion)), movieHook_(std::move(options.movieHook)),
      folder_(MakePrivateFolder(options.parentFolder)) {
    for (unsigned i = 0; i < movieSlots_; ++i) {
        workers_.emplace_back(&ConversionQueue::Work, this, Lane::Movies);
    }
    workers_.emplace_back(&ConversionQueue::Work, this, Lane::Others);
}

ConversionQueue::~ConversionQueue() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        for (auto& [id, entry] : jobs_) {
            if (entry->status.state == ConversionJobState::Queued) {
                entry->status.state = ConversionJobState::Cancelled;
            } else if (entry->status.state == ConversionJobState::Running) {
                entry->cancel = true;
                if (entry->converter != nullptr) {
                    entry->converter->RequestAbort();
                }
            }
        }
    }
    workReady_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

unsigned ConversionQueue::MovieSlotsFor(const Limits& limits) {
    const unsigned cores =
        limits.cores != 0 ? limits.cores : std::max(1u, std::thread::hardware_concurrency());
    const std::uint64_t byMemory =
        limits.movieJobMemory == 0 ? cores
                                   : std::max<std::uint64_t>(1, limits.memoryBudget / limits.movieJobMemory);
    return static_cast<unsigned>(std::min<std::uint64_t>(cores, byMemory));
}

ConversionJobId ConversionQueue::Add(ConversionJobRequest request) {
    auto entry = std::make_shared<Entry>();
    ConversionJobId id = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        id = nextId_++;
        entry->status.id = id;
        entry->status.kind = request.kind;
        entry->status.tag = request.tag;
        entry->status.sources = request.sources;
        if (request.kind == ConversionJobKind::Movie) {
            entry->memory = request.memory != 0 ? request.memory : limits_.movieJobMemory;
        }
        entry->request = std::move(request);
        jobs_[entry->status.id] = entry;
    }
    workReady_.notify_all();
    return id;
}

bool ConversionQueue::Cancel(ConversionJobId id) {
    std::vector<ConversionJobStatus> ended;
    bool found = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto entry = jobs_.find(id);
        found = entry != jobs_.end() && CancelLocked(*entry->second, ended);
        telling_ += completion_ ? ended.size() : 0;
    }
    Tell(ended);
    return found;
}

void ConversionQueue::CancelAll() {
    std::vector<ConversionJobStatus> ended;
    {
        // All at once, so that no queued job starts in a place that a stopping one leaves.
        std::lock_guard<std::mutex> guard(lock_);
        for (const auto& [id, entry] : jobs_) {
            CancelLocked(*entry, ended);
        }
        telling_ += completion_ ? ended.size() : 0;
    }
    Tell(ended);
}

bool ConversionQueue::CancelLocked(Entry& entry, std::vector<ConversionJobStatus>& ended) {
    if (entry.status.state == ConversionJobState::Running) {
        entry.cancel = true;
        if (entry.converter != nullptr) {
            entry.converter->RequestAbort();
        }
        return true;
    }
    if (entry.status.state != ConversionJobState::Queued) {
        return false;
    }
    entry.status.state = ConversionJobState::Cancelled;
    entry.status.result = rc::Fail;
    ended.push_back(Snapshot(entry));
    return true;
}

void ConversionQueue::Tell(const std::vector<ConversionJobStatus>& ended) {
    if (ended.empty()) {
        return;
    }
    if (completion_) {
        for (const ConversionJobStatus& status : ended) {
            completion_(status);
        }
        std::lock_guard<std::mutex> guard(lock_);
        telling_ -= ended.size();
    }
    jobEnded_.notify_all();
}

bool ConversionQueue::Retry(ConversionJobId id) {
    std::filesystem::path old;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto found = jobs_.find(id);
        if (found == jobs_.end() || (found->second->status.state != ConversionJobState::Failed &&
                                     found->second->status.state != ConversionJobState::Cancelled)) {
            return false;
        }
        Entry& entry = *found->second;
        old = std::exchange(entry.folder, {});
        ConversionJobStatus fresh;
        fresh.id = entry.status.id;
        fresh.kind = entry.status.kind;
        fresh.tag = entry.status.tag;
        fresh.sources = entry.status.sources;
        fresh.attempt = entry.status.attempt + 1;
        entry.status = std::move(fresh);
        entry.shownProgress = 0;
        entry.cancel = false;
        entry.done = 0;
        entry.total = 0;
    }
    workReady_.notify_all();
    std::error_code ignored;
    if (!old.empty()) {
        std::filesystem::remove_all(old, ignored);
    }
    return true;
}

bool ConversionQueue::Release(ConversionJobId id) {
    std::filesystem::path folder;
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto found = jobs_.find(id);
        if (found == jobs_.end() || !found->second->status.Finished()) {
            return false;
        }
        folder = found->second->folder;
        jobs_.erase(found);
    }
    std::error_code ignored;
    if (!folder.empty()) {
        std::filesystem::remove_all(folder, ignored);
    }
    return true;
}

std::vector<ConversionJobStatus> ConversionQueue::Jobs() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<ConversionJobStatus> all;
    all.reserve(jobs_.size());
    for (const auto& [id, entry] : jobs_) {
        all.push_back(Snapshot(*entry));
    }
    return all;
}

std::optional<ConversionJobStatus> ConversionQueue::Job(ConversionJobId id) const {
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = jobs_.find(id);
    if (found == jobs_.end()) {
        return std::nullopt;
    }
    return Snapshot(*found->second);
}

bool ConversionQueue::WaitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    return jobEnded_.wait_for(guard, timeout, [&] { return !Busy(); });
}

bool ConversionQueue::Busy() const {
    // A job's completion is part of it: the terminal tool must not end while one still copies a pad.
    return telling_ != 0 || std::any_of(jobs_.begin(), jobs_.end(),
                                        [](const auto& item) { return !item.second->status.Finished(); });
}

std::shared_ptr<ConversionQueue::Entry> ConversionQueue::NextFor(Lane lane) {
    for (const auto& [id, entry] : jobs_) {
        if (entry->status.state != ConversionJobState::Queued) {
            continue;
        }
        const bool movie = entry->status.kind == ConversionJobKind::Movie;
        if (movie != (lane == Lane::Movies)) {
            continue;
        }
        // Movies start in the order they were added: one that does not fit the memory left waits
        // for the running ones rather than being passed by smaller ones. Alone it always runs.
        if (movie && (runningMovies_ >= movieSlots_ ||
                      (runningMemory_ != 0 && runningMemory_ + entry->memory > limits_.memoryBudget))) {
            return nullptr;
        }
        return entry;
    }
    return nullptr;
}

void ConversionQueue::Work(Lane lane) {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        std::shared_ptr<Entry> entry;
        workReady_.wait(guard, [&] { return stopping_ || (entry = NextFor(lane)) != nullptr; });
        if (stopping_) {
            return;
        }
        std::unique_ptr<CVideoConverter> converter;
        Start(*entry, converter);
        guard.unlock();
        Outcome outcome = Run(*entry, converter.get());
        guard.lock();
        Finish(*entry, std::move(outcome));
        const ConversionJobStatus status = Snapshot(*entry);
        const bool tell = !stopping_ && completion_;
        telling_ += tell ? 1 : 0;
        guard.unlock();
        workReady_.notify_all();
        jobEnded_.notify_all();
        converter.reset();
        if (tell) {
            completion_(status);
        }
        guard.lock();
        if (tell) {
            --telling_;
            jobEnded_.notify_all();
        }
    }
}

void ConversionQueue::Start(Entry& entry, std::unique_ptr<CVideoConverter>& converter) {
    entry.status.state = ConversionJobState::Running;
    entry.started = std::chrono::steady_clock::now();
    if (!folder_.empty()) {
        entry.folder =
            folder_ / ("job-" + std::to_string(entry.status.id) + "-" + std::to_string(entry.status.attempt));
    }
    if (entry.status.kind == ConversionJobKind::Movie) {
        ++runningMovies_;
        runningMemory_ += entry.memory;
        converter = std::make_unique<CVideoConverter>();
        // Made and readied under the lock, so that a cancel from now on reaches the conversion even
        // before it has started.
        converter->PrepareNextJob();
        entry.converter = converter.get();
    }
}

void ConversionQueue::Finish(Entry& entry, Outcome outcome) {
    entry.converter = nullptr;
    if (entry.status.kind == ConversionJobKind::Movie) {
        --runningMovies_;
        runningMemory_ -= entry.memory;
    }
    if (entry.cancel) {
        // A cancel that came while the job ended still counts: the caller was told it would.
        entry.status.state = ConversionJobState::Cancelled;
        entry.status.result = rc::Fail;
        return;
    }
    entry.status.result = outcome.result;
    if (Failed(outcome.result)) {
        entry.status.state = ConversionJobState::Failed;
        entry.status.cause = std::move(outcome.cause);
        entry.status.failedSource = outcome.failedSource;
        LogLine(LogLevel::Warning, kLogModule,
                "job " + std::to_string(entry.status.id) + " failed: " + entry.status.cause);
        return;
    }
    entry.status.state = ConversionJobState::Done;
    entry.status.progress = 1;
    entry.status.outputs = std::move(outcome.outputs);
    entry.status.outputIsSource = outcome.outputIsSource;
    entry.status.frames = outcome.frames;
}

ConversionQueue::Outcome ConversionQueue::Run(Entry& entry, CVideoConverter* converter) {
    Outcome outcome;
    const std::vector<std::filesystem::path>& sources = entry.request.sources;
    std::error_code ec;
    if (sources.empty() || (entry.status.kind != ConversionJobKind::Pictures && sources.size() != 1)) {
        outcome.result = rc::InvalidPath;
        outcome.cause = "a job needs one movie or sound, or a set of pictures";
    } else if (entry.folder.empty() || !std::filesystem::create_directories(entry.folder, ec)) {
        outcome.result = rc::TempFileFailed;
        outcome.cause = "cannot make the work folder " + entry.folder.string();
    } else if (entry.status.kind == ConversionJobKind::Movie) {
        RunMovie(entry, *converter, outcome);
    } else if (entry.status.kind == ConversionJobKind::Pictures) {
        RunPictures(entry, outcome);
    } else {
        RunSound(entry, outcome);
    }
    return outcome;
}

void ConversionQueue::RunMovie(Entry& entry, CVideoConverter& converter, Outcome& outcome) {
    const MovieJobSettings& settings = entry.request.movie;
    converter.SetFrameRateStandard(settings.frameRate);
    converter.SetQscaleText(settings.qscale);
    converter.SetDeinterlace(settings.deinterlace);
    converter.SetFit(FitWord(settings.fit));
    // The transcoder's intermediate file goes with the job's outputs.
    converter.SetWorkFolder(entry.folder);
    if (movieHook_) {
        movieHook_(converter);
    }
    const std::filesystem::path& source = entry.request.sources.front();
    const std::filesystem::path output = entry.folder / "movie.avi";
    outcome.result = converter.Convert(source.string(), output.string());
    if (Failed(outcome.result)) {
        outcome.cause = CauseOf(outcome.result, source);
        return;
    }
    outcome.outputs = {output};
    CAviProbe probe;
    if (Succeeded(probe.Probe(output.string()))) {
        outcome.frames = probe.Frames();
    }
}

void ConversionQueue::RunPictures(Entry& entry, Outcome& outcome) {
    const std::vector<std::filesystem::path>& sources = entry.request.sources;
    std::vector<StillBatchItem> items;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%04zu.jpg", i + 1);
        items.push_back({sources[i].string(), (entry.folder / name).string()});
    }
    entry.total = static_cast<std::uint32_t>(items.size());
    const StillBatchSettings settings{entry.request.pictures.quality, entry.request.pictures.fit,
                                      limits_.pictureWorkers};
    const StillBatchOutcome batch = ConvertStillBatch(items, settings, [&](std::size_t done, std::size_t) {
        entry.done = static_cast<std::uint32_t>(done);
        return !entry.cancel.load();
    });
    if (Failed(batch.result)) {
        outcome.result = batch.result;
        outcome.failedSource = batch.failedIndex;
        outcome.cause = CauseOf(batch.result, sources[std::min(batch.failedIndex, sources.size() - 1)]);
        return;
    }
    for (const StillBatchItem& item : items) {
        outcome.outputs.emplace_back(item.destinationPath);
    }
}

void ConversionQueue::RunSound(Entry& entry, Outcome& outcome) {
    const std::filesystem::path& source = entry.request.sources.front();
    entry.total = 1000;
    // A sound the device plays as it is needs no conversion: its caller copies the source itself.
    if (CheckPcmWaveFile(source.string()) == 0) {
        entry.done = 1000;
        outcome.outputs = {source};
        outcome.outputIsSource = true;
        return;
    }
    const std::filesystem::path output = entry.folder / "sound.wav";
    SoundConversionControl control;
    control.progress = [&](int permille) { entry.done = static_cast<std::uint32_t>(std::max(permille, 0)); };
    control.cancel = &entry.cancel;
    outcome.result = ConvertSoundToDeviceWav(source.string(), output.string(), control);
    if (Failed(outcome.result)) {
        outcome.cause = CauseOf(outcome.result, source);
        return;
    }
    outcome.outputs = {output};
}

ConversionJobStatus ConversionQueue::Snapshot(const Entry& entry) const {
    ConversionJobStatus status = entry.status;
    if (status.state != ConversionJobState::Running) {
        return status;
    }
    double progress = 0;
    if (entry.converter != nullptr) {
        const std::uint32_t total = entry.converter->GetProgressTotal();
        const std::uint32_t position = entry.converter->GetProgressPosition();
        const double share = total == 0 ? 0 : std::min(1.0, static_cast<double>(position) / total);
        switch (entry.converter->GetState()) {
        case CVideoConverter::Converting:
            progress = kTranscodeShare * share;
            break;
        case CVideoConverter::Interleaving:
            progress = kTranscodeShare + (1 - kTranscodeShare) * share;
            break;
        default:
            break;
        }
    } else if (const std::uint32_t total = entry.total.load(); total != 0) {
        progress = std::min(1.0, static_cast<double>(entry.done.load()) / total);
    }
    entry.shownProgress = std::max(entry.shownProgress, progress);
    status.progress = entry.shownProgress;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - entry.started).count();
    if (status.progress >= kLeastProgressForEstimate && seconds >= kLeastSecondsForEstimate) {
        status.secondsLeft = seconds * (1 - status.progress) / status.progress;
    }
    return status;
}

} // namespace k72
