#pragma once
// The single entry point of the conversion engine. Runs movie jobs one after another on a worker
// thread of its own, still image conversions synchronously on the caller's thread, and the two header
// probes. Each command that converts or probes creates its own manager and destroys it at its end.

#include "codecs/CVideoConverter.h"
#include "codecs/ResultCodes.h"
#include "engine/StillImageConverter.h"

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
    virtual ~CConversionManager(); // shutdown: abort, wake, wait for the worker, destroy
    CConversionManager(const CConversionManager&) = delete;
    CConversionManager& operator=(const CConversionManager&) = delete;

    void AddJob(const std::string& sourcePath, const std::string& destinationPath);
    std::size_t PendingJobs();   // jobs not yet finished, the running one included
    void CancelAll();            // empties the queues and asks the running conversion to stop
    CVideoConverter& Converter();

    ResultCode ConvertStillImage(const std::string& sourcePath, const std::string& destinationPath);
    ResultCode SetStillQuality(float quality); // ignored outside 0 … 1; always 0

    // AVI probe: 0 and the total frame count, or rc::Fail (frames left unchanged).
    ResultCode GetTotalFrames(const std::string& path, std::uint32_t& frames);
    ResultCode ProbeAvi(const std::string& path);
    std::uint32_t ProbedFrames() const;
    double ProbedFrameRate() const;

    static ResultCode CheckPcmFile(const std::string& path);
};

} // namespace k72
