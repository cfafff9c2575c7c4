#include "engine/RunningTime.h"

#include <cmath>
#include <cstdio>

namespace k72 {
namespace {

// Frames of the drop-frame count: one hour, ten minutes, the first minute of ten, any later minute.
constexpr std::uint32_t kFramesPerHour = 107892;
constexpr std::uint32_t kFramesPerTenMinutes = 17982;
constexpr std::uint32_t kFramesFirstMinute = 1800;
constexpr std::uint32_t kFramesDroppedMinute = 1798;

RunningTime CountAt(std::uint32_t frameCount, std::uint32_t perSecond, const char* rateName) {
    RunningTime time;
    const std::uint32_t wholeSeconds = frameCount / perSecond;
    time.frames = frameCount % perSecond;
    time.seconds = wholeSeconds % 60;
    time.minutes = wholeSeconds / 60;
    time.rateName = rateName;
    return time;
}

// 29.97 fps numbering drops frame numbers 0 and 1 at the start of every minute but each tenth.
RunningTime CountDropFrame(std::uint32_t frameCount) {
    RunningTime time;
    time.rateName = "29.97";
    const std::uint32_t inHour = frameCount % kFramesPerHour;
    const std::uint32_t tens = inHour / kFramesPerTenMinutes;
    const std::uint32_t q1 = inHour % kFramesPerTenMinutes;
    if (q1 < kFramesFirstMinute) {
        time.minutes = 10 * tens;
        time.seconds = q1 / 30;
        time.frames = q1 % 30;
        return time;
    }
    const std::uint32_t m = (q1 - kFramesFirstMinute) / kFramesDroppedMinute;
    const std::uint32_t q2 = (q1 - kFramesFirstMinute) % kFramesDroppedMinute;
    time.minutes = 10 * tens + m + 1;
    if (q2 < 28) {
        time.seconds = 0;
        time.frames = q2 + 2;
    } else {
        time.seconds = (q2 - 28) / 30 + 1;
        time.frames = (q2 - 28) % 30;
    }
    return time;
}

} // namespace

RunningTime ComputeRunningTime(std::uint32_t frameCount, double frameRate) {
    // A rate read from a damaged header may be anything; only a plausible one is truncated.
    const long whole =
        (std::isfinite(frameRate) && frameRate > 0.0 && frameRate < 1.0e6) ? static_cast<long>(frameRate) : 0;
    if (whole == 30) {
        return CountAt(frameCount, 30, "30");
    }
    if (frameRate > 25.0 && frameRate < 30.0) {
        return CountDropFrame(frameCount);
    }
    if (whole == 25) {
        return CountAt(frameCount, 25, "25");
    }
    return CountAt(frameCount, 30, "30");
}

std::string FrameRateText(const RunningTime& time) {
    return "(" + time.rateName + " fps)";
}

std::string MovieSizeText(std::uint64_t fileSize, const RunningTime& time) {
    const double mebibytes = static_cast<double>(fileSize / 1048576u);
    char text[96];
    std::snprintf(text, sizeof text, "SIZE:%.1fMB (%02umin %02usec %02u)", mebibytes,
                  static_cast<unsigned>(time.minutes), static_cast<unsigned>(time.seconds),
                  static_cast<unsigned>(time.frames));
    return text;
}

} // namespace k72
