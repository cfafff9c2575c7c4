#pragma once
// Turns one movie file into the AVI the device plays, in two phases: the transcoder
// (ff_convertermain) writes a temporary MJPEG/PCM AVI, then AVIRemux rewrites it into the destination
// in the device's one-second interleave. Runs on the conversion manager's worker thread; the progress
// window reads the status fields from the user interface thread without a lock.
//

#include "codecs/ResultCodes.h"
#include "codecs/ff_convertermain.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace k72 {

class CVideoConverter {
public:
    enum State : std::uint32_t { Idle = 0, Converting = 1, Interleaving = 2 };

    CVideoConverter();
    virtual ~CVideoConverter();
    CVideoConverter(const CVideoConverter&) = delete;
    CVideoConverter& operator=(const CVideoConverter&) = delete;

    // Settings, set by the import flow before it adds a job; they persist between conversions.
    void SetFrameRateStandard(std::string_view name); // stored in lower case ("ntsc", "pal")
    std::string FrameRateStandard() const;
    void SetQscaleText(std::string_view text); // "20", "15", "10", "5", "1"
    std::string QscaleText() const;
    void SetDeinterlace(bool on);
    bool Deinterlace() const;
    // How a movie of another shape than 4:3 goes into the frame: "stretch" (what the device's own tool
    // always did), "letterbox", "crop" or "auto" (settled against the movie's shape by the transcoder);
    // any other word means "stretch". Only a fit other than stretch
    // adds "-fit WORD" to the transcoder's arguments.
    void SetFit(std::string_view word);
    std::string Fit() const;

    // Runs a whole conversion synchronously. 0 on success, else a negative result code;
    // rc::ConverterBusy at once while another conversion of this converter runs.
    [[nodiscard]] ResultCode Convert(const std::string& sourcePath, const std::string& destinationPath);

    // Status, readable from any thread at any time.
    std::uint32_t GetState() const { return state_.load(); }
    [[nodiscard]] ResultCode GetResultCode() const { return resultCode_.load(); }
    std::uint32_t GetProgressTotal() const { return progressTotal_.load(); }
    std::uint32_t GetProgressPosition() const { return progressPosition_.load(); }

    // A stop request (the manager's CancelAll and shutdown); the running phase stops soon after.
    void RequestAbort() { abortRequested_.store(true); }
    // Clears any earlier stop request for the job about to start and makes the next Convert keep a stop
    // request raised from now on, instead of clearing it as it starts. The conversion manager's worker
    // calls this under its queue lock as it takes a job, so that a cancel that lands between taking the
    // job and the start of Convert still stops that job.
    void PrepareNextJob() {
        abortRequested_.store(false);
        jobPrepared_.store(true);
    }

    // The progress callback handed to the transcoder; the context is the converter.
    static std::int32_t ProgressCallback(void* context, std::int32_t kind, std::int32_t value);

    // Seams for tests. By default the work folder is the system's temporary folder, the free space of a
    // folder is what its volume offers the user, and phase 1 is ff_convertermain. Set them only while
    // no conversion runs.
    using FreeSpaceProbe = std::function<std::uint64_t(const std::filesystem::path& folder)>;
    using Transcoder = std::function<int(ConverterCallback callback, void* context, int argc, char** argv)>;
    void SetWorkFolder(std::filesystem::path folder);
    void SetFreeSpaceProbe(FreeSpaceProbe probe);
    void SetTranscoder(Transcoder transcoder);

protected:
    std::atomic<std::uint32_t> state_{Idle};
    std::atomic<ResultCode> resultCode_{0};
    std::atomic<std::uint32_t> progressTotal_{0};
    std::atomic<std::uint32_t> progressPosition_{0};
    std::atomic<bool> abortRequested_{false};
    std::atomic<bool> jobPrepared_{false}; // PrepareNextJob ran for the next Convert

private:
    struct Settings {
        std::string frameRateStandard;
        std::string qscaleText;
        bool deinterlace = false;
        std::string fit;
    };

    // Records a failure as a kind-0 report would: the first size-limit or disc-space code is latched.
    void RecordResult(ResultCode code);
    void RecordResultLocked(ResultCode code);
    void EstimateDiscSpace(std::int32_t justWritten);
    std::uint64_t FreeSpaceOf(const std::filesystem::path& folder) const;
    void RunPhases(const std::string& sourcePath, const std::string& destinationPath,
                   const Settings& settings, std::filesystem::path& temporaryPath);
    void AVIRemux(const std::string& inputPath, const std::string& outputPath, const std::string& standard);

    // Guarded by statusLock_.
    std::uint64_t freeSpace_ = 0;
    std::int64_t bytesWritten_ = 0;
    std::uint32_t recentSizes_[10] = {}; // nine sizes as a ring; the tenth word stays 0 and ends the scan
    std::uint32_t recentIndex_ = 0;
    bool resultLatched_ = false;
    std::string frameRateStandard_ = "ntsc";
    std::string qscaleText_ = "20";
    bool deinterlace_ = false;
    std::string fit_ = "stretch";
    mutable std::mutex statusLock_;

    std::filesystem::path workFolder_;
    FreeSpaceProbe freeSpaceProbe_;
    Transcoder transcoder_;
};

} // namespace k72
