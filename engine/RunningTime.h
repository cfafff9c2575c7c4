#pragma once
// The running time of a converted movie as the movie information shows it: minutes, seconds and
// frames counted from the movie's frame count and frame rate, with drop-frame counting at 29.97 fps.

#include <cstdint>
#include <string>

namespace k72 {

struct RunningTime {
    std::uint32_t minutes = 0; // not limited to 59
    std::uint32_t seconds = 0;
    std::uint32_t frames = 0;
    std::string rateName = "30"; // "30", "29.97" or "25"
};

// A rate of 30 (truncated) counts 30 frames a second; one above 25 and below 30 counts as 29.97 with
// drop-frame numbering (whole hours are not counted); 25 (truncated) counts 25; anything else,
// including an unreadable rate of 0, is shown as "30" and counted at 30.
RunningTime ComputeRunningTime(std::uint32_t frameCount, double frameRate);

// "(30 fps)", "(29.97 fps)" or "(25 fps)".
std::string FrameRateText(const RunningTime& time);

// "SIZE:%.1fMB (%02dmin %02dsec %02d)" with the size in whole mebibytes (rounded down, so the decimal
// is always 0) and the running time.
std::string MovieSizeText(std::uint64_t fileSize, const RunningTime& time);

} // namespace k72
