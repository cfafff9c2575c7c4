#include "cli/TerminalProgress.h"

#include "cli/CancelSignal.h"
#include "cli/ProgressBar.h"
#include "engine/ConversionProgressModel.h"

#include <chrono>
#include <thread>

namespace k72::cli {
namespace {

constexpr auto kTick = std::chrono::milliseconds(200);
// Ctrl-C is looked at more often than the model ticks, so that a cancel starts at once.
constexpr auto kSignalCheck = std::chrono::milliseconds(20);

} // namespace

ConversionOutcome TerminalProgress::Run(CConversionManager& manager) {
    ConversionProgressModel model;
    model.Start();
    bar_.Show(model.StatusText(), model.BarPosition());
    while (!model.Closed()) {
        const auto tickAt = std::chrono::steady_clock::now() + kTick;
        while (std::chrono::steady_clock::now() < tickAt) {
            if (CancelSignal::Raised() && !model.Cancelled()) {
                model.Cancel(&manager);
            }
            std::this_thread::sleep_for(kSignalCheck);
        }
        model.Poll(&manager);
        if (!model.Closed()) {
            bar_.Show(model.StatusText(), model.BarPosition());
        }
    }
    if (model.End() == ConversionEnd::Completed) {
        bar_.Show("done", model.BarPosition());
    }
    bar_.Clear();

    lastOutcome_ = model.Outcome();
    return *lastOutcome_;
}

} // namespace k72::cli
