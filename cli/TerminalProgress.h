#pragma once
// The progress of a movie conversion on a terminal. Polls the conversion manager every 200 ms through
// the same model the desktop program's progress dialog uses, draws its phase and bar, and cancels the
// conversion when Ctrl-C was pressed.

#include "store/IConversionProgress.h"

#include <optional>

namespace k72::cli {

class ProgressBar;

class TerminalProgress : public IConversionProgress {
public:
    explicit TerminalProgress(ProgressBar& bar) : bar_(bar) {}

    ConversionOutcome Run(CConversionManager& manager) override;

    // The outcome of the last conversion watched, if any.
    const std::optional<ConversionOutcome>& LastOutcome() const { return lastOutcome_; }

private:
    ProgressBar& bar_;
    std::optional<ConversionOutcome> lastOutcome_;
};

} // namespace k72::cli
