#include "cli/ProgressBar.h"

#include <algorithm>
#include <unistd.h>

namespace k72::cli {
namespace {

constexpr int kBarWidth = 30;
constexpr std::size_t kPhaseWidth = 18;

} // namespace

ProgressBar::ProgressBar(std::FILE* stream) : ProgressBar(stream, ::isatty(::fileno(stream)) == 1) {}

ProgressBar::ProgressBar(std::FILE* stream, bool enabled) : stream_(stream), enabled_(enabled) {}

std::string ProgressBar::Line(const std::string& phase, int percent) {
    percent = std::clamp(percent, 0, 100);
    std::string line = phase;
    if (line.size() < kPhaseWidth) {
        line.append(kPhaseWidth - line.size(), ' ');
    }
    const int filled = percent * kBarWidth / 100;
    line += '[';
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarWidth - filled), ' ');
    line += "] ";
    const std::string number = std::to_string(percent);
    line.append(3 - number.size(), ' ');
    line += number + "%";
    return line;
}

void ProgressBar::Show(const std::string& phase, int percent) {
    if (!enabled_ || (drawn_ && phase == lastPhase_ && percent == lastPercent_)) {
        return;
    }
    std::fprintf(stream_, "\r%s", Line(phase, percent).c_str());
    std::fflush(stream_);
    drawn_ = true;
    lastPhase_ = phase;
    lastPercent_ = percent;
}

void ProgressBar::Clear() {
    if (!enabled_ || !drawn_) {
        return;
    }
    const std::string blank(Line(lastPhase_, lastPercent_).size(), ' ');
    std::fprintf(stream_, "\r%s\r", blank.c_str());
    std::fflush(stream_);
    drawn_ = false;
    lastPhase_.clear();
    lastPercent_ = -1;
}

} // namespace k72::cli
