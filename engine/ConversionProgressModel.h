#pragma once
// What the progress window of a movie import shows and when it closes, apart from any window: the
// desktop dialog and the terminal tool's progress bar both drive this model with a tick every 200 ms
// and draw what it says. The worker never calls into it; every tick polls the manager's pending-job
// count and the movie converter's phase, progress and result.

#include "codecs/ResultCodes.h"
#include "engine/CConversionManager.h"
#include "engine/ConversionOutcome.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace k72 {

class ConversionProgressModel {
public:
    // The window has opened: "startup...", bar at 0.
    void Start();

    // One timer tick with the values read, in this order, from the manager (pending jobs) and its movie
    // converter (result code, progress total, progress position, phase). Nothing happens once closed.
    void Tick(std::size_t pendingJobs, ResultCode resultCode, std::uint32_t progressTotal,
              std::uint32_t progressPosition, std::uint32_t state);

    // Reads the values from the manager and ticks. Without a manager nothing happens.
    void Poll(CConversionManager* manager);

    // The Cancel button: marks the run cancelled. The window stays open; the caller empties the
    // manager's queue (CancelAll, see Cancel(CConversionManager*)) and the next tick closes it.
    // Returns false when the window has already closed.
    bool Cancel();
    // Cancel with the manager: does nothing without one (the button then has nothing to stop).
    void Cancel(CConversionManager* manager);

    // Escape or a request to close the window: ends at once with NotCompleted and the result held now.
    // The caller's destruction of the manager stops the conversion.
    void Close();

    int BarPosition() const { return barPosition_; }          // 0 ... 100
    const std::string& StatusText() const { return status_; } // "startup...", "converting...", ...
    bool Closed() const { return end_ != ConversionEnd::Open; }
    ConversionEnd End() const { return end_; }
    bool Cancelled() const { return cancelled_; }
    [[nodiscard]] ResultCode FinalResult() const { return finalResult_; }
    // How the window ended, once it has closed.
    ConversionOutcome Outcome() const { return ConversionOutcome{end_, cancelled_, finalResult_}; }

private:
    void Finish(ConversionEnd end, ResultCode finalResult);

    std::string status_ = "converting...";
    int barPosition_ = 0;
    ConversionEnd end_ = ConversionEnd::Open;
    bool cancelled_ = false;
    ResultCode finalResult_ = rc::Fail;
};

// Kept inline so that the model itself links without the converters.
inline void ConversionProgressModel::Poll(CConversionManager* manager) {
    if (manager == nullptr) {
        return;
    }
    const std::size_t pending = manager->PendingJobs();
    const CVideoConverter& converter = manager->Converter();
    const ResultCode result = converter.GetResultCode();
    const std::uint32_t total = converter.GetProgressTotal();
    const std::uint32_t position = converter.GetProgressPosition();
    const std::uint32_t state = converter.GetState();
    Tick(pending, result, total, position, state);
}

inline void ConversionProgressModel::Cancel(CConversionManager* manager) {
    if (manager != nullptr && Cancel()) {
        manager->CancelAll();
    }
}

} // namespace k72
