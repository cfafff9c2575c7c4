// Running time and size texts of the movie information.
#include "engine/RunningTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace k72;

namespace {

std::string Clock(std::uint32_t frames, double rate) {
    const RunningTime time = ComputeRunningTime(frames, rate);
    char text[64];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u %s", static_cast<unsigned>(time.minutes),
                  static_cast<unsigned>(time.seconds), static_cast<unsigned>(time.frames),
                  time.rateName.c_str());
    return text;
}

} // namespace

TEST(RunningTime, DropFrameCountAt2997) {
    EXPECT_EQ(Clock(1799, 29.97), "00:59:29 29.97");
    EXPECT_EQ(Clock(1800, 29.97), "01:00:02 29.97"); // frame numbers 0 and 1 of minute 1 are dropped
    EXPECT_EQ(Clock(1827, 29.97), "01:00:29 29.97");
    EXPECT_EQ(Clock(1828, 29.97), "01:01:00 29.97");
    EXPECT_EQ(Clock(3597, 29.97), "01:59:29 29.97");
    EXPECT_EQ(Clock(3598, 29.97), "02:00:02 29.97");
    EXPECT_EQ(Clock(17981, 29.97), "09:59:29 29.97");
    EXPECT_EQ(Clock(17982, 29.97), "10:00:00 29.97"); // every tenth minute keeps its frames
    EXPECT_EQ(Clock(107891, 29.97), "59:59:29 29.97");
    EXPECT_EQ(Clock(107892, 29.97), "00:00:00 29.97"); // whole hours are not counted
    EXPECT_EQ(Clock(0, 29.97), "00:00:00 29.97");
    EXPECT_EQ(Clock(1800, 25.5), "01:00:02 29.97");
}

// Every frame number the drop-frame count produces is a valid one, and consecutive frames never
// repeat or skip a number other than the dropped ones.
TEST(RunningTime, DropFrameNumbersAdvanceByOneFrame) {
    RunningTime previous = ComputeRunningTime(0, 29.97);
    for (std::uint32_t frame = 1; frame < 107892; ++frame) {
        const RunningTime time = ComputeRunningTime(frame, 29.97);
        ASSERT_LT(time.seconds, 60u);
        ASSERT_LT(time.frames, 30u);
        const long before = (previous.minutes * 60L + previous.seconds) * 30L + previous.frames;
        const long now = (time.minutes * 60L + time.seconds) * 30L + time.frames;
        const bool minuteStart = time.seconds == 0 && time.frames == 2 && time.minutes % 10 != 0;
        ASSERT_EQ(now - before, minuteStart ? 3 : 1) << "frame " << frame;
        previous = time;
    }
}

TEST(RunningTime, WholeRates) {
    EXPECT_EQ(Clock(1830, 30.0), "01:01:00 30");
    EXPECT_EQ(Clock(1830, 25.0), "01:13:05 25");
    EXPECT_EQ(Clock(108000, 30.0), "60:00:00 30"); // minutes are not wrapped at the hour
    EXPECT_EQ(Clock(1830, 30.5), "01:01:00 30");
    EXPECT_EQ(Clock(1830, 25.9), "01:01:02 29.97"); // above 25 counts as 29.97
    EXPECT_EQ(Clock(1830, 24.0), "01:01:00 30");    // any other rate is shown and counted as 30
    EXPECT_EQ(Clock(1830, 60.0), "01:01:00 30");
}

TEST(RunningTime, UnreadableRatesCountAsThirty) {
    EXPECT_EQ(Clock(0, 0.0), "00:00:00 30"); // a movie that cannot be probed
    EXPECT_EQ(Clock(90, -25.0), "00:03:00 30");
    EXPECT_EQ(Clock(90, std::numeric_limits<double>::quiet_NaN()), "00:03:00 30");
    EXPECT_EQ(Clock(90, std::numeric_limits<double>::infinity()), "00:03:00 30");
    EXPECT_EQ(Clock(90, 1.0e300), "00:03:00 30");
    const RunningTime longest = ComputeRunningTime(std::numeric_limits<std::uint32_t>::max(), 25.0);
    EXPECT_EQ(longest.minutes, 4294967295u / 25u / 60u);
}

TEST(RunningTime, Texts) {
    EXPECT_EQ(FrameRateText(ComputeRunningTime(0, 29.97)), "(29.97 fps)");
    EXPECT_EQ(FrameRateText(ComputeRunningTime(0, 25.0)), "(25 fps)");
    EXPECT_EQ(FrameRateText(ComputeRunningTime(0, 0.0)), "(30 fps)");
    const RunningTime minute = ComputeRunningTime(1800, 29.97);
    EXPECT_EQ(MovieSizeText(5500000, minute), "SIZE:5.0MB (01min 00sec 02)");
    EXPECT_EQ(MovieSizeText(1048575, minute), "SIZE:0.0MB (01min 00sec 02)");
    EXPECT_EQ(MovieSizeText(0, RunningTime{}), "SIZE:0.0MB (00min 00sec 00)");
    EXPECT_EQ(MovieSizeText(2097151999, ComputeRunningTime(108000, 30.0)), "SIZE:1999.0MB (60min 00sec 00)");
}
