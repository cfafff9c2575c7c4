#include "engine/ConversionProgressModel.h"

#include <algorithm>

namespace k72 {

namespace {

// The share of the bar one phase fills: converting 0 ... 50, interleaving 50 ... 100. The arithmetic
// is unsigned 32-bit on purpose, as the converter's fields are. A total of 0 (the conversion has just
// ended, or a stale read between the fields) shows the phase's base position. A position read ahead
// of its total cannot push the bar past its phase.
int PhaseShare(std::uint32_t position, std::uint32_t total) {
    if (total == 0) {
        return 0;
    }
    const std::uint32_t share = (position * 100u) / total / 2u;
    return static_cast<int>(std::min<std::uint32_t>(share, 50u));
}

} // namespace

void ConversionProgressModel::Start() {
    status_ = "startup...";
    barPosition_ = 0;
}

void ConversionProgressModel::Tick(std::size_t pendingJobs, ResultCode resultCode,
                                   std::uint32_t progressTotal, std::uint32_t progressPosition,
                                   std::uint32_t state) {
    if (Closed()) {
        return;
    }
    if (pendingJobs > 0) {
        switch (state) {
        case 1:
            barPosition_ = PhaseShare(progressPosition, progressTotal);
            status_ = "converting...";
            break;
        case 2:
            barPosition_ = PhaseShare(progressPosition, progressTotal) + 50;
            status_ = "interleaving...";
            break;
        case 0:
            // The job waits for the worker; the bar stays where it was.
            status_ = "suspend...";
            break;
        default:
            break;
        }
    } else if (cancelled_) {
        Finish(ConversionEnd::NotCompleted, rc::Fail);
    } else if (Failed(resultCode)) {
        Finish(ConversionEnd::NotCompleted, resultCode);
    } else {
        barPosition_ = 100;
        Finish(ConversionEnd::Completed, resultCode);
    }
    // A failure ends the window at the first tick that sees it, even while the failed job is still
    // counted as pending, and its code wins over the cancel's generic one.
    if (Failed(resultCode)) {
        Finish(ConversionEnd::NotCompleted, resultCode);
    }
}

bool ConversionProgressModel::Cancel() {
    if (Closed()) {
        return false;
    }
    cancelled_ = true;
    return true;
}

void ConversionProgressModel::Close() {
    if (!Closed()) {
        end_ = ConversionEnd::NotCompleted;
    }
}

void ConversionProgressModel::Finish(ConversionEnd end, ResultCode finalResult) {
    end_ = end;
    finalResult_ = finalResult;
}

} // namespace k72
