// Pictures as cameras and phones store them: turned by an orientation tag, of another shape than 4:3,
// in WebP, TIFF, GIF, HEIC or AVIF. Each is compared, by a measured difference, with an upright PNG of
// the same picture converted the same way.

#include "engine/StillImageConverter.h"
#include "tests/support/StillTestPictures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using k72::FitMode;
using k72::StillImageConverter;
using namespace k72test;

// How a camera stores the upright picture for each EXIF orientation value, as ffmpeg's own filters
// make it: the converter must undo exactly this.
const char* const kStoredAs[9] = {"",
                                  "null",
                                  "hflip",
                                  "hflip,vflip",
                                  "vflip",
                                  "transpose=cclock_flip",
                                  "transpose=cclock",
                                  "transpose=clock_flip",
                                  "transpose=clock"};

double Worst(const std::array<double, 3>& error) {
    return *std::max_element(error.begin(), error.end());
}

class UprightPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Smooth ramps across and down: any turn or mirror moves every colour far from its place.
        WriteRgbPng(dir / "upright.png", SmoothPicture(360, 240));
        ASSERT_EQ(Convert(dir / "upright.png", dir / "upright.jpg"), 0);
        referenceMain = DecodeJpegInProcess(dir / "upright.jpg", 640, 480);
        referenceThumb = Thumbnail(dir / "upright.jpg");
    }

    k72::ResultCode Convert(const std::filesystem::path& source, const std::filesystem::path& destination) {
        return converter.Convert(source.string(), destination.string()).code;
    }

    RgbPicture Thumbnail(const std::filesystem::path& picture) {
        const auto thumb = picture.string() + ".thumb.jpg";
        const auto extracted =
            RunCommand("exiftool -b -ThumbnailImage " + Quote(picture) + " > " + Quote(thumb));
        EXPECT_EQ(extracted.exitCode, 0) << extracted.output;
        return DecodeJpegInProcess(thumb, 160, 120);
    }

    // The upright picture stored turned for `orientation`, in the format the name's extension says.
    std::filesystem::path Stored(int orientation, const std::string& name, const std::string& extra = "") {
        const auto path = dir / name;
        MakeMedia(path, "-i " + Quote(dir / "upright.png") + " -vf " + kStoredAs[orientation] + " " + extra);
        return path;
    }

    void Tag(const std::filesystem::path& path, int orientation) {
        const auto tagged =
            RunCommand("exiftool -q -overwrite_original -Orientation#=" + std::to_string(orientation) + " " +
                       Quote(path));
        ASSERT_EQ(tagged.exitCode, 0) << tagged.output;
    }

    // Converts and measures against the upright conversion: main picture and thumbnail.
    void ExpectUpright(const std::filesystem::path& source, double tolerance) {
        const auto out = dir / "out.jpg";
        std::filesystem::remove(out);
        ASSERT_EQ(Convert(source, out), 0);
        EXPECT_LT(Worst(MeanError(DecodeJpegInProcess(out, 640, 480), referenceMain)), tolerance);
        EXPECT_LT(Worst(MeanError(Thumbnail(out), referenceThumb)), tolerance + 2);
    }

    TempDir dir;
    StillImageConverter converter;
    RgbPicture referenceMain;
    RgbPicture referenceThumb;
};

TEST_F(UprightPictureTest, EveryJpegOrientationStandsUpright) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE("orientation " + std::to_string(orientation));
        const auto stored = Stored(orientation, "stored.jpg", "-q:v 2");
        Tag(stored, orientation);
        ExpectUpright(stored, 4.0);
        if (orientation != 1) {
            // The same file without its tag is far off: the measure sees a turn.
            Tag(stored, 1);
            ASSERT_EQ(Convert(stored, dir / "untagged.jpg"), 0);
            EXPECT_GT(Worst(MeanError(DecodeJpegInProcess(dir / "untagged.jpg", 640, 480), referenceMain)),
                      20.0);
        }
    }
}

TEST_F(UprightPictureTest, PngWebpAndTiffOrientationsStandUpright) {
    const auto png = Stored(6, "stored.png");
    Tag(png, 6);
    ExpectUpright(png, 3.0);
    const auto webp = Stored(8, "stored.webp", "-lossless 1");
    Tag(webp, 8);
    ExpectUpright(webp, 3.0);
    const auto tiff = Stored(3, "stored.tif", "-pix_fmt rgb48le");
    Tag(tiff, 3);
    ExpectUpright(tiff, 3.0);
}

TEST_F(UprightPictureTest, NewPictureFormatsConvertLikeThePng) {
    const auto upright = Quote(dir / "upright.png");
    MakeMedia(dir / "lossless.webp", "-i " + upright + " -lossless 1");
    MakeMedia(dir / "lossy.webp", "-i " + upright + " -quality 90");
    MakeMedia(dir / "eight.tif", "-i " + upright + " -pix_fmt rgb24");
    MakeMedia(dir / "sixteen.tif", "-i " + upright + " -pix_fmt rgb48le");
    // An animation: its first frame is the picture, the second something else entirely.
    MakeMedia(dir / "moving.gif", "-i " + upright +
                                      " -f lavfi -i color=c=red:size=360x240:duration=1 "
                                      "-filter_complex '[0][1]concat=n=2,split[a][b];[a]palettegen[p];"
                                      "[b][p]paletteuse' -r 1");
    const struct {
        const char* file;
        double tolerance;
    } cases[] = {{"lossless.webp", 3.0},
                 {"lossy.webp", 5.0},
                 {"eight.tif", 3.0},
                 {"sixteen.tif", 3.0},
                 {"moving.gif", 10.0}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.file);
        ExpectUpright(dir / item.file, item.tolerance);
    }

    if (!HaveProgram("heif-enc")) {
        GTEST_SKIP() << "heif-enc (libheif-examples) is needed for HEIC and AVIF sources";
    }
    for (const std::string& flag : {std::string(), std::string("-A ")}) {
        const auto name = dir / (flag.empty() ? "phone.heic" : "phone.avif");
        const auto made = RunCommand("heif-enc -q 95 " + flag + "-o " + Quote(name) + " " + upright);
        ASSERT_EQ(made.exitCode, 0) << made.output;
        SCOPED_TRACE(name.filename().string());
        ExpectUpright(name, 5.0);
    }
}

// heif-enc writes no rotation or mirror property, but it does write a 16-byte pixel information
// property ("pixi") that the picture is associated with. Overwritten in place by a turn or mirror
// property of the same length (its one byte of angle or axis, then padding that readers skip), the
// association names the turn instead, and the file keeps its size and every offset in it.
void ReplacePixelInformation(const std::filesystem::path& path, const std::string& type, std::uint8_t value) {
    auto bytes = ReadFileBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    const auto at = text.find("pixi");
    ASSERT_NE(at, std::string::npos);
    ASSERT_GE(at, 4U);
    ASSERT_EQ(bytes[at - 4], 0);
    ASSERT_EQ(bytes[at - 1], 16) << "pixi is expected to be 16 bytes long";
    ASSERT_EQ(type.size(), 4U);
    std::copy(type.begin(), type.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    bytes[at + 4] = value;
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at + 5),
              bytes.begin() + static_cast<std::ptrdiff_t>(at + 12), std::uint8_t{0});
    WriteFileBytes(path, bytes);
}

TEST_F(UprightPictureTest, HeicTurnedOrMirroredByItsPropertiesStandsUpright) {
    if (!HaveProgram("heif-enc")) {
        GTEST_SKIP() << "heif-enc (libheif-examples) is needed for HEIC sources";
    }
    // The stored picture, as the property must undo it: irot turns anticlockwise by 90 degrees per step;
    // imir mirrors top to bottom (0) or left to right (1), as libheif, the reference reader, does it.
    const struct {
        const char* type;
        std::uint8_t value;
        const char* storedAs;
    } cases[] = {{"irot", 1, "transpose=clock"},
                 {"irot", 2, "hflip,vflip"},
                 {"irot", 3, "transpose=cclock"},
                 {"imir", 0, "vflip"},
                 {"imir", 1, "hflip"}};
    for (const auto& item : cases) {
        SCOPED_TRACE(std::string(item.type) + " " + std::to_string(item.value));
        MakeMedia(dir / "stored.png", "-i " + Quote(dir / "upright.png") + " -vf " + item.storedAs);
        const auto heic = dir / "stored.heic";
        const auto made = RunCommand("heif-enc -q 95 -o " + Quote(heic) + " " + Quote(dir / "stored.png"));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        // Without the property the measure sees the turn or mirror.
        ASSERT_EQ(Convert(heic, dir / "plain.jpg"), 0);
        EXPECT_GT(Worst(MeanError(DecodeJpegInProcess(dir / "plain.jpg", 640, 480), referenceMain)), 20.0);
        ReplacePixelInformation(heic, item.type, item.value);
        ExpectUpright(heic, 5.0);
    }
}

// HEVC items come in every chroma layout and at more than 8 bits; each reaches the device as its PNG
// does: colour planes repeated where subsampled, grey with neutral colour, 10 bits brought to 8, and a
// picture large enough to be reduced (decoded without the in-loop filters and averaged down) as well.
TEST_F(UprightPictureTest, HeicOfEveryCodingLayoutConvertsLikeItsPng) {
    if (!HaveProgram("heif-enc")) {
        GTEST_SKIP() << "heif-enc (libheif-examples) is needed for HEIC sources";
    }
    const auto upright = Quote(dir / "upright.png");
    MakeMedia(dir / "deep.png", "-i " + upright + " -pix_fmt rgb48be");
    MakeMedia(dir / "grey.png", "-i " + upright + " -pix_fmt gray");
    MakeMedia(dir / "large.png", "-i " + upright + " -vf scale=1600:1200:flags=bicubic -pix_fmt rgb24");
    const struct {
        const char* heic;
        const char* options;
        const char* png;
        double tolerance;
    } cases[] = {{"subsampled.heic", "", "upright.png", 5.0},
                 {"half.heic", "-p chroma=422 ", "upright.png", 5.0},
                 {"full.heic", "-p chroma=444 ", "upright.png", 4.0},
                 {"ten.heic", "-b 10 ", "deep.png", 5.0},
                 {"grey.heic", "", "grey.png", 4.0},
                 {"large.heic", "", "large.png", 4.0}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.heic);
        const auto made = RunCommand("heif-enc -q 95 " + std::string(item.options) + "-o " +
                                     Quote(dir / item.heic) + " " + Quote(dir / item.png));
        ASSERT_EQ(made.exitCode, 0) << made.output;
        ASSERT_EQ(Convert(dir / item.png, dir / "fromPng.jpg"), 0);
        ASSERT_EQ(Convert(dir / item.heic, dir / "fromHeic.jpg"), 0);
        const RgbPicture fromPng = DecodeJpegInProcess(dir / "fromPng.jpg", 640, 480);
        const RgbPicture fromHeic = DecodeJpegInProcess(dir / "fromHeic.jpg", 640, 480);
        EXPECT_LT(Worst(MeanError(fromHeic, fromPng)), item.tolerance);
        // Grey stays grey: a colour plane read as anything but neutral would tint every pixel.
        if (std::string(item.png) == "grey.png") {
            double tint = 0;
            for (int y = 0; y < 480; y += 8) {
                for (int x = 0; x < 640; x += 8) {
                    const Rgb p = fromHeic.At(x, y);
                    const int spread = std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b});
                    tint = std::max(tint, static_cast<double>(spread));
                }
            }
            EXPECT_LE(tint, 6.0);
        }
    }
}

TEST_F(UprightPictureTest, DamagedNewFormatsAreRefusedWithoutAFile) {
    MakeMedia(dir / "whole.webp", "-i " + Quote(dir / "upright.png") + " -quality 80");
    MakeMedia(dir / "whole.tif", "-i " + Quote(dir / "upright.png"));
    std::vector<std::string> damaged = {"whole.webp", "whole.tif"};
    if (HaveProgram("heif-enc")) {
        ASSERT_EQ(
            RunCommand("heif-enc -q 50 -o " + Quote(dir / "whole.heic") + " " + Quote(dir / "upright.png"))
                .exitCode,
            0);
        damaged.push_back("whole.heic");
    }
    for (const std::string& name : damaged) {
        SCOPED_TRACE(name);
        auto bytes = ReadFileBytes(dir / name);
        bytes.resize(bytes.size() / 3);
        WriteFileBytes(dir / ("cut-" + name), bytes);
        const auto out = dir / "out.jpg";
        EXPECT_EQ(Convert(dir / ("cut-" + name), out), k72::rc::JpegDecodeFailed);
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// The mean brightness of a rectangle of a decoded picture.
double MeanLevel(const RgbPicture& picture, int x0, int y0, int x1, int y1) {
    double sum = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const Rgb p = picture.At(x, y);
            sum += (p.r + p.g + p.b) / 3.0;
        }
    }
    return sum / ((x1 - x0) * (y1 - y0));
}

TEST_F(UprightPictureTest, LetterboxKeepsTheShapeOnBlackAndTheThumbnailFollows) {
    converter.SetFit(FitMode::Letterbox);
    // 3:1: scaled to 640 x 214, bars of 132 and 134 rows above and below.
    WriteRgbPng(dir / "wide.png", MakePicture(720, 240, [](int, int) { return Rgb{200, 200, 200}; }));
    ASSERT_EQ(Convert(dir / "wide.png", dir / "wide.jpg"), 0);
    const RgbPicture wide = DecodeJpegInProcess(dir / "wide.jpg", 640, 480);
    EXPECT_LT(MeanLevel(wide, 0, 0, 640, 128), 2.0);
    EXPECT_LT(MeanLevel(wide, 0, 350, 640, 480), 2.0);
    EXPECT_NEAR(MeanLevel(wide, 0, 136, 640, 344), 200.0, 3.0);
    const RgbPicture wideThumb = Thumbnail(dir / "wide.jpg");
    EXPECT_LT(MeanLevel(wideThumb, 0, 0, 160, 30), 3.0);
    EXPECT_NEAR(MeanLevel(wideThumb, 0, 36, 160, 84), 200.0, 4.0);

    // A 2:3 portrait photo: bars left and right, the picture itself kept whole and in shape.
    WriteRgbPng(dir / "tall.png", SmoothPicture(320, 480));
    ASSERT_EQ(Convert(dir / "tall.png", dir / "tall.jpg"), 0);
    const RgbPicture tall = DecodeJpegInProcess(dir / "tall.jpg", 640, 480);
    EXPECT_LT(MeanLevel(tall, 0, 0, 156, 480), 2.0);
    EXPECT_LT(MeanLevel(tall, 484, 0, 640, 480), 2.0);
    MakeMedia(dir / "tall-expected.png",
              "-i " + Quote(dir / "tall.png") + " -vf scale=320:480,pad=640:480:160:0:black");
    EXPECT_LT(Worst(MeanError(tall, DecodeWithFfmpeg(dir / "tall-expected.png", 640, 480))), 4.0);
}

TEST_F(UprightPictureTest, CropFillsTheFrameWithTheCentre) {
    converter.SetFit(FitMode::Crop);
    // 2:1, 960 x 480: the centre 640 x 480 is kept pixel for pixel, the sides are cut.
    const RgbPicture wide = SmoothPicture(960, 480);
    WriteRgbPng(dir / "wide.png", wide);
    ASSERT_EQ(Convert(dir / "wide.png", dir / "wide.jpg"), 0);
    const RgbPicture centre = MakePicture(640, 480, [&](int x, int y) { return wide.At(x + 160, y); });
    EXPECT_LT(Worst(MeanError(DecodeJpegInProcess(dir / "wide.jpg", 640, 480), centre)), 3.0);
    // Stretched, the same source differs clearly from its centre.
    converter.SetFit(FitMode::Stretch);
    ASSERT_EQ(Convert(dir / "wide.png", dir / "stretched.jpg"), 0);
    EXPECT_GT(Worst(MeanError(DecodeJpegInProcess(dir / "stretched.jpg", 640, 480), centre)), 10.0);
}

} // namespace
