// "auto": stretched within 10 % of the frame's shape, letterboxed beyond, measured by display shape.
#include "codecs/FitGeometry.h"

#include <gtest/gtest.h>

namespace {

using k72::FitMode;

struct AutoCase {
    const char* what;
    std::uint32_t width;
    std::uint32_t height;
    int sarNum;
    int sarDen;
    FitMode expected;
};

TEST(FitAuto, StretchesWithinTenPercentOfFourToThreeAndLetterboxesBeyond) {
    const AutoCase cases[] = {
        {"4:3", 640, 480, 1, 1, FitMode::Stretch},
        {"6:5, exactly 10 % narrower", 1200, 1000, 1, 1, FitMode::Stretch},
        {"just narrower than that", 1199, 1000, 1, 1, FitMode::Letterbox},
        {"22:15, exactly 10 % wider", 2200, 1500, 1, 1, FitMode::Stretch},
        {"just wider than that", 2201, 1500, 1, 1, FitMode::Letterbox},
        {"3:2 camera picture", 6000, 4000, 1, 1, FitMode::Letterbox},
        {"16:9 movie", 1920, 1080, 1, 1, FitMode::Letterbox},
        {"upright phone movie", 1080, 1920, 1, 1, FitMode::Letterbox},
        {"4:3 DV with narrow pixels", 720, 480, 8, 9, FitMode::Stretch},
        {"16:9 DV with wide pixels", 720, 480, 32, 27, FitMode::Letterbox},
        {"unknown pixel shape counts as square", 720, 540, 0, 1, FitMode::Stretch},
    };
    for (const AutoCase& c : cases) {
        EXPECT_EQ(k72::ResolveFit(FitMode::Auto, c.width, c.height, c.sarNum, c.sarDen, 640, 480), c.expected)
            << c.what;
        // The plan follows what auto came to: the whole frame for stretch, bars for letterbox.
        const k72::FitPlan plan =
            k72::PlanFit(FitMode::Auto, c.width, c.height, c.sarNum, c.sarDen, 640, 480);
        EXPECT_EQ(plan.FillsTarget(640, 480), c.expected == FitMode::Stretch) << c.what;
        EXPECT_FALSE(plan.CropsSource(c.width, c.height)) << c.what;
    }
    // Other modes are not touched, and the word round-trips.
    EXPECT_EQ(k72::ResolveFit(FitMode::Crop, 1920, 1080, 1, 1, 640, 480), FitMode::Crop);
    EXPECT_EQ(k72::ParseFitWord("AUTO"), FitMode::Auto);
    EXPECT_STREQ(k72::FitWord(FitMode::Auto), "auto");
}

} // namespace
