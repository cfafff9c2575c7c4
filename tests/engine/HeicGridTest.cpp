// A HEIC laid out as phones write it: the picture a grid of separately coded tiles.

#include "engine/StillImageConverter.h"
#include "tests/support/HeifGridFile.h"
#include "tests/support/StillTestPictures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace k72test;
using namespace k72test::heifgrid;

TEST(HeicGrid, TiledPictureConvertsLikeTheWholePicture) {
    if (!HaveProgram("heif-enc")) {
        GTEST_SKIP() << "heif-enc (libheif-examples) is needed for HEIC sources";
    }
    TempDir dir;
    // Large enough to be reduced, so that the tiles are decoded without the in-loop filters.
    constexpr int kTileWidth = 640;
    constexpr int kTileHeight = 480;
    WriteRgbPng(dir / "whole.png", SmoothPicture(2 * kTileWidth, 2 * kTileHeight));
    std::vector<CodedTile> tiles;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const auto name = "tile" + std::to_string(row) + std::to_string(column);
            ASSERT_TRUE(MakeMedia(dir / (name + ".png"), "-i " + Quote(dir / "whole.png") +
                                                             " -vf crop=" + std::to_string(kTileWidth) + ":" +
                                                             std::to_string(kTileHeight) + ":" +
                                                             std::to_string(column * kTileWidth) + ":" +
                                                             std::to_string(row * kTileHeight)));
            const auto made = RunCommand("heif-enc -q 95 -o " + Quote(dir / (name + ".heic")) + " " +
                                         Quote(dir / (name + ".png")));
            ASSERT_EQ(made.exitCode, 0) << made.output;
            tiles.push_back(ReadTile(ReadFileBytes(dir / (name + ".heic"))));
            ASSERT_FALSE(tiles.back().hvcC.empty());
            ASSERT_FALSE(tiles.back().data.empty());
        }
    }
    WriteFileBytes(dir / "grid.heic",
                   GridHeic(tiles, 2, 2, kTileWidth, kTileHeight, 2 * kTileWidth - 40, 2 * kTileHeight - 30));
    // The grid's output size cuts the right and bottom tiles short, as phones' grids do.
    ASSERT_TRUE(MakeMedia(dir / "cut.png", "-i " + Quote(dir / "whole.png") +
                                               " -vf crop=" + std::to_string(2 * kTileWidth - 40) + ":" +
                                               std::to_string(2 * kTileHeight - 30) + ":0:0"));

    k72::StillImageConverter converter;
    ASSERT_EQ(converter.Convert((dir / "cut.png").string(), (dir / "fromPng.jpg").string()).code, 0);
    ASSERT_EQ(converter.Convert((dir / "grid.heic").string(), (dir / "fromGrid.jpg").string()).code, 0);
    const auto error = MeanError(DecodeJpegInProcess(dir / "fromGrid.jpg", 640, 480),
                                 DecodeJpegInProcess(dir / "fromPng.jpg", 640, 480));
    EXPECT_LT(*std::max_element(error.begin(), error.end()), 4.0);

    // A tile missing from the file (its item data cut off) is refused, not pasted as garbage.
    Bytes cut = ReadFileBytes(dir / "grid.heic");
    cut.resize(cut.size() - tiles.back().data.size() / 2);
    WriteFileBytes(dir / "cut.heic", cut);
    EXPECT_NE(converter.Convert((dir / "cut.heic").string(), (dir / "fromCut.jpg").string()).code, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "fromCut.jpg"));
}

// A picture laid over a canvas of one colour (an overlay, rare in phones' files): where nothing covers
// it, the canvas shows in its own colour, and the picture keeps its own.
TEST(HeicGrid, OverlayKeepsItsCanvasColour) {
    if (!HaveProgram("heif-enc")) {
        GTEST_SKIP() << "heif-enc (libheif-examples) is needed for HEIC sources";
    }
    TempDir dir;
    WriteRgbPng(dir / "picture.png", SmoothPicture(480, 480));
    const auto made =
        RunCommand("heif-enc -q 95 -o " + Quote(dir / "picture.heic") + " " + Quote(dir / "picture.png"));
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const CodedTile tile = ReadTile(ReadFileBytes(dir / "picture.heic"));
    ASSERT_FALSE(tile.data.empty());
    // The picture on the left three quarters of a 640 x 480 canvas of white.
    const std::uint16_t white[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    WriteFileBytes(dir / "overlay.heic", OverlayHeic({tile}, {{0, 0}}, 480, 480, 640, 480, white));
    ASSERT_TRUE(MakeMedia(dir / "expected.png",
                          "-i " + Quote(dir / "picture.png") + " -vf pad=640:480:0:0:white -pix_fmt rgb24"));

    k72::StillImageConverter converter;
    ASSERT_EQ(converter.Convert((dir / "expected.png").string(), (dir / "fromPng.jpg").string()).code, 0);
    ASSERT_EQ(converter.Convert((dir / "overlay.heic").string(), (dir / "fromOverlay.jpg").string()).code, 0);
    const RgbPicture fromOverlay = DecodeJpegInProcess(dir / "fromOverlay.jpg", 640, 480);
    const auto error = MeanError(fromOverlay, DecodeJpegInProcess(dir / "fromPng.jpg", 640, 480));
    EXPECT_LT(*std::max_element(error.begin(), error.end()), 4.0);
    const Rgb canvas = fromOverlay.At(600, 240);
    EXPECT_GE(std::min({canvas.r, canvas.g, canvas.b}), 245)
        << int{canvas.r} << " " << int{canvas.g} << " " << int{canvas.b};
}

} // namespace
