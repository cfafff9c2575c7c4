#include "engine/CConversionManager.h"

#include "codecs/SoundConverter.h"

#include "codecs/DiagnosticLog.h"
#include "engine/PcmFileCheck.h"
#include "engine/ResultCodeText.h"

#include <exception>
#include <utility>

namespace k72 {

constexpr std::string_view kLogModule = "conversion manager";

CConversionManager::CConversionManager()
    : converter(std::make_unique<CVideoConverter>()), stillConverter(std::make_unique<StillImageConverter>()),
      worker([this] { RunWorker(); }) {}

CConversionManager::~CConversionManager() {
    // Nothing waiting may start, and the job in progress is asked to stop.
    {
        std::lock_guard lock(queueLock);
        jobs.clear();
        ++cancelGeneration;
        converter->RequestAbort();
    }
    {
        std::lock_guard lock(queueLock);
        running.store(false);
    }
    workAvailable.notify_all();

    // Waits for the worker without a time limit: an idle worker ends at once, a running conversion at
    // its next progress report, which the abort request answers with a stop.
    worker.join();

    converter.reset();
    stillConverter.reset();
    aviProbe.Forget();
}

void CConversionManager::AddJob(const std::string& sourcePath, const std::string& destinationPath) {
    {
        std::lock_guard lock(queueLock);
        jobs.push_back(Job{sourcePath, destinationPath});
    }
    workAvailable.notify_one();
}

std::size_t CConversionManager::PendingJobs() {
    std::lock_guard lock(queueLock);
    return jobs.size();
}

void CConversionManager::CancelAll() {
    std::lock_guard lock(queueLock);
    jobs.clear();
    ++cancelGeneration;
    converter->RequestAbort();
}

CVideoConverter& CConversionManager::Converter() {
    return *converter;
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
    while (running.load()) {
        Job job;
        std::uint64_t generation = 0;
        {
            std::unique_lock lock(queueLock);
            if (jobs.empty()) {
                // The test and the sleep are one step under the lock, so an AddJob or a shutdown
                // between them still wakes the worker.
                workAvailable.wait(lock, [this] { return !running.load() || !jobs.empty(); });
                continue;
            }
            job = jobs.front();
            generation = cancelGeneration;
            // From here on a CancelAll is this job's: Convert must not clear its stop request.
            converter->PrepareNextJob();
        }

        ResultCode result = rc::Fail;
        try {
            result = converter->Convert(job.sourcePath, job.destinationPath);
        } catch (const std::exception& error) {
            LogLine(kLogModule, std::string("conversion failed: ") + error.what());
        } catch (...) {
            LogLine(kLogModule, "conversion failed");
        }

        {
            std::lock_guard lock(queueLock);
            // After a CancelAll the front is no longer this job: it is already gone, and whatever
            // was added since must stay.
            if (generation == cancelGeneration && !jobs.empty()) {
                jobs.pop_front();
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
    return stillConverter->Convert(sourcePath, destinationPath);
}

ResultCode CConversionManager::SetStillQuality(float quality) {
    if (quality >= 0.0f && quality <= 1.0f) {
        stillConverter->SetQuality(quality);
    }
    return 0;
}

float CConversionManager::StillQuality() const {
    return stillConverter->Quality();
}

ResultCode CConversionManager::ConvertSound(const std::string& sourcePath,
                                            const std::string& destinationPath) {
    return ConvertSoundToDeviceWav(sourcePath, destinationPath);
}

void CConversionManager::SetStillFit(FitMode mode) {
    stillConverter->SetFit(mode);
}

ResultCode CConversionManager::GetTotalFrames(const std::string& path, std::uint32_t& frames) {
    if (Failed(ProbeAvi(path))) {
        return rc::Fail;
    }
    frames = aviProbe.Frames();
    return 0;
}

ResultCode CConversionManager::ProbeAvi(const std::string& path) {
    return aviProbe.Probe(path);
}

std::uint32_t CConversionManager::ProbedFrames() const {
    return aviProbe.Frames();
}

double CConversionManager::ProbedFrameRate() const {
    return aviProbe.FrameRate();
}

ResultCode CConversionManager::CheckPcmFile(const std::string& path) {
    return CheckPcmWaveFile(path);
}

} // namespace k72
