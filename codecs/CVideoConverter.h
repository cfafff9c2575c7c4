#pragma once
// Turns one movie file into the AVI the device plays, in two phases: the transcoder
// (ff_convertermain) writes a temporary MJPEG/PCM AVI, then AVIRemux rewrites it into the destination
// in the device's one-second interleave. Runs on the conversion manager's worker thread; the progress
// window reads the status fields from the user interface thread without a lock.
//

#include "codecs/ResultCodes.h"

#include <atomic>
#include <cstdint>
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
    void SetQscaleText(std::string_view text);        // "20", "15", "10", "5", "1"
    std::string QscaleText() const;
    void SetDeinterlace(bool on);
    bool Deinterlace() const;

    // Runs a whole conversion synchronously. 0 on success, else a negative result code;
    // rc::ConverterBusy at once while another conversion of this converter runs.
    ResultCode Convert(const std::string& sourcePath, const std::string& destinationPath);

    // Status, readable from any thread at any time.
    std::uint32_t GetState() const { return state.load(); }
    ResultCode GetResultCode() const { return resultCode.load(); }
    std::uint32_t GetProgressTotal() const { return progressTotal.load(); }
    std::uint32_t GetProgressPosition() const { return progressPosition.load(); }

    // A stop request (the manager's CancelAll and shutdown); the running phase stops soon after.
    void RequestAbort() { abortRequested.store(1); }

protected:
    std::atomic<std::uint32_t> state{Idle};
    std::atomic<ResultCode> resultCode{0};
    std::atomic<std::uint32_t> progressTotal{0};
    std::atomic<std::uint32_t> progressPosition{0};
    std::atomic<std::uint32_t> abortRequested{0};
};

} // namespace k72
