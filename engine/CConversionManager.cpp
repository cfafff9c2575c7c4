#include "engine/CConversionManager.h"

#include "codecs/SoundConverter.h"

#include "base/DiagnosticLog.h"
#include "engine/PcmFileCheck.h"
#include "engine/ResultCodeText.h"

#include <exception>
#include <utility>

namespace k72 {

constexpr std::string_view kLogModule = "conversion manager";

CConversionManager::CConversionManager()
    : converter_(std::make_unique<CVideoConverter>()),
      stillConverter_(std::make_unique<StillImageConverter>()), worker_([this] { RunWorker(); }) {}

CConversionManager::~CConversionManager() {
    // Nothing waiting may start, and the job in progress is asked to stop.
    {
        std::lock_guard lock(queueLock_);
        jobs_.clear();
        ++cancelGeneration_;
        converter_->RequestAbort();
    }
    {
        std::lock_guard lock(queueLock_);
        running_.store(false);
    }
    workAvailable_.notify_all();

    // Waits for the worker without a time limit: an idle worker ends at once, a running conversion at
    // its next progress report, which the abort request answers with a stop.
    worker_.join();

    converter_.reset();
    stillConverter_.reset();
    aviProbe_.Forget();
}

void CConversionManager::AddJob(const std::string& sourcePath, const std::string& destinationPath) {
    {
        std::lock_guard lock(queueLock_);
        jobs_.push_back(Job{sourcePath, destinationPath});
    }
    workAvailable_.notify_one();
}

std::size_t CConversionManager::PendingJobs() {
    std::lock_guard lock(queueLock_);
    return jobs_.size();
}

void CConversionManager::CancelAll() {
    std::lock_guard lock(queueLock_);
    jobs_.clear();
    ++cancelGeneration_;
    converter_->RequestAbort();
}

CVideoConverter& CConversionManager::Converter() {
    return *converter_;
}

void CConversionManager::RunWorker() {
    // An error must not escape the thread (that would end the program); shutdown still joins it.
    try {
        WorkerLoop();
    } catch (...) {
        LogLine(kLogModule, "the worker stopped on an error");
    }
}

void CConversionManager::WorkerLoop() {
    while (running_.load()) {
        Job job;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(queueLock_);
            if (jobs_.empty()) {
                // The test and the sleep are one step under the lock, so an AddJob or a shutdown
                // between them still wakes the worker.
                workAvailable_.wait(lock, [this] { return !running_.load() || !jobs_.empty(); });
                continue;
            }
            job = jobs_.front();
            generation = cancelGeneration_;
            // From here on a CancelAll is this job's: Convert must not clear its stop request.
            converter_->PrepareNextJob();
        }

        ResultCode result = rc::Fail;
        try {
            result = converter_->Convert(job.sourcePath, job.destinationPath);
        } catch (const std::exception& error) {
            LogLine(kLogModule, std::string("conversion failed: ") + error.what());
        } catch (...) {
            LogLine(kLogModule, "conversion failed");
        }

        {
            std::lock_guard lock(queueLock_);
            // After a CancelAll the front is no longer this job: it is already gone, and whatever
            // was added since must stay.
            if (generation == cancelGeneration_ && !jobs_.empty()) {
                jobs_.pop_front();
            }
        }

        if (Failed(result)) {
            std::string text = ResultCodeText(result);
            while (!text.empty() && text.back() == '\n') {
                text.pop_back();
            }
            LogLine(kLogModule, text);
        }
    }
}

ResultCode CConversionManager::ConvertStillImage(const std::string& sourcePath,
                                                 const std::string& destinationPath) {
    return stillConverter_->Convert(sourcePath, destinationPath).code;
}

ResultCode CConversionManager::SetStillQuality(float quality) {
    if (quality >= 0.0f && quality <= 1.0f) {
        stillConverter_->SetQuality(quality);
    }
    return 0;
}

float CConversionManager::StillQuality() const {
    return stillConverter_->Quality();
}

ResultCode CConversionManager::ConvertSound(const std::string& sourcePath,
                                            const std::string& destinationPath) {
    return ConvertSoundToDeviceWav(sourcePath, destinationPath);
}

void CConversionManager::SetStillFit(FitMode mode) {
    stillConverter_->SetFit(mode);
}

ResultCode CConversionManager::GetTotalFrames(const std::string& path, std::uint32_t& frames) {
    if (Failed(ProbeAvi(path))) {
        return rc::Fail;
    }
    frames = aviProbe_.Frames();
    return 0;
}

ResultCode CConversionManager::ProbeAvi(const std::string& path) {
    return aviProbe_.Probe(path);
}

std::uint32_t CConversionManager::ProbedFrames() const {
    return aviProbe_.Frames();
}

double CConversionManager::ProbedFrameRate() const {
    return aviProbe_.FrameRate();
}

ResultCode CConversionManager::CheckPcmFile(const std::string& path) {
    return CheckPcmWaveFile(path);
}

} // namespace k72
