#pragma once
// A one-line progress bar on standard error: the phase, a bar and the percentage, redrawn in place.
// Drawn only when standard error is a terminal, so that logs and pipes get no control characters.

#include <cstdio>
#include <string>

namespace k72::cli {

class ProgressBar {
public:
    // Draws on stream when it is a terminal.
    explicit ProgressBar(std::FILE* stream = stderr);
    // Draws on stream when enabled, whatever the stream is.
    ProgressBar(std::FILE* stream, bool enabled);

    bool Enabled() const { return enabled_; }
    // Shows the phase and percent (0 … 100); draws only when either changed.
    void Show(const std::string& phase, int percent);
    // Removes the line, so that what is printed next starts on a clean line.
    void Clear();

    // The line as it is drawn, e.g. "converting...     [##########          ]  50%".
    static std::string Line(const std::string& phase, int percent);

private:
    std::FILE* stream_;
    bool enabled_;
    bool drawn_ = false;
    std::string lastPhase_;
    int lastPercent_ = -1;
};

} // namespace k72::cli
