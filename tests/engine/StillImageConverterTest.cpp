// The still image converter end to end: every kind of source picture becomes a device picture file that
// independent readers (exiftool, ffprobe, ffmpeg) accept and that looks like the stretched source; bad
// sources and failed writes get their codes and leave no file.

#include "engine/StillImageConverter.h"
#include "tests/support/StillTestPictures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using k72::CAVFrame;
using k72::CDibImage;
using k72::PixelFormat;
using k72::StillImageConverter;
using namespace k72test;

// The source stretched to w x h by ffmpeg's own scaler: what the device picture should look like.
RgbPicture Stretched(const TempDir& dir, const RgbPicture& source, int w, int h) {
    const auto png = dir / "expected-source.png";
    WriteRgbPng(png, source);
    const auto scaled = dir / ("expected-" + std::to_string(w) + ".png");
    MakeMedia(scaled, "-i " + Quote(png) + " -vf scale=" + std::to_string(w) + ":" + std::to_string(h));
    return DecodeWithFfmpeg(scaled, w, h);
}

class StillImageConverterTest : public ::testing::Test {
protected:
    std::filesystem::path Output(const std::string& name = "K72_0001.JPG") const { return dir / name; }
    k72::ResultCode Convert(const std::filesystem::path& source, const std::filesystem::path& destination) {
        return converter.Convert(source.string(), destination.string()).code;
    }
    TempDir dir;
    StillImageConverter converter;
};

TEST_F(StillImageConverterTest, IndependentReadersAcceptTheDevicePicture) {
    ASSERT_EQ(converter.ConstructResult(), 0);
    const RgbPicture source = SmoothPicture(800, 600);
    WriteRgbPng(dir / "source.png", source);
    ASSERT_EQ(Convert(dir / "source.png", Output()), 0);

    const auto tags = RunCommand("exiftool -s -s -s -Make -Model -Software -DateTimeOriginal -CreateDate "
                                 "-ExifImageWidth -ExifImageHeight " +
                                 Quote(Output()));
    EXPECT_EQ(tags.output, "KAVELO\nK-72\nVer1.00\n2000:01:01 00:03:24\n2000:01:01 00:03:24\n640\n480\n");
    const auto extracted =
        RunCommand("exiftool -b -ThumbnailImage " + Quote(Output()) + " > " + Quote(dir / "thumb.jpg"));
    ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
    const auto probe = [](const std::filesystem::path& path) {
        return RunCommand(
                   "ffprobe -v error -show_entries stream=codec_name,width,height,pix_fmt -of csv=p=0 " +
                   Quote(path))
            .output;
    };
    EXPECT_EQ(probe(Output()), "mjpeg,640,480,yuvj422p\n");
    EXPECT_EQ(probe(dir / "thumb.jpg"), "mjpeg,160,120,yuvj422p\n");

    for (const auto& [file, w, h] :
         {std::tuple{Output(), 640, 480}, std::tuple{dir / "thumb.jpg", 160, 120}}) {
        const auto error = MeanError(DecodeWithFfmpeg(file, w, h), Stretched(dir, source, w, h));
        for (double e : error) {
            EXPECT_LT(e, 8.0) << file;
        }
    }
}

TEST_F(StillImageConverterTest, StretchesToTheWholeFrameWithoutBorders) {
    // 1280 x 480: left half red, right half blue. Squeezed across, never letterboxed.
    const RgbPicture wide = MakePicture(1280, 480, [](int x, int) {
        return x < 640 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
    });
    WriteRgbPng(dir / "wide.png", wide);
    ASSERT_EQ(Convert(dir / "wide.png", Output()), 0);
    const RgbPicture out = DecodeJpegInProcess(Output(), 640, 480);
    ASSERT_FALSE(out.bytes.empty());
    for (int y : {2, 240, 477}) {
        EXPECT_GT(out.At(2, y).r, 230) << y;
        EXPECT_GT(out.At(310, y).r, 230) << y;
        EXPECT_GT(out.At(330, y).b, 230) << y;
        EXPECT_GT(out.At(637, y).b, 230) << y;
    }
    // A 640 x 480 source goes straight to the colour conversion.
    const RgbPicture exact = SmoothPicture(640, 480);
    WriteRgbPng(dir / "exact.png", exact);
    ASSERT_EQ(Convert(dir / "exact.png", Output()), 0);
    for (double e : MeanError(DecodeJpegInProcess(Output(), 640, 480), exact)) {
        EXPECT_LT(e, 4.0);
    }
}

TEST_F(StillImageConverterTest, EveryKindOfSourceConverts) {
    const int w = 333; // odd sizes on purpose
    const int h = 251;
    const RgbPicture smooth = SmoothPicture(w, h);
    const RgbPicture reference = Stretched(dir, smooth, 640, 480);
    // Grey and 16-bit sources are compared with what they can hold.
    const RgbPicture grey = MakePicture(w, h, [&](int x, int y) {
        const Rgb p = smooth.At(x, y);
        const auto l = static_cast<std::uint8_t>((p.r * 299 + p.g * 587 + p.b * 114) / 1000);
        return Rgb{l, l, l};
    });
    const RgbPicture greyReference = Stretched(dir, grey, 640, 480);
    const auto channel = [&](int x, int y, int c) {
        const Rgb p = smooth.At(x, y);
        return static_cast<unsigned>(c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : 0);
    };

    struct Case {
        std::string name;
        std::function<void(const std::filesystem::path&)> make;
        const RgbPicture* expected;
    };
    const std::vector<Case> cases = {
        {"baseline.jpg", [&](const auto& p) { WriteJpeg(p, smooth, JpegKind::Baseline); }, &reference},
        {"progressive.jpg", [&](const auto& p) { WriteJpeg(p, smooth, JpegKind::Progressive); }, &reference},
        {"grey.jpg", [&](const auto& p) { WriteJpeg(p, smooth, JpegKind::Grey); }, &greyReference},
        {"cmyk.jpg", [&](const auto& p) { WriteJpeg(p, smooth, JpegKind::Cmyk); }, &reference},
        {"interlaced.png", [&](const auto& p) { WriteRgbPng(p, smooth, true); }, &reference},
        {"16bit.png",
         [&](const auto& p) {
             WritePng(p, w, h, PngLayout{PNG_COLOR_TYPE_RGB, 16, false, {}, {}, 0, 0},
                      [&](int x, int y, int c) { return channel(x, y, c) * 257; });
         },
         &reference},
        {"alpha.png",
         [&](const auto& p) {
             WritePng(p, w, h, PngLayout{PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {}, {}, 0, 0}, channel);
         },
         &reference},
        {"grey.png",
         [&](const auto& p) {
             WritePng(p, w, h, PngLayout{PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, 0, 0},
                      [&](int x, int y, int) { return static_cast<unsigned>(grey.At(x, y).r); });
         },
         &greyReference},
        {"24bit.bmp",
         [&](const auto& p) {
             WriteBmp(p, w, h, BmpLayout{}, [&](int x, int y) { return Packed(smooth.At(x, y)); });
         },
         &reference},
        {"topdown.bmp",
         [&](const auto& p) {
             WriteBmp(p, w, h, BmpLayout{24, true, {}, false},
                      [&](int x, int y) { return Packed(smooth.At(x, y)); });
         },
         &reference},
        {"32bit.bmp",
         [&](const auto& p) {
             WriteBmp(p, w, h, BmpLayout{32, false, {}, false},
                      [&](int x, int y) { return Packed(smooth.At(x, y)); });
         },
         &reference},
        {"16bit.bmp",
         [&](const auto& p) {
             WriteBmp(p, w, h, BmpLayout{16, false, {}, true}, [&](int x, int y) {
                 const Rgb c = smooth.At(x, y);
                 return static_cast<std::uint32_t>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
             });
         },
         &reference},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto source = dir / c.name;
        c.make(source);
        ASSERT_EQ(Convert(source, Output()), 0);
        for (double e : MeanError(DecodeJpegInProcess(Output(), 640, 480), *c.expected)) {
            EXPECT_LT(e, 8.0);
        }
    }
}

TEST_F(StillImageConverterTest, PalettePicturesUseTheirOwnColours) {
    // An ordinary black-on-white 1-bit drawing: index 0 black, index 1 white, mostly white paper with a
    // black right quarter. Read with a fixed white/black palette it would come out as its negative.
    const auto paper = [](int x, int) { return x < 300 ? 1u : 0u; };
    WriteBmp(dir / "drawing.bmp", 401, 203, BmpLayout{1, false, {{0, 0, 0}, {255, 255, 255}}, false}, paper);
    // 4-bit and 8-bit palettes, odd widths; a top-down 8-bit one.
    const std::vector<Rgb> colours = {{200, 40, 40}, {40, 200, 40}, {40, 40, 200}, {250, 250, 20}};
    const auto quarters = [](int x, int y) {
        return static_cast<std::uint32_t>((x < 200 ? 0 : 1) + (y < 100 ? 0 : 2));
    };
    WriteBmp(dir / "four.bmp", 401, 203, BmpLayout{4, false, colours, false}, quarters);
    WriteBmp(dir / "eight.bmp", 401, 203, BmpLayout{8, true, colours, false}, quarters);
    WritePng(dir / "palette.png", 401, 203, PngLayout{PNG_COLOR_TYPE_PALETTE, 4, false, colours, {}, 0, 0},
             [&](int x, int y, int) { return static_cast<unsigned>(quarters(x, y)); });

    ASSERT_EQ(Convert(dir / "drawing.bmp", Output()), 0);
    RgbPicture out = DecodeJpegInProcess(Output(), 640, 480);
    ASSERT_FALSE(out.bytes.empty());
    EXPECT_GT(out.At(100, 240).r, 245);
    EXPECT_GT(out.At(100, 240).g, 245);
    EXPECT_LT(out.At(600, 240).r, 10);

    for (const char* name : {"four.bmp", "eight.bmp", "palette.png"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(Convert(dir / name, Output()), 0);
        out = DecodeJpegInProcess(Output(), 640, 480);
        ASSERT_FALSE(out.bytes.empty());
        const std::pair<int, int> places[] = {{100, 100}, {500, 100}, {100, 400}, {500, 400}};
        for (int q = 0; q < 4; ++q) {
            const Rgb got = out.At(places[q].first, places[q].second);
            EXPECT_NEAR(got.r, colours[q].r, 8) << q;
            EXPECT_NEAR(got.g, colours[q].g, 8) << q;
            EXPECT_NEAR(got.b, colours[q].b, 8) << q;
        }
    }
}

TEST_F(StillImageConverterTest, BadSourcesGetTheirCodeAndNoFile) {
    WriteJpeg(dir / "whole.jpg", SmoothPicture(320, 240), JpegKind::Baseline);
    auto bytes = ReadFileBytes(dir / "whole.jpg");
    bytes.resize(bytes.size() * 2 / 3);
    WriteFileBytes(dir / "truncated.jpg", bytes);
    WriteFileBytes(dir / "empty.jpg", {});
    const std::string text = "Dear diary, today I renamed a letter to .png\n";
    WriteFileBytes(dir / "letter.png", std::vector<std::uint8_t>(text.begin(), text.end()));
    WriteFileBytes(dir / "noise.bmp", std::vector<std::uint8_t>(5000, 0x42));

    for (const char* name : {"truncated.jpg", "empty.jpg", "letter.png", "noise.bmp", "missing.jpg"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Convert(dir / name, Output()), k72::rc::JpegDecodeFailed);
        EXPECT_FALSE(std::filesystem::exists(Output()));
    }

    // A few bytes of PNG declaring 100,000 x 100,000 pixels: refused before anything large is allocated.
    WritePng(dir / "tiny.png", 4, 4, PngLayout{}, [](int, int, int) { return 0u; });
    auto png = ReadFileBytes(dir / "tiny.png");
    png.resize(33); // signature and IHDR only
    png[16] = png[20] = 0;
    png[17] = png[21] = 1;
    png[18] = png[22] = 0x86;
    png[19] = png[23] = 0xA0;
    WriteFileBytes(dir / "huge.png", png);
    EXPECT_EQ(Convert(dir / "huge.png", Output()), k72::rc::JpegUnsupportedLayout);
    EXPECT_FALSE(std::filesystem::exists(Output()));

    // A picture file under another picture's extension is still read by its content.
    std::filesystem::copy_file(dir / "whole.jpg", dir / "renamed.png");
    EXPECT_EQ(Convert(dir / "renamed.png", Output()), 0);
}

TEST_F(StillImageConverterTest, FailedWritesReturnFailureAndLeaveNoPicture) {
    WriteRgbPng(dir / "source.png", SmoothPicture(200, 150));
    EXPECT_EQ(Convert(dir / "source.png", dir / "missing" / "out.jpg"), k72::rc::Fail);
    std::filesystem::create_directory(dir / "taken.jpg");
    EXPECT_EQ(Convert(dir / "source.png", dir / "taken.jpg"), k72::rc::Fail);
    if (::geteuid() == 0) {
        EXPECT_EQ(Convert(dir / "source.png", "/proc/k72-still-test.jpg"), k72::rc::Fail);
    }

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4000; // the disk fills up in the middle of the picture
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const k72::ResultCode full = Convert(dir / "source.png", Output());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(full, k72::rc::Fail);
    EXPECT_FALSE(std::filesystem::exists(Output()));

    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"source.png", "taken.jpg"}));
    // The converter is fine afterwards.
    EXPECT_EQ(Convert(dir / "source.png", Output()), 0);
}

TEST_F(StillImageConverterTest, OneConverterServesPictureAfterPicture) {
    WriteJpeg(dir / "a.jpg", SmoothPicture(1600, 1200), JpegKind::Baseline);
    WriteRgbPng(dir / "b.png", SmoothPicture(300, 200));
    WriteBmp(dir / "c.bmp", 640, 480, BmpLayout{},
             [](int x, int y) { return static_cast<std::uint32_t>(x * 131 + y); });
    WriteFileBytes(dir / "d.jpg", {0xFF, 0xD8, 0xFF});
    const char* sequence[] = {"a.jpg", "b.png", "d.jpg", "c.bmp", "a.jpg", "b.png"};
    int n = 0;
    for (const char* name : sequence) {
        SCOPED_TRACE(name);
        const auto out = Output("out" + std::to_string(n++) + ".jpg");
        EXPECT_EQ(Convert(dir / name, out), std::string(name) == "d.jpg" ? k72::rc::JpegDecodeFailed : 0);
    }
    // The same source twice gives the same file: nothing of one picture leaks into the next
    // (the rate control of the encoder aside, which is why the thumbnails are compared).
    const auto thumbOf = [&](const std::string& name) {
        const auto bytes = ReadFileBytes(Output(name));
        const std::size_t length = bytes[4] << 8 | bytes[5];
        return std::vector<std::uint8_t>(bytes.begin() + 448,
                                         bytes.begin() + 4 + static_cast<std::ptrdiff_t>(length));
    };
    EXPECT_EQ(thumbOf("out0.jpg"), thumbOf("out4.jpg"));
    EXPECT_EQ(thumbOf("out1.jpg"), thumbOf("out5.jpg"));
    converter.SetQuality(0.8f);
    EXPECT_FLOAT_EQ(converter.Quality(), 0.8f);
}

// ---- the steps inside ----

TEST(TransformFrameTest, EachSourceFormatTakesItsPath) {
    StillImageConverter::WorkFrames work;
    CAVFrame target;
    ASSERT_TRUE(target.Create(PixelFormat::YUVJ422P, 8, 4));

    // BGR sources are flipped on the way: the top row (red) ends at the bottom.
    CAVFrame bgr;
    ASSERT_TRUE(bgr.Create(PixelFormat::BGR24, 8, 4));
    for (int i = 0; i < 32; ++i) {
        std::uint8_t* p = bgr.GetBuffer() + i * 3;
        const bool top = i < 8;
        p[0] = top ? 0 : 255, p[1] = 0, p[2] = top ? 255 : 0;
    }
    ASSERT_TRUE(StillImageConverter::TransformFrame(target, bgr, work));
    EXPECT_NEAR(target.GetPlanes()->data[0][0], 29, 2);     // blue on top
    EXPECT_NEAR(target.GetPlanes()->data[0][3 * 8], 76, 2); // red at the bottom
    ASSERT_NE(work.pInvFrame, nullptr);

    // RGB32 sources have their bytes reversed to BGR32 first.
    CAVFrame xrgb;
    ASSERT_TRUE(xrgb.Create(PixelFormat::RGB32, 8, 4));
    for (int i = 0; i < 32; ++i) {
        std::uint8_t* p = xrgb.GetBuffer() + i * 4;
        p[0] = 0, p[1] = 255, p[2] = 0, p[3] = 0; // X, R, G, B: red
    }
    ASSERT_TRUE(StillImageConverter::TransformFrame(target, xrgb, work));
    EXPECT_NEAR(target.GetPlanes()->data[0][0], 76, 2);
    EXPECT_NEAR(target.GetPlanes()->data[2][0], 255, 2);
    ASSERT_NE(work.pBGR32Frame, nullptr);
    CAVFrame bgrx;
    ASSERT_TRUE(bgrx.Create(PixelFormat::BGR32, 8, 4));
    ASSERT_TRUE(StillImageConverter::TransformFrame(bgrx, xrgb, work)); // straight into a BGR32 target
    EXPECT_EQ(bgrx.GetBuffer()[2], 255);

    // RGB24 of another size: resized into the work frame, which is then kept.
    CAVFrame rgb;
    ASSERT_TRUE(rgb.Create(PixelFormat::RGB24, 20, 10));
    std::fill(rgb.GetBuffer(), rgb.GetBuffer() + rgb.GetSize(), 128);
    ASSERT_TRUE(StillImageConverter::TransformFrame(target, rgb, work));
    ASSERT_NE(work.pResizeFrame, nullptr);
    const std::uint8_t* kept = work.pResizeFrame->GetBuffer();
    ASSERT_TRUE(StillImageConverter::TransformFrame(target, rgb, work));
    EXPECT_EQ(work.pResizeFrame->GetBuffer(), kept);
    EXPECT_EQ(target.GetPlanes()->data[0][5], 128);

    // Same format, other size: resized straight into the target. Same shape: copied.
    CAVFrame small;
    ASSERT_TRUE(small.Create(PixelFormat::RGB24, 4, 2));
    ASSERT_TRUE(StillImageConverter::TransformFrame(small, rgb, work));
    EXPECT_EQ(small.GetBuffer()[7], 128);
    CAVFrame copy;
    ASSERT_TRUE(copy.Create(PixelFormat::RGB24, 4, 2));
    ASSERT_TRUE(StillImageConverter::TransformFrame(copy, small, work));
    EXPECT_EQ(std::vector<std::uint8_t>(copy.GetBuffer(), copy.GetBuffer() + 24),
              std::vector<std::uint8_t>(small.GetBuffer(), small.GetBuffer() + 24));

    CAVFrame empty;
    EXPECT_FALSE(StillImageConverter::TransformFrame(target, empty, work));
}

// A bitmap built by hand: rows given top first, stored bottom-up or top-down.
CDibImage& MakeDib(CDibImage& image, int width, int bits, const std::vector<std::vector<std::uint8_t>>& rows,
                   bool bottomUp = true) {
    EXPECT_TRUE(image.Allocate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(rows.size()),
                               bits, bottomUp));
    for (std::uint32_t y = 0; y < rows.size(); ++y) {
        std::fill(image.Row(y), image.Row(y) + image.RowBytes(), 0xEE);
        std::copy(rows[y].begin(), rows[y].end(), image.Row(y));
    }
    return image;
}

std::vector<std::uint8_t> Pixels(const CAVFrame& frame) {
    return {frame.GetBuffer(), frame.GetBuffer() + frame.GetSize()};
}

TEST(LoadSourceFrameTest, EveryDepthAndBothRowOrders) {
    CAVFrame frame;
    CDibImage image;

    // 4 bits, 3 pixels a row: each row starts at its own byte, the last nibble is ignored.
    MakeDib(image, 3, 4, {{0x12, 0x3F}, {0x21, 0x0F}});
    for (int i = 0; i < 4; ++i) {
        image.palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(10 * i),
                            static_cast<std::uint8_t>(20 * i), 0};
    }
    ASSERT_TRUE(StillImageConverter::LoadSourceFrame(frame, image));
    EXPECT_EQ(frame.GetFormat(), PixelFormat::RGB24);
    EXPECT_EQ(Pixels(frame), (std::vector<std::uint8_t>{20, 10, 1, 40, 20, 2, 60, 30, 3, //
                                                        40, 20, 2, 20, 10, 1, 0, 0, 0}));

    // 1 bit with the picture's own palette, whatever it is.
    MakeDib(image, 9, 1, {{0x80, 0x80}});
    image.palette[0] = {1, 2, 3, 0};
    image.palette[1] = {7, 8, 9, 0};
    ASSERT_TRUE(StillImageConverter::LoadSourceFrame(frame, image));
    const auto one = Pixels(frame);
    EXPECT_EQ(std::vector<std::uint8_t>(one.begin(), one.begin() + 6),
              (std::vector<std::uint8_t>{9, 8, 7, 3, 2, 1}));
    EXPECT_EQ(std::vector<std::uint8_t>(one.end() - 3, one.end()), (std::vector<std::uint8_t>{9, 8, 7}));

    // 16 bits, 5-6-5 masks.
    MakeDib(image, 2, 16, {{0x00, 0xF8, 0x1F, 0x00}});
    image.redMask = 0xF800;
    image.greenMask = 0x07E0;
    image.blueMask = 0x001F;
    ASSERT_TRUE(StillImageConverter::LoadSourceFrame(frame, image));
    EXPECT_EQ(Pixels(frame), (std::vector<std::uint8_t>{255, 0, 0, 0, 0, 255}));

    // 24 and 32 bits, stored bottom-up and top-down alike.
    for (bool bottomUp : {true, false}) {
        SCOPED_TRACE(bottomUp);
        MakeDib(image, 1, 24, {{1, 2, 3}, {4, 5, 6}}, bottomUp);
        ASSERT_TRUE(StillImageConverter::LoadSourceFrame(frame, image));
        EXPECT_EQ(Pixels(frame), (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4}));
        MakeDib(image, 1, 32, {{1, 2, 3, 0}, {4, 5, 6, 0}}, bottomUp);
        ASSERT_TRUE(StillImageConverter::LoadSourceFrame(frame, image));
        EXPECT_EQ(Pixels(frame), (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4}));
        MakeDib(image, 2, 8, {{1, 0}, {0, 1}}, bottomUp);
        image.palette[1] = {50, 60, 70, 0};
        ASSERT_TRUE(StillImageConverter::LoadSourceFrame(frame, image));
        EXPECT_EQ(Pixels(frame), (std::vector<std::uint8_t>{70, 60, 50, 0, 0, 0, 0, 0, 0, 70, 60, 50}));
    }

    CDibImage empty;
    EXPECT_FALSE(StillImageConverter::LoadSourceFrame(frame, empty));
}

} // namespace
