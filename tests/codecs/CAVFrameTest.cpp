// The frame buffer: layout per pixel format, the operations' results at their edges, and the reason
// each refusal leaves in the diagnostic log.

#include "codecs/CAVFrame.h"
#include "base/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

using k72::CAVFrame;
using k72::PixelFormat;

// Collects the diagnostic log while a test runs.
class LogCapture {
public:
    LogCapture() {
        previous = k72::SetDebugSink([this](std::string_view text) { log.append(text); });
    }
    ~LogCapture() { k72::SetDebugSink(previous); }
    std::string log;

private:
    k72::DebugSink previous;
};

void Fill(CAVFrame& frame, const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(frame.GetSize(), bytes.size());
    std::memcpy(frame.GetBuffer(), bytes.data(), bytes.size());
}

std::vector<std::uint8_t> Bytes(const CAVFrame& frame) {
    return {frame.GetBuffer(), frame.GetBuffer() + frame.GetSize()};
}

CAVFrame& Solid(CAVFrame& frame, PixelFormat format, std::uint32_t w, std::uint32_t h, std::uint8_t r,
                std::uint8_t g, std::uint8_t b) {
    EXPECT_TRUE(frame.Create(format, w, h));
    const int n = k72::PackedPixelBytes(format);
    for (std::uint32_t i = 0; i < w * h; ++i) {
        std::uint8_t* p = frame.GetBuffer() + i * n;
        if (format == PixelFormat::RGB24) {
            p[0] = r, p[1] = g, p[2] = b;
        } else if (format == PixelFormat::BGR24) {
            p[0] = b, p[1] = g, p[2] = r;
        } else if (format == PixelFormat::BGR32) {
            p[0] = b, p[1] = g, p[2] = r, p[3] = 0;
        } else if (format == PixelFormat::RGB32) {
            p[0] = 0, p[1] = r, p[2] = g, p[3] = b;
        }
    }
    return frame;
}

TEST(PixelFormatTest, KeepsItsNumbersAndMapsToTheSameByteLayout) {
    EXPECT_EQ(static_cast<int>(PixelFormat::None), -1);
    EXPECT_EQ(static_cast<int>(PixelFormat::YUV420P), 0);
    EXPECT_EQ(static_cast<int>(PixelFormat::YUYV422), 1);
    EXPECT_EQ(static_cast<int>(PixelFormat::RGB24), 2);
    EXPECT_EQ(static_cast<int>(PixelFormat::BGR24), 3);
    EXPECT_EQ(static_cast<int>(PixelFormat::YUV422P), 4);
    EXPECT_EQ(static_cast<int>(PixelFormat::RGB32), 6);
    EXPECT_EQ(static_cast<int>(PixelFormat::YUVJ422P), 16);
    EXPECT_EQ(static_cast<int>(PixelFormat::BGR32), 22);
    // Byte offsets of R, G, B within a pixel, as the library describes the mapped format.
    const auto offsets = [](PixelFormat f) {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(k72::ToAVPixelFormat(f));
        return std::vector<int>{d->comp[0].offset, d->comp[1].offset, d->comp[2].offset};
    };
    EXPECT_EQ(offsets(PixelFormat::RGB24), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(offsets(PixelFormat::BGR24), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(offsets(PixelFormat::BGR32), (std::vector<int>{2, 1, 0})); // B, G, R, X
    EXPECT_EQ(offsets(PixelFormat::RGB32), (std::vector<int>{1, 2, 3})); // X, R, G, B
    const AVPixFmtDescriptor* j = av_pix_fmt_desc_get(k72::ToAVPixelFormat(PixelFormat::YUVJ422P));
    EXPECT_EQ(j->log2_chroma_w, 1);
    EXPECT_EQ(j->log2_chroma_h, 0);
    EXPECT_EQ(k72::ToAVPixelFormat(PixelFormat::None), AV_PIX_FMT_NONE);
    EXPECT_EQ(k72::ToAVPixelFormat(static_cast<PixelFormat>(5)), AV_PIX_FMT_NONE);
}

TEST(CAVFrameTest, CreateLaysOutContiguousPlanesOfTheTableSizes) {
    struct Case {
        PixelFormat format;
        std::uint32_t size;   // for 640 x 480
        std::uint32_t plane1; // offset of plane 1, 0 for packed
        std::uint32_t plane2;
    };
    const std::uint32_t wh = 640 * 480;
    for (const Case c :
         {Case{PixelFormat::YUV420P, wh * 3 / 2, wh, wh + wh / 4}, Case{PixelFormat::YUYV422, wh * 2, 0, 0},
          Case{PixelFormat::RGB24, wh * 3, 0, 0}, Case{PixelFormat::BGR24, wh * 3, 0, 0},
          Case{PixelFormat::YUV422P, wh * 2, wh, wh + wh / 2}, Case{PixelFormat::RGB32, wh * 4, 0, 0},
          Case{PixelFormat::YUVJ422P, wh * 2, wh, wh + wh / 2}, Case{PixelFormat::BGR32, wh * 4, 0, 0}}) {
        SCOPED_TRACE(static_cast<int>(c.format));
        CAVFrame frame;
        ASSERT_TRUE(frame.Create(c.format, 640, 480));
        EXPECT_EQ(frame.GetSize(), c.size);
        const AVFrame* planes = frame.GetPlanes();
        EXPECT_EQ(planes->data[0], frame.GetBuffer());
        if (c.plane1 != 0) {
            EXPECT_EQ(planes->data[1], frame.GetBuffer() + c.plane1);
            EXPECT_EQ(planes->data[2], frame.GetBuffer() + c.plane2);
            EXPECT_EQ(planes->linesize[0], 640);
            EXPECT_EQ(planes->linesize[1], 320);
        } else {
            EXPECT_EQ(planes->linesize[0], static_cast<int>(c.size / 480));
        }
    }
}

TEST(CAVFrameTest, FailedCreateKeepsTheRequestAndReleaseEmpties) {
    LogCapture capture;
    CAVFrame frame;
    EXPECT_FALSE(frame.HasBuffer());
    EXPECT_EQ(frame.GetFormat(), PixelFormat::None);
    ASSERT_TRUE(frame.Create(PixelFormat::RGB24, 4, 4));
    EXPECT_FALSE(frame.Create(PixelFormat::RGB24, 0, 7));
    EXPECT_FALSE(frame.HasBuffer());
    EXPECT_EQ(frame.GetSize(), 0u);
    EXPECT_EQ(frame.GetFormat(), PixelFormat::RGB24);
    EXPECT_EQ(frame.GetWidth(), 0u);
    EXPECT_EQ(frame.GetHeight(), 7u);
    EXPECT_FALSE(frame.Create(PixelFormat::None, 4, 4));
    ASSERT_TRUE(frame.Create(PixelFormat::BGR32, 8, 2));
    frame.Release();
    EXPECT_FALSE(frame.HasBuffer());
    EXPECT_EQ(frame.GetPlanes(), nullptr);
    EXPECT_EQ(frame.GetSize(), 0u);
    EXPECT_EQ(frame.GetWidth(), 0u);
    EXPECT_EQ(frame.GetFormat(), PixelFormat::None);
}

TEST(CAVFrameTest, ShapeTests) {
    CAVFrame a, b, c;
    EXPECT_FALSE(a.IsSameFormat(b)); // no buffer
    ASSERT_TRUE(a.Create(PixelFormat::RGB24, 8, 4));
    EXPECT_TRUE(a.IsSameFormat(b) == false);
    ASSERT_TRUE(b.Create(PixelFormat::RGB24, 8, 6));
    ASSERT_TRUE(c.Create(PixelFormat::BGR24, 8, 4));
    EXPECT_TRUE(a.IsSameFormat(b));
    EXPECT_FALSE(a.IsSameSize(b));
    EXPECT_TRUE(a.IsSameSize(c));
    EXPECT_FALSE(a.IsSameFrame(c));
    ASSERT_TRUE(c.Create(PixelFormat::RGB24, 8, 4));
    EXPECT_TRUE(a.IsSameFrame(c));
    c.Release();
    EXPECT_FALSE(a.IsSameFrame(c));
}

TEST(CAVFrameTest, FormatWidthRuleAndUnsupportedPairs) {
    CAVFrame source, target;
    Solid(source, PixelFormat::RGB24, 642, 2, 1, 2, 3);
    ASSERT_TRUE(target.Create(PixelFormat::YUVJ422P, 642, 2));
    {
        LogCapture capture;
        EXPECT_FALSE(target.Format(source));
        EXPECT_NE(capture.log.find("picture buffer: Format: the width is not a multiple of 4"),
                  std::string::npos)
            << capture.log;
    }
    Solid(source, PixelFormat::RGB24, 640, 2, 1, 2, 3);
    ASSERT_TRUE(target.Create(PixelFormat::YUVJ422P, 640, 2));
    EXPECT_TRUE(target.Format(source));

    struct Refusal {
        PixelFormat target;
        PixelFormat source;
        const char* reason;
    };
    for (const Refusal r :
         {Refusal{PixelFormat::YUVJ422P, PixelFormat::RGB32, "no conversion between these pixel formats"},
          Refusal{PixelFormat::YUV420P, PixelFormat::RGB32, "no conversion between these pixel formats"},
          Refusal{PixelFormat::YUV420P, PixelFormat::RGB24, "cannot convert YUYV 4:2:2 to YUV 4:2:0"},
          Refusal{PixelFormat::RGB24, PixelFormat::BGR24, "no conversion between these pixel formats"},
          Refusal{PixelFormat::BGR32, PixelFormat::RGB24, "no conversion between these pixel formats"},
          Refusal{PixelFormat::YUYV422, PixelFormat::RGB24, "no conversion between these pixel formats"}}) {
        SCOPED_TRACE(r.reason);
        LogCapture capture;
        ASSERT_TRUE(source.Create(r.source, 8, 2));
        ASSERT_TRUE(target.Create(r.target, 8, 2));
        EXPECT_FALSE(target.Format(source));
        EXPECT_NE(capture.log.find(r.reason), std::string::npos) << capture.log;
    }
}

TEST(CAVFrameTest, FormatToFullRangeYuv422) {
    // Full-range BT.601 YCbCr, the JPEG encoder's input: white, black, red, and a grey.
    struct Case {
        std::uint8_t r, g, b;
        int y, cb, cr;
    };
    for (const Case c :
         {Case{255, 255, 255, 255, 128, 128}, Case{0, 0, 0, 0, 128, 128}, Case{255, 0, 0, 76, 85, 255},
          Case{0, 0, 255, 29, 255, 107}, Case{100, 100, 100, 100, 128, 128}}) {
        SCOPED_TRACE(c.r * 65536 + c.g * 256 + c.b);
        for (PixelFormat from : {PixelFormat::RGB24, PixelFormat::BGR24, PixelFormat::BGR32}) {
            CAVFrame source, target;
            Solid(source, from, 16, 4, c.r, c.g, c.b);
            ASSERT_TRUE(target.Create(PixelFormat::YUVJ422P, 16, 4));
            ASSERT_TRUE(target.Format(source));
            const AVFrame* p = target.GetPlanes();
            EXPECT_NEAR(p->data[0][17], c.y, 2);
            EXPECT_NEAR(p->data[1][9], c.cb, 2);
            EXPECT_NEAR(p->data[2][9], c.cr, 2);
        }
    }
}

TEST(CAVFrameTest, PackedConversionsThroughFormat) {
    CAVFrame bgr, bgra, rgb;
    ASSERT_TRUE(bgr.Create(PixelFormat::BGR24, 4, 1));
    Fill(bgr, {10, 20, 30, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    ASSERT_TRUE(bgra.Create(PixelFormat::BGR32, 4, 1));
    ASSERT_TRUE(bgra.Format(bgr));
    EXPECT_EQ(Bytes(bgra), (std::vector<std::uint8_t>{10, 20, 30, 0, 1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0}));
    ASSERT_TRUE(rgb.Create(PixelFormat::RGB24, 4, 1));
    ASSERT_TRUE(rgb.Format(bgra));
    EXPECT_EQ(Bytes(rgb), (std::vector<std::uint8_t>{30, 20, 10, 3, 2, 1, 6, 5, 4, 9, 8, 7}));

    // Packed 4:2:2 to planar 4:2:0 keeps the luma and greys the chroma.
    CAVFrame yuyv, yuv420;
    ASSERT_TRUE(yuyv.Create(PixelFormat::YUYV422, 4, 2));
    Fill(yuyv, {11, 90, 12, 91, 13, 92, 14, 93, 21, 94, 22, 95, 23, 96, 24, 97});
    ASSERT_TRUE(yuv420.Create(PixelFormat::YUV420P, 4, 2));
    ASSERT_TRUE(yuv420.Format(yuyv));
    EXPECT_EQ(Bytes(yuv420), (std::vector<std::uint8_t>{11, 12, 13, 14, 21, 22, 23, 24, 128, 128, 128, 128}));
}

TEST(CAVFrameTest, ByteShufflesAndTheirRefusals) {
    CAVFrame a, b;
    ASSERT_TRUE(a.Create(PixelFormat::RGB32, 1, 1));
    Fill(a, {1, 2, 3, 4});
    ASSERT_TRUE(b.Create(PixelFormat::BGR32, 1, 1));
    ASSERT_TRUE(CAVFrame::Reverse4Col(a, b));
    EXPECT_EQ(Bytes(b), (std::vector<std::uint8_t>{4, 3, 2, 1}));
    ASSERT_TRUE(CAVFrame::Reverse4Col(b, b)); // in place
    EXPECT_EQ(Bytes(b), (std::vector<std::uint8_t>{1, 2, 3, 4}));

    CAVFrame bgr, bgra;
    ASSERT_TRUE(bgr.Create(PixelFormat::BGR24, 1, 1));
    Fill(bgr, {10, 20, 30});
    ASSERT_TRUE(bgra.Create(PixelFormat::BGR32, 1, 1));
    ASSERT_TRUE(CAVFrame::BGRtoBGRA(bgr, bgra));
    EXPECT_EQ(Bytes(bgra), (std::vector<std::uint8_t>{10, 20, 30, 0}));

    // Wrong formats, and a destination smaller than the source, are refused rather than overrun.
    CAVFrame small;
    ASSERT_TRUE(small.Create(PixelFormat::BGR32, 1, 1));
    CAVFrame big;
    ASSERT_TRUE(big.Create(PixelFormat::BGR24, 64, 64));
    EXPECT_FALSE(CAVFrame::BGRtoBGRA(big, small));
    ASSERT_TRUE(big.Create(PixelFormat::RGB32, 64, 64));
    EXPECT_FALSE(CAVFrame::Reverse4Col(big, small));
    EXPECT_FALSE(CAVFrame::BGRAtoRGB(bgr, small));
    EXPECT_FALSE(CAVFrame::Reverse4Col(bgr, bgra));
    EXPECT_FALSE(CAVFrame::YUYV422toYUV420P(bgr, bgra));
}

TEST(CAVFrameTest, InverseFlipsRows) {
    CAVFrame source, target;
    ASSERT_TRUE(source.Create(PixelFormat::RGB24, 2, 2));
    Fill(source, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    ASSERT_TRUE(target.Create(PixelFormat::RGB24, 2, 2));
    ASSERT_TRUE(target.Inverse(source));
    EXPECT_EQ(Bytes(target), (std::vector<std::uint8_t>{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
    ASSERT_TRUE(source.Inverse(source)); // in place, odd row count
    ASSERT_TRUE(source.Create(PixelFormat::BGR32, 1, 3));
    Fill(source, {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3});
    ASSERT_TRUE(source.Inverse(source));
    EXPECT_EQ(Bytes(source), (std::vector<std::uint8_t>{3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1}));

    LogCapture capture;
    ASSERT_TRUE(target.Create(PixelFormat::BGR32, 1, 2)); // shape differs
    EXPECT_FALSE(target.Inverse(source));
    ASSERT_TRUE(source.Create(PixelFormat::YUV422P, 4, 2));
    ASSERT_TRUE(target.Create(PixelFormat::YUV422P, 4, 2));
    EXPECT_FALSE(target.Inverse(source));
    EXPECT_NE(capture.log.find("no conversion between these pixel formats"), std::string::npos);
}

TEST(CAVFrameTest, ResizeStretchesWithoutBorders) {
    // 1024 x 480, left quarter red, rest blue: stretched to 640 x 480 the edge moves to x = 160
    // (factor 0.625 across, 1.0 down) and nothing is letterboxed.
    CAVFrame source, target;
    ASSERT_TRUE(source.Create(PixelFormat::RGB24, 1024, 480));
    for (std::uint32_t i = 0; i < 1024 * 480; ++i) {
        std::uint8_t* p = source.GetBuffer() + i * 3;
        const bool left = (i % 1024) < 256;
        p[0] = left ? 255 : 0, p[1] = 0, p[2] = left ? 0 : 255;
    }
    ASSERT_TRUE(target.Create(PixelFormat::RGB24, 640, 480));
    ASSERT_TRUE(source.Resize(target));
    const auto at = [&](int x, int y) { return target.GetBuffer() + (y * 640 + x) * 3; };
    for (int y : {0, 240, 479}) {
        EXPECT_EQ(at(0, y)[0], 255);
        EXPECT_EQ(at(157, y)[0], 255);
        EXPECT_EQ(at(162, y)[2], 255);
        EXPECT_EQ(at(639, y)[2], 255);
    }

    // A flat colour stays exactly that colour at any ratio, in every packed format, odd sizes too.
    for (PixelFormat f : {PixelFormat::RGB24, PixelFormat::BGR24, PixelFormat::BGR32, PixelFormat::RGB32}) {
        SCOPED_TRACE(static_cast<int>(f));
        Solid(source, f, 803, 601, 200, 30, 90);
        CAVFrame reference;
        Solid(reference, f, 333, 211, 200, 30, 90);
        ASSERT_TRUE(target.Create(f, 333, 211));
        ASSERT_TRUE(source.Resize(target));
        const int n = k72::PackedPixelBytes(f);
        for (std::uint32_t i = 0; i < 333 * 211; ++i) {
            for (int k = 0; k < n; ++k) {
                // The X byte of 4-byte pixels carries nothing.
                if ((f == PixelFormat::BGR32 && k == 3) || (f == PixelFormat::RGB32 && k == 0)) {
                    continue;
                }
                ASSERT_EQ(target.GetBuffer()[i * n + k], reference.GetBuffer()[i * n + k]) << i;
            }
        }
    }
}

TEST(CAVFrameTest, ResizeRefusesMismatchedFramesWithoutTouchingThem) {
    LogCapture capture;
    CAVFrame source, target;
    Solid(source, PixelFormat::RGB24, 800, 600, 1, 2, 3);
    Solid(target, PixelFormat::BGR24, 640, 480, 9, 9, 9);
    const auto before = Bytes(target);
    EXPECT_FALSE(source.Resize(target));
    EXPECT_EQ(Bytes(target), before);
    CAVFrame empty;
    EXPECT_FALSE(source.Resize(empty));
    ASSERT_TRUE(source.Create(PixelFormat::YUV422P, 800, 600));
    ASSERT_TRUE(target.Create(PixelFormat::YUV422P, 640, 480));
    EXPECT_FALSE(source.Resize(target));
    EXPECT_NE(capture.log.find("no conversion between these pixel formats"), std::string::npos);
}

TEST(CAVFrameTest, BitmapLoadersReadBottomUpRowsAsRgb) {
    // 3 x 2 pixels, 24 bits: rows of 9 bytes padded to 12, bottom row first.
    const std::vector<std::uint8_t> bitmap = {// bottom row: B, G, R
                                              1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE,
                                              // top row
                                              11, 12, 13, 14, 15, 16, 17, 18, 19, 0xEE, 0xEE, 0xEE};
    CAVFrame frame;
    ASSERT_TRUE(frame.LoadBitmap24(3, 2, bitmap.data()));
    EXPECT_EQ(frame.GetFormat(), PixelFormat::RGB24);
    EXPECT_EQ(Bytes(frame),
              (std::vector<std::uint8_t>{13, 12, 11, 16, 15, 14, 19, 18, 17, 3, 2, 1, 6, 5, 4, 9, 8, 7}));
    // Same size: the buffer is reused.
    const std::uint8_t* buffer = frame.GetBuffer();
    ASSERT_TRUE(frame.LoadBitmap24(3, 2, bitmap.data()));
    EXPECT_EQ(frame.GetBuffer(), buffer);
    // Top-down rows: the bottom row is the last in memory, one step back is the row above.
    ASSERT_TRUE(frame.LoadBitmap24(3, 2, bitmap.data() + 12, -12));
    EXPECT_EQ(Bytes(frame),
              (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 13, 12, 11, 16, 15, 14, 19, 18, 17}));

    const std::vector<std::uint8_t> bitmap32 = {1, 2, 3, 99, 4, 5, 6, 99};
    ASSERT_TRUE(frame.LoadBitmap32(1, 2, bitmap32.data()));
    EXPECT_EQ(Bytes(frame), (std::vector<std::uint8_t>{6, 5, 4, 3, 2, 1}));

    // Every width, odd ones included, byte for byte against the plain rule, in both row orders.
    for (std::uint32_t w : {1u, 5u, 333u, 1001u}) {
        for (int pixelBytes : {3, 4}) {
            SCOPED_TRACE(w * 10 + pixelBytes);
            const std::uint32_t h = 7;
            const std::size_t stride = (w * pixelBytes + 3) & ~3u;
            std::vector<std::uint8_t> rows(stride * h);
            for (std::size_t i = 0; i < rows.size(); ++i) {
                rows[i] = static_cast<std::uint8_t>(i * 37 + 11);
            }
            std::vector<std::uint8_t> expected;
            for (std::uint32_t y = 0; y < h; ++y) {
                const std::uint8_t* row = rows.data() + (h - 1 - y) * stride; // bottom-up
                for (std::uint32_t x = 0; x < w; ++x) {
                    expected.insert(expected.end(),
                                    {row[x * pixelBytes + 2], row[x * pixelBytes + 1], row[x * pixelBytes]});
                }
            }
            ASSERT_TRUE(pixelBytes == 3 ? frame.LoadBitmap24(w, h, rows.data())
                                        : frame.LoadBitmap32(w, h, rows.data()));
            EXPECT_EQ(Bytes(frame), expected);
            // The same rows read as a top-down bitmap give the picture upside down.
            const std::uint8_t* last = rows.data() + (h - 1) * stride;
            const auto step = -static_cast<std::ptrdiff_t>(stride);
            ASSERT_TRUE(pixelBytes == 3 ? frame.LoadBitmap24(w, h, last, step)
                                        : frame.LoadBitmap32(w, h, last, step));
            const auto flipped = Bytes(frame);
            for (std::uint32_t y = 0; y < h; ++y) {
                ASSERT_TRUE(std::equal(flipped.begin() + y * w * 3, flipped.begin() + (y + 1) * w * 3,
                                       expected.begin() + (h - 1 - y) * w * 3))
                    << y;
            }
        }
    }

    // A frame of the same size in a smaller format is made RGB24 first, not written past its end.
    CAVFrame planar;
    ASSERT_TRUE(planar.Create(PixelFormat::YUV420P, 4, 2));
    const std::vector<std::uint8_t> wide(4 * 3 * 2, 7);
    ASSERT_TRUE(planar.LoadBitmap24(4, 2, wide.data()));
    EXPECT_EQ(planar.GetFormat(), PixelFormat::RGB24);
    EXPECT_EQ(planar.GetSize(), 24u);
}

} // namespace
