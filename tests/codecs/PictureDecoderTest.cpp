// The picture decoders: every layout a user may bring comes out as the bitmap the still path loads
// (depth, palette, bottom-up rows), broken files are refused, and oversized ones are refused from the
// header.

#include "codecs/PictureDecoder.h"
#include "codecs/BmpPictureReader.h"
#include "codecs/JpegPictureReader.h"
#include "tests/support/StillTestPictures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using k72::CDibImage;
using k72::PictureDecoder;
using k72::ResultCode;
namespace rc = k72::rc;
using namespace k72test;

// Reads one pixel of a decoded bitmap as the still path must see it.
Rgb DibPixel(const CDibImage& image, int x, int y) {
    const std::uint8_t* row = image.TopRow() + static_cast<std::ptrdiff_t>(y) * image.Pitch();
    const int bits = image.BitsPerPixel();
    if (bits <= 8) {
        const std::size_t bit = static_cast<std::size_t>(x) * bits;
        const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        const auto& e = image.palette[index];
        return {e.red, e.green, e.blue};
    }
    if (bits == 16) {
        const unsigned word = row[2 * x] | (row[2 * x + 1] << 8);
        const auto channel = [&](std::uint32_t mask) {
            unsigned shift = 0;
            while (((mask >> shift) & 1u) == 0) {
                ++shift;
            }
            return static_cast<std::uint8_t>(((word & mask) >> shift) * 255 / (mask >> shift));
        };
        return {channel(image.redMask), channel(image.greenMask), channel(image.blueMask)};
    }
    const int bytes = bits / 8;
    return {row[x * bytes + 2], row[x * bytes + 1], row[x * bytes]};
}

int MaxDifference(Rgb a, Rgb b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

// Every pixel of the bitmap against the expected colour, within a tolerance. The decoders of the
// media library's formats store their bitmaps top-down, the others bottom-up.
void ExpectPixels(const CDibImage& image, int width, int height, const std::function<Rgb(int, int)>& expected,
                  int tolerance = 0, bool bottomUp = true) {
    ASSERT_EQ(image.Width(), static_cast<std::uint32_t>(width));
    ASSERT_EQ(image.Height(), static_cast<std::uint32_t>(height));
    EXPECT_EQ(image.Pitch() < 0, bottomUp);
    EXPECT_EQ(image.RowBytes() % 4, 0u);
    int worst = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int d = MaxDifference(DibPixel(image, x, y), expected(x, y));
            if (d > worst) {
                worst = d;
                ASSERT_LE(d, tolerance) << "pixel " << x << "," << y;
            }
        }
    }
}

class PictureDecoderTest : public ::testing::Test {
protected:
    // The code of a decode: 0, or the code of its refusal.
    ResultCode Decode(const std::filesystem::path& path) { return decoder.Decode(path, image).code; }
    TempDir dir;
    PictureDecoder decoder;
    CDibImage image;
};

// ---- JPEG ----

TEST_F(PictureDecoderTest, JpegKindsDecodeToTheirDepthsAndColours) {
    const RgbPicture source = SmoothPicture(96, 64);
    struct Case {
        JpegKind kind;
        int bits;
    };
    for (const Case c : {Case{JpegKind::Baseline, 24}, Case{JpegKind::Progressive, 24},
                         Case{JpegKind::Grey, 8}, Case{JpegKind::Cmyk, 32}}) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        const auto path = dir / ("k" + std::to_string(static_cast<int>(c.kind)) + ".jpg");
        WriteJpeg(path, source, c.kind);
        ASSERT_EQ(Decode(path), 0);
        EXPECT_EQ(image.BitsPerPixel(), c.bits);
        ExpectPixels(
            image, 96, 64,
            [&](int x, int y) {
                const Rgb p = source.At(x, y);
                if (c.kind != JpegKind::Grey) {
                    return p;
                }
                const auto l = static_cast<std::uint8_t>((p.r * 299 + p.g * 587 + p.b * 114) / 1000);
                return Rgb{l, l, l};
            },
            12);
    }
}

TEST_F(PictureDecoderTest, LargeJpegDecodesAtTheSmallestScaleThatCoversTheTarget) {
    EXPECT_EQ(k72::JpegScaleNumerator(4000, 3000, 640, 480), 2); // 1000 x 750
    EXPECT_EQ(k72::JpegScaleNumerator(1280, 960, 640, 480), 4);  // exactly 640 x 480
    EXPECT_EQ(k72::JpegScaleNumerator(1300, 1000, 640, 480), 4); // 3/8 would give 488 x 375
    EXPECT_EQ(k72::JpegScaleNumerator(640, 480, 640, 480), 8);
    EXPECT_EQ(k72::JpegScaleNumerator(320, 240, 640, 480), 8);  // smaller than the target: full size
    EXPECT_EQ(k72::JpegScaleNumerator(5000, 400, 640, 480), 8); // too few rows for any reduction
    EXPECT_EQ(k72::JpegScaleNumerator(4000, 3000, 0, 0), 8);

    const auto path = dir / "large.jpg";
    WriteJpeg(path, SmoothPicture(1600, 1200), JpegKind::Baseline);
    decoder.SetMinimumSize(640, 480);
    ASSERT_EQ(Decode(path), 0);
    EXPECT_EQ(image.Width(), 800u);
    EXPECT_EQ(image.Height(), 600u);
    decoder.SetMinimumSize(0, 0);
    ASSERT_EQ(Decode(path), 0);
    EXPECT_EQ(image.Width(), 1600u);
}

// ---- PNG ----

TEST_F(PictureDecoderTest, PngLayoutsKeepOrWidenTheirDepth) {
    const std::vector<Rgb> palette16 = [] {
        std::vector<Rgb> p;
        for (int i = 0; i < 16; ++i) {
            p.push_back(Rgb{static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(255 - i * 16), 77});
        }
        return p;
    }();
    const auto index = [](int x, int y, int levels) { return static_cast<unsigned>((x + 3 * y) % levels); };
    struct Case {
        std::string name;
        PngLayout layout;
        int expectedBits;
        std::function<unsigned(int, int, int)> sample;
        std::function<Rgb(int, int)> expected;
        int tolerance = 0;
    };
    const auto grey = [](unsigned v) {
        const auto g = static_cast<std::uint8_t>(v);
        return Rgb{g, g, g};
    };
    std::vector<Case> cases;
    cases.push_back(
        {"palette 1-bit, black on white",
         PngLayout{PNG_COLOR_TYPE_PALETTE, 1, false, {Rgb{255, 255, 255}, Rgb{0, 0, 0}}, {}, 0, 0}, 1,
         [&](int x, int y, int) { return index(x, y, 2); },
         [&](int x, int y) {
             return index(x, y, 2) == 0 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
         }});
    cases.push_back({"palette 4-bit", PngLayout{PNG_COLOR_TYPE_PALETTE, 4, false, palette16, {}, 0, 0}, 4,
                     [&](int x, int y, int) { return index(x, y, 16); },
                     [&](int x, int y) { return palette16[index(x, y, 16)]; }});
    cases.push_back({"palette 8-bit", PngLayout{PNG_COLOR_TYPE_PALETTE, 8, false, palette16, {}, 0, 0}, 8,
                     [&](int x, int y, int) { return index(x, y, 16); },
                     [&](int x, int y) { return palette16[index(x, y, 16)]; }});
    cases.push_back(
        {"palette 2-bit",
         PngLayout{PNG_COLOR_TYPE_PALETTE, 2, false, {palette16.begin(), palette16.begin() + 4}, {}, 0, 0},
         32, [&](int x, int y, int) { return index(x, y, 4); },
         [&](int x, int y) { return palette16[index(x, y, 4)]; }});
    cases.push_back({"palette with transparency",
                     PngLayout{PNG_COLOR_TYPE_PALETTE, 8, false, palette16, {0, 128}, 0, 0}, 32,
                     [&](int x, int y, int) { return index(x, y, 16); },
                     [&](int x, int y) { return palette16[index(x, y, 16)]; }});
    cases.push_back({"grey 1-bit", PngLayout{PNG_COLOR_TYPE_GRAY, 1, false, {}, {}, 0, 0}, 1,
                     [&](int x, int y, int) { return index(x, y, 2); },
                     [&](int x, int y) { return grey(index(x, y, 2) * 255); }});
    cases.push_back({"grey 4-bit", PngLayout{PNG_COLOR_TYPE_GRAY, 4, false, {}, {}, 0, 0}, 4,
                     [&](int x, int y, int) { return index(x, y, 16); },
                     [&](int x, int y) { return grey(index(x, y, 16) * 17); }});
    cases.push_back({"grey 8-bit", PngLayout{PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, 0, 0}, 8,
                     [&](int x, int y, int) { return index(x, y, 256); },
                     [&](int x, int y) { return grey(index(x, y, 256)); }});
    cases.push_back({"grey 16-bit", PngLayout{PNG_COLOR_TYPE_GRAY, 16, false, {}, {}, 0, 0}, 32,
                     [&](int x, int y, int) { return index(x, y, 256) * 257; },
                     [&](int x, int y) { return grey(index(x, y, 256)); }});
    cases.push_back({"grey with alpha", PngLayout{PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {}, {}, 0, 0}, 32,
                     [&](int x, int y, int c) { return c == 0 ? index(x, y, 256) : 0u; },
                     [&](int x, int y) { return grey(index(x, y, 256)); }});
    const RgbPicture smooth = SmoothPicture(37, 23);
    const auto channel = [&](int x, int y, int c) {
        const Rgb p = smooth.At(x, y);
        return static_cast<unsigned>(c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : 10);
    };
    const auto smoothAt = [&](int x, int y) { return smooth.At(x, y); };
    cases.push_back({"RGB 8-bit", PngLayout{}, 24, channel, smoothAt});
    cases.push_back({"RGB 8-bit interlaced", PngLayout{PNG_COLOR_TYPE_RGB, 8, true, {}, {}, 0, 0}, 24,
                     channel, smoothAt});
    cases.push_back({"RGB with transparent colour", PngLayout{PNG_COLOR_TYPE_RGB, 8, false, {}, {7}, 0, 0},
                     32, channel, smoothAt});
    cases.push_back({"RGB 16-bit", PngLayout{PNG_COLOR_TYPE_RGB, 16, false, {}, {}, 0, 0}, 32,
                     [&](int x, int y, int c) { return channel(x, y, c) * 257; }, smoothAt});
    cases.push_back({"RGBA 8-bit, alpha ignored", PngLayout{PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {}, {}, 0, 0},
                     32, channel, smoothAt});
    cases.push_back({"RGBA 16-bit interlaced", PngLayout{PNG_COLOR_TYPE_RGB_ALPHA, 16, true, {}, {}, 0, 0},
                     32, [&](int x, int y, int c) { return channel(x, y, c) * 257; }, smoothAt});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / "layout.png";
        WritePng(path, 37, 23, c.layout, c.sample);
        ASSERT_EQ(Decode(path), 0);
        EXPECT_EQ(image.BitsPerPixel(), c.expectedBits);
        ExpectPixels(image, 37, 23, c.expected, c.tolerance);
    }
}

// ---- BMP ----

TEST_F(PictureDecoderTest, BmpLayoutsKeepTheirDepthPaletteAndOrientation) {
    const std::vector<Rgb> palette16 = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                        {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                        {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    const RgbPicture smooth = SmoothPicture(13, 9);
    struct Case {
        std::string name;
        BmpLayout layout;
        std::function<std::uint32_t(int, int)> stored;
        std::function<Rgb(int, int)> expected;
        int tolerance = 0;
    };
    const auto index = [](int x, int y, int levels) {
        return static_cast<std::uint32_t>((x * 7 + y) % levels);
    };
    std::vector<Case> cases;
    cases.push_back({"1-bit black on white", BmpLayout{1, false, {{255, 255, 255}, {0, 0, 0}}, false},
                     [&](int x, int y) { return index(x, y, 2); },
                     [&](int x, int y) {
                         return index(x, y, 2) == 0 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
                     }});
    cases.push_back({"1-bit two colours", BmpLayout{1, false, {{10, 200, 30}, {250, 5, 90}}, false},
                     [&](int x, int y) { return index(x, y, 2); },
                     [&](int x, int y) {
                         return index(x, y, 2) == 0 ? Rgb{10, 200, 30} : Rgb{250, 5, 90};
                     }});
    cases.push_back({"4-bit odd width", BmpLayout{4, false, palette16, false},
                     [&](int x, int y) { return index(x, y, 16); },
                     [&](int x, int y) { return palette16[index(x, y, 16)]; }});
    cases.push_back({"8-bit top-down", BmpLayout{8, true, palette16, false},
                     [&](int x, int y) { return index(x, y, 16); },
                     [&](int x, int y) { return palette16[index(x, y, 16)]; }});
    cases.push_back({"16-bit 5-5-5", BmpLayout{16, false, {}, false},
                     [&](int x, int y) {
                         const Rgb p = smooth.At(x, y);
                         return static_cast<std::uint32_t>(((p.r >> 3) << 10) | ((p.g >> 3) << 5) |
                                                           (p.b >> 3));
                     },
                     [&](int x, int y) { return smooth.At(x, y); }, 8});
    cases.push_back({"16-bit 5-6-5", BmpLayout{16, false, {}, true},
                     [&](int x, int y) {
                         const Rgb p = smooth.At(x, y);
                         return static_cast<std::uint32_t>(((p.r >> 3) << 11) | ((p.g >> 2) << 5) |
                                                           (p.b >> 3));
                     },
                     [&](int x, int y) { return smooth.At(x, y); }, 8});
    cases.push_back({"24-bit odd width", BmpLayout{24, false, {}, false},
                     [&](int x, int y) { return Packed(smooth.At(x, y)); },
                     [&](int x, int y) { return smooth.At(x, y); }});
    cases.push_back({"24-bit top-down", BmpLayout{24, true, {}, false},
                     [&](int x, int y) { return Packed(smooth.At(x, y)); },
                     [&](int x, int y) { return smooth.At(x, y); }});
    cases.push_back({"32-bit", BmpLayout{32, false, {}, false},
                     [&](int x, int y) { return Packed(smooth.At(x, y)); },
                     [&](int x, int y) { return smooth.At(x, y); }});
    // Bit fields the media library's BMP decoder refuses: whole bytes in the BMP suite's own order, and
    // 10 bits a channel.
    cases.push_back({"32-bit bit fields, bytes reordered",
                     BmpLayout{32, false, {}, false, {0xFF000000, 0x00000FF0, 0x00FF0000}},
                     [&](int x, int y) {
                         const Rgb p = smooth.At(x, y);
                         return (std::uint32_t{p.r} << 24) | (std::uint32_t{p.g} << 4) |
                                (std::uint32_t{p.b} << 16);
                     },
                     [&](int x, int y) { return smooth.At(x, y); }});
    cases.push_back({"32-bit bit fields, 10 bits a channel",
                     BmpLayout{32, true, {}, false, {0x3FF00000, 0x000FFC00, 0x000003FF}},
                     [&](int x, int y) {
                         const Rgb p = smooth.At(x, y);
                         const auto ten = [](std::uint8_t v) { return std::uint32_t{v} * 1023 / 255; };
                         return (ten(p.r) << 20) | (ten(p.g) << 10) | ten(p.b);
                     },
                     [&](int x, int y) { return smooth.At(x, y); }, 1});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / "layout.bmp";
        WriteBmp(path, 13, 9, c.layout, c.stored);
        ASSERT_EQ(Decode(path), 0);
        EXPECT_EQ(image.BitsPerPixel(), c.layout.bits);
        ExpectPixels(image, 13, 9, c.expected, c.tolerance);
    }
}

TEST_F(PictureDecoderTest, ContentDecidesNotTheName) {
    const auto path = dir / "really-a-png.jpg";
    WriteRgbPng(path, SmoothPicture(20, 10));
    EXPECT_EQ(Decode(path), 0);
    EXPECT_EQ(image.Width(), 20u);
}

TEST_F(PictureDecoderTest, TwelveBitJpegDecodesInColour) {
    // Blocks ramping in luma across and in Cb down, Cr at its middle.
    const auto ycc = [](int bx, int by) {
        return std::array<int, 3>{bx * 4095 / 7, 2048 + (by - 2) * 500, 2048};
    };
    WriteFileBytes(dir / "deep.jpg", TwelveBitJpegBytes(8, 5, ycc));
    decoder.SetMinimumSize(16, 16); // a reduced decode is asked for, as the converter does
    ASSERT_EQ(Decode(dir / "deep.jpg"), 0);
    ExpectPixels(
        image, 64, 40,
        [&](int x, int y) {
            const auto c = ycc(x / 8, y / 8);
            const double luma = c[0] / 16.0;
            const double blue = c[1] / 16.0 - 128;
            const double red = c[2] / 16.0 - 128;
            const auto clip = [](double v) {
                return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
            };
            return Rgb{clip(luma + 1.402 * red), clip(luma - 0.344136 * blue - 0.714136 * red),
                       clip(luma + 1.772 * blue)};
        },
        3, false);
}

TEST_F(PictureDecoderTest, AnimatedWebpGivesItsFirstFrame) {
    ASSERT_TRUE(
        MakeMedia(dir / "moving.webp",
                  "-f lavfi -i testsrc2=size=64x48:rate=5:duration=1 -vf format=bgra -c:v libwebp_anim "
                  "-lossless 1 -loop 0"));
    ASSERT_TRUE(MakeMedia(dir / "first.png",
                          "-f lavfi -i testsrc2=size=64x48:rate=5:duration=1 -vf format=bgra -frames:v 1"));
    ASSERT_EQ(Decode(dir / "moving.webp"), 0);
    const RgbPicture first = DecodeWithFfmpeg(dir / "first.png", 64, 48);
    ExpectPixels(
        image, 64, 48, [&](int x, int y) { return first.At(x, y); }, 3);
}

// ---- broken and oversized files ----

TEST_F(PictureDecoderTest, BrokenFilesAreRefusedWithTheirCause) {
    const auto jpeg = dir / "whole.jpg";
    const auto png = dir / "whole.png";
    const auto bmp = dir / "whole.bmp";
    WriteJpeg(jpeg, SmoothPicture(64, 48), JpegKind::Baseline);
    WriteRgbPng(png, SmoothPicture(64, 48));
    WriteBmp(bmp, 64, 48, BmpLayout{}, [](int x, int y) { return static_cast<std::uint32_t>(x * y); });
    const auto cut = [&](const std::filesystem::path& from, const std::string& name) {
        auto bytes = ReadFileBytes(from);
        bytes.resize(bytes.size() / 2);
        WriteFileBytes(dir / name, bytes);
        return dir / name;
    };
    const std::string text = "this is not a picture at all, only a line of text\n";
    WriteFileBytes(dir / "text.jpg", std::vector<std::uint8_t>(text.begin(), text.end()));
    WriteFileBytes(dir / "empty.png", {});
    const std::string gif = "GIF89a\x01\x00\x01\x00\x80\x00\x00";
    WriteFileBytes(dir / "picture.gif.png", std::vector<std::uint8_t>(gif.begin(), gif.end()));
    std::filesystem::create_directory(dir / "folder.jpg");

    WriteFileBytes(dir / "paper.jpg", {'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n', 0x80, 0x81});
    WriteFileBytes(dir / "photos.png", {'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0, 0x55, 0xAA});
    WriteFileBytes(dir / "noise.bmp", {'B', 'M', 0x10, 0x27, 0xF3, 0x00, 0x81});
    const struct {
        std::filesystem::path path;
        const char* cause;
    } cases[] = {
        {cut(jpeg, "cut.jpg"), "the file ends before the picture is complete"},
        {cut(png, "cut.png"), "the file ends before the picture is complete"},
        {cut(bmp, "cut.bmp"), "the file ends before the picture is complete"},
        {dir / "text.jpg", "this is not a picture: it is a text file"},
        {dir / "paper.jpg", "this is not a picture: it is a PDF document"},
        {dir / "photos.png", "this is not a picture: it is a ZIP archive or an office document"},
        {dir / "noise.bmp", "the file ends before the picture is complete"},
        {dir / "empty.png", "the file is empty"},
        {dir / "picture.gif.png", "the GIF picture is damaged"},
        {dir / "missing.bmp", "the file does not exist"},
        {dir / "folder.jpg", "this is a folder or a device, not a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.filename().string());
        const k72::ConversionProblem problem = decoder.Decode(c.path, image);
        EXPECT_EQ(problem.code, rc::JpegDecodeFailed);
        EXPECT_EQ(problem.cause, c.cause);
    }
    // The decoder is not left in a bad state by them.
    EXPECT_EQ(Decode(bmp), 0);
    EXPECT_EQ(Decode(jpeg), 0);
}

TEST_F(PictureDecoderTest, OversizedPicturesAreRefusedFromTheirHeader) {
    // PNG: a valid IHDR declaring 100,000 x 100,000 pixels, and nothing else.
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    const std::vector<std::uint8_t> ihdr = {'I', 'H',  'D',  'R', 0, 1, 0x86, 0xA0, 0,
                                            1,   0x86, 0xA0, 8,   2, 0, 0,    0};
    png.insert(png.end(), ihdr.begin(), ihdr.end());
    const std::uint32_t crc = Crc32(ihdr.data(), ihdr.size());
    for (int shift = 24; shift >= 0; shift -= 8) {
        png.push_back(static_cast<std::uint8_t>(crc >> shift));
    }
    WriteFileBytes(dir / "huge.png", png);

    // BMP: a header declaring 100,000 x 100,000 24-bit pixels.
    auto bmp = BmpBytes(4, 4, BmpLayout{}, [](int, int) { return 0u; });
    for (int at : {18, 22}) {
        bmp[at] = 0xA0;
        bmp[at + 1] = 0x86;
        bmp[at + 2] = 0x01;
    }
    WriteFileBytes(dir / "huge.bmp", bmp);

    // JPEG: a real file whose frame header is changed to 60,000 x 60,000.
    WriteJpeg(dir / "small.jpg", SmoothPicture(16, 16), JpegKind::Baseline);
    auto jpeg = ReadFileBytes(dir / "small.jpg");
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = jpeg[i + 7] = 0xEA;
            jpeg[i + 6] = jpeg[i + 8] = 0x60;
            break;
        }
    }
    WriteFileBytes(dir / "huge.jpg", jpeg);

    for (const auto& [name, cause] :
         {std::pair{"huge.png", "the picture is 100000 \u00D7 100000, larger than the 134-megapixel limit"},
          std::pair{"huge.bmp", "the picture is 100000 \u00D7 100000, larger than the 134-megapixel limit"},
          std::pair{"huge.jpg", "the picture is 60000 \u00D7 60000, larger than the 134-megapixel limit"}}) {
        SCOPED_TRACE(name);
        const auto start = std::chrono::steady_clock::now();
        const k72::ConversionProblem problem = decoder.Decode(dir / name, image);
        EXPECT_EQ(problem.code, rc::JpegUnsupportedLayout);
        EXPECT_EQ(problem.cause, cause);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

// A run-length bitmap: 14 + 40 header bytes, a two-colour palette and the given runs.
std::vector<std::uint8_t> RleBmp(std::uint32_t width, std::uint32_t height, int bits,
                                 std::uint32_t compression, const std::vector<std::uint8_t>& runs) {
    std::vector<std::uint8_t> b(14 + 40 + 8, 0);
    const auto le32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    b[0] = 'B';
    b[1] = 'M';
    le32(2, static_cast<std::uint32_t>(b.size() + runs.size()));
    le32(10, static_cast<std::uint32_t>(b.size()));
    le32(14, 40);
    le32(18, width);
    le32(22, height);
    b[26] = 1;
    b[28] = static_cast<std::uint8_t>(bits);
    le32(30, compression);
    le32(34, static_cast<std::uint32_t>(runs.size()));
    le32(46, 2);                                                  // colours used
    const std::uint8_t palette[8] = {0, 0, 255, 0, 0, 255, 0, 0}; // B, G, R, 0: red, green
    std::copy(palette, palette + 8, b.begin() + 54);
    b.insert(b.end(), runs.begin(), runs.end());
    return b;
}

TEST_F(PictureDecoderTest, RunLengthBitmapsDecodeOnlyAtTheirOwnDepth) {
    // 4 x 2, bottom row first: four green pixels; then two red and two green; end of bitmap.
    const std::vector<std::uint8_t> runs = {4, 1, 0, 0, 2, 0, 2, 1, 0, 0, 0, 1};
    WriteFileBytes(dir / "rle8.bmp", RleBmp(4, 2, 8, 1, runs));
    ASSERT_EQ(Decode(dir / "rle8.bmp"), 0);
    ExpectPixels(
        image, 4, 2,
        [](int x, int y) {
            return y == 0 && x < 2 ? Rgb{255, 0, 0} : Rgb{0, 255, 0};
        },
        0);

    // Run-length data on other depths is no bitmap. A few such bytes once declared a 514 x 131,323
    // picture that took seconds and more than a gigabyte to make: refused at once now.
    for (const auto& [name, bytes] : {std::pair{"rle8-32bit.bmp", RleBmp(514, 131323, 32, 1, runs)},
                                      std::pair{"rle8-24bit.bmp", RleBmp(4, 2, 24, 1, runs)},
                                      std::pair{"rle4-8bit.bmp", RleBmp(4, 2, 8, 2, runs)}}) {
        SCOPED_TRACE(name);
        WriteFileBytes(dir / name, bytes);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Decode(dir / name), rc::JpegDecodeFailed);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

TEST(BmpHeaderTest, DeclaredSizeAndDepth) {
    const auto bytes =
        BmpBytes(13, 9, BmpLayout{4, true, std::vector<Rgb>(16), false}, [](int, int) { return 0u; });
    k72::BmpPictureReader::Header header;
    ASSERT_TRUE(k72::BmpPictureReader::ReadHeader(bytes.data(), bytes.size(), header));
    EXPECT_EQ(header.width, 13);
    EXPECT_EQ(header.height, -9);
    EXPECT_EQ(header.bitsPerPixel, 4);
    EXPECT_FALSE(k72::BmpPictureReader::ReadHeader(bytes.data(), 20, header));
}

} // namespace
