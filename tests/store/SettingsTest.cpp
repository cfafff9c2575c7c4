#include "store/Settings.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace k72 {
namespace {

TEST(Settings, DefaultsAreNtscHighestQualityDeinterlaced) {
    const Settings settings;
    EXPECT_EQ(settings.FrameRateWord(), "ntsc");
    EXPECT_EQ(settings.MovieQualityScale(), "1");
    EXPECT_FLOAT_EQ(settings.StillImageQuality(), 1.0f);
    EXPECT_EQ(settings.DeinterlaceFlag(), 1);
}

TEST(Settings, FrameRateWordIsPalOnlyForOne) {
    Settings settings;
    for (std::int32_t fps : {0, 2, -1, 7}) {
        settings.fps = fps;
        EXPECT_EQ(settings.FrameRateWord(), "ntsc") << fps;
    }
    settings.fps = 1;
    EXPECT_EQ(settings.FrameRateWord(), "pal");
}

TEST(Settings, QualityLevelsMapToScaleStillQualityAndSlider) {
    struct Row {
        std::int32_t quality;
        const char* scale;
        float still;
        int slider;
    };
    const Row rows[] = {{0, "20", 0.0f, 0}, {1, "15", 0.3f, 1}, {2, "10", 0.5f, 2},  {3, "5", 0.8f, 3},
                        {4, "1", 1.0f, 4},  {5, "10", 0.5f, 2}, {7, "10", 0.5f, 2},  {-1, "10", 0.5f, 2},
                        {INT32_MIN, "10", 0.5f, 2}};
    for (const Row& row : rows) {
        Settings settings;
        settings.quality = row.quality;
        EXPECT_EQ(settings.MovieQualityScale(), row.scale) << row.quality;
        EXPECT_FLOAT_EQ(settings.StillImageQuality(), row.still) << row.quality;
        EXPECT_EQ(settings.QualitySliderPosition(), row.slider) << row.quality;
    }
}

} // namespace
} // namespace k72
