#pragma once
// The single entry point of the conversion engine. Runs movie jobs one after another on a worker
// thread of its own, still image conversions synchronously on the caller's thread, and the two header
// probes. Each command that converts or probes creates its own manager and destroys it at its end.

#include "codecs/CVideoConverter.h"
#include "codecs/ResultCodes.h"
#include "engine/CAviProbe.h"
#include "engine/StillImageConverter.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace k72 {

class CConversionManager {
public:
    CConversionManager();
    virtual ~CConversionManager(); // shutdown: abort, wake, wait for the worker (no time limit), destroy
    CConversionManager(const CConversionManager&) = delete;
    CConversionManager& operator=(const CConversionManager&) = delete;

    void AddJob(const std::string& sourcePath, const std::string& destinationPath);
    std::size_t PendingJobs(); // jobs not yet finished, the running one included
    void CancelAll();          // empties the queue and asks the running conversion to stop
    CVideoConverter& Converter();

    [[nodiscard]] ResultCode ConvertStillImage(const std::string& sourcePath, const std::string& destinationPath);
    ResultCode SetStillQuality(float quality); // ignored outside 0 … 1; always 0
    float StillQuality() const;
    void SetStillFit(FitMode mode);

    // AVI probe: 0 and the total frame count, or rc::Fail (frames left unchanged).
    [[nodiscard]] ResultCode GetTotalFrames(const std::string& path, std::uint32_t& frames);
    [[nodiscard]] ResultCode ProbeAvi(const std::string& path);
    std::uint32_t ProbedFrames() const;
    double ProbedFrameRate() const;

    [[nodiscard]] static ResultCode CheckPcmFile(const std::string& path);
    // Writes any decodable sound as the device's WAV (PCM, 16 bits, 44,100 Hz, stereo); codes as
    // ConvertSoundToDeviceWav gives them.
    [[nodiscard]] static ResultCode ConvertSound(const std::string& sourcePath, const std::string& destinationPath);

private:
    void WorkerLoop();
    void RunWorker();

    // One movie to convert.
    struct Job {
        std::string sourcePath;
        std::string destinationPath;
    };

    // True from construction until shutdown; the worker loops while it is. Written under queueLock_ so
    // that a worker just going to sleep cannot miss the change.
    std::atomic<bool> running_{true};
    // The front job is the one in progress or the next to run, and stays there while it runs, so that
    // PendingJobs counts it.
    std::deque<Job> jobs_;
    // Raised by CancelAll: a job peeked before it is no longer at the front when it ends, so the worker
    // must not pop a job added after the cancel in its place.
    std::uint64_t cancelGeneration_ = 0;
    std::mutex queueLock_;                  // guards jobs_ and cancelGeneration_
    std::condition_variable workAvailable_; // AddJob and shutdown wake the worker through it

    std::unique_ptr<CVideoConverter> converter_;
    std::unique_ptr<StillImageConverter> stillConverter_;
    CAviProbe aviProbe_; // the last AVI probe: its path, frame count and frame rate

    std::thread worker_; // started last, once everything it uses exists
};

} // namespace k72
