// The JPEG encoder: two complete baseline 4:2:2 streams, the main picture's quantiser bounds, the
// thumbnail on the library's defaults, and failures that leave both lengths at 0.

#include "codecs/CJPEGEncoder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace k72 {
// Reaches into the encoder to break its header step, which cannot fail otherwise.
class CJPEGEncoderTestAccess {
public:
    static void DropMainStream(CJPEGEncoder& encoder) {
        AVFormatContext* empty = nullptr;
        ASSERT_GE(avformat_alloc_output_context2(&empty, encoder.mainSlot_->outputFormat, nullptr, ".jpg"),
                  0);
        encoder.mainSlot_->stream = nullptr;
        encoder.mainSlot_->formatContext.reset(empty);
    }
};
} // namespace k72

namespace {

using k72::CAVFrame;
using k72::CJPEGEncoder;
using k72::PixelFormat;
using namespace k72test;

// A YUVJ422P frame of a gradient, or of noise that no quantiser keeps small.
void MakeFrame(CAVFrame& frame, std::uint32_t w, std::uint32_t h, bool noise) {
    CAVFrame rgb;
    ASSERT_TRUE(rgb.Create(PixelFormat::RGB24, w, h));
    std::mt19937 random(7);
    for (std::uint32_t i = 0; i < w * h * 3; ++i) {
        const std::uint32_t x = (i / 3) % w;
        const std::uint32_t y = (i / 3) / w;
        rgb.GetBuffer()[i] = noise ? static_cast<std::uint8_t>(random())
                                   : static_cast<std::uint8_t>((x + y + i % 3 * 60) % 256);
    }
    ASSERT_TRUE(frame.Create(PixelFormat::YUVJ422P, w, h));
    ASSERT_TRUE(frame.Format(rgb));
}

struct Stream {
    std::vector<std::uint8_t> bytes;
    // The library bakes its quantiser into the tables it writes: after the fixed DC entry, the first AC
    // entry is 16 x quantiser / 8.
    int Quantiser() const {
        for (std::size_t i = 2; i + 6 < bytes.size(); ++i) {
            if (bytes[i] == 0xFF && bytes[i + 1] == 0xDB) {
                return bytes[i + 6] / 2;
            }
        }
        return -1;
    }
    // Marker of the frame header (C0 baseline, C2 progressive ...), its size and the sampling factors.
    bool Frame(int& marker, int& width, int& height, std::vector<int>& sampling) const {
        for (std::size_t i = 2; i + 18 < bytes.size(); ++i) {
            if (bytes[i] == 0xFF && bytes[i + 1] >= 0xC0 && bytes[i + 1] <= 0xC3) {
                marker = bytes[i + 1];
                height = bytes[i + 5] << 8 | bytes[i + 6];
                width = bytes[i + 7] << 8 | bytes[i + 8];
                for (int c = 0; c < bytes[i + 9]; ++c) {
                    sampling.push_back(bytes[i + 11 + 3 * c]);
                }
                return true;
            }
        }
        return false;
    }
};

class JpegEncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        MakeFrame(mainFrame, 640, 480, false);
        MakeFrame(thumbFrame, 160, 120, false);
    }
    k72::ResultCode Encode(CJPEGEncoder& encoder, float quality) {
        mainLength = static_cast<std::int32_t>(mainBuffer.size());
        thumbLength = static_cast<std::int32_t>(thumbBuffer.size());
        const k72::ResultCode result = encoder.Encode(mainFrame, thumbFrame, mainBuffer.data(), mainLength,
                                                      thumbBuffer.data(), thumbLength, quality);
        main.bytes.assign(mainBuffer.begin(), mainBuffer.begin() + std::max(mainLength, 0));
        thumb.bytes.assign(thumbBuffer.begin(), thumbBuffer.begin() + std::max(thumbLength, 0));
        return result;
    }
    CAVFrame mainFrame;
    CAVFrame thumbFrame;
    std::vector<std::uint8_t> mainBuffer = std::vector<std::uint8_t>(614400);
    std::vector<std::uint8_t> thumbBuffer = std::vector<std::uint8_t>(38400);
    std::int32_t mainLength = 0;
    std::int32_t thumbLength = 0;
    Stream main;
    Stream thumb;
};

TEST_F(JpegEncoderTest, WritesTwoCompleteBaselineStreams) {
    CJPEGEncoder encoder;
    ASSERT_EQ(encoder.Open(), 0);
    for (int round = 0; round < 20; ++round) { // the slots are reused picture after picture
        ASSERT_EQ(Encode(encoder, 0.5f), 0) << round;
    }
    for (const auto& [stream, w, h] : {std::tuple{&main, 640, 480}, std::tuple{&thumb, 160, 120}}) {
        const auto& bytes = stream->bytes;
        ASSERT_GT(bytes.size(), 100u);
        EXPECT_EQ(bytes[0], 0xFF);
        EXPECT_EQ(bytes[1], 0xD8);
        EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);
        EXPECT_EQ(bytes[bytes.size() - 1], 0xD9);
        int marker = 0, width = 0, height = 0;
        std::vector<int> sampling;
        ASSERT_TRUE(stream->Frame(marker, width, height, sampling));
        EXPECT_EQ(marker, 0xC0);
        EXPECT_EQ(width, w);
        EXPECT_EQ(height, h);
        // 4:2:2: luma sampled twice as often across as chroma, as often down.
        ASSERT_EQ(sampling.size(), 3u);
        EXPECT_EQ(sampling[1], sampling[2]);
        EXPECT_EQ(sampling[0] >> 4, 2 * (sampling[1] >> 4));
        EXPECT_EQ(sampling[0] & 15, sampling[1] & 15);
    }
    // And an independent reader agrees.
    TempDir dir;
    WriteFileBytes(dir / "main.jpg", main.bytes);
    const auto probe =
        RunCommand("ffprobe -v error -show_entries stream=codec_name,width,height,pix_fmt -of csv=p=0 " +
                   Quote(dir / "main.jpg"));
    EXPECT_EQ(probe.output, "mjpeg,640,480,yuvj422p\n");
}

TEST_F(JpegEncoderTest, MainQuantiserIsBoundedThumbnailKeepsDefaults) {
    MakeFrame(mainFrame, 640, 480, true);
    MakeFrame(thumbFrame, 160, 120, true);
    std::vector<std::uint8_t> firstThumb;
    std::vector<int> quantisers;
    for (float quality : {0.0f, 0.3f, 0.5f, 0.8f, 1.0f}) {
        SCOPED_TRACE(quality);
        CJPEGEncoder encoder; // fresh each time: the rate control remembers earlier pictures
        ASSERT_EQ(encoder.Open(), 0);
        ASSERT_EQ(Encode(encoder, quality), 0);
        // Noise would need a far coarser quantiser for the rate control's budget: it stops at the bound.
        quantisers.push_back(main.Quantiser());
        if (firstThumb.empty()) {
            firstThumb = thumb.bytes;
        }
        EXPECT_EQ(thumb.bytes, firstThumb) << "the thumbnail does not depend on the quality";
    }
    // The quality steers the main picture's quantiser within 2 ... 10: noise at the lowest quality
    // would take a far coarser one and stops at 10; the highest quality reaches 2.
    ASSERT_EQ(quantisers.size(), 5u);
    EXPECT_EQ(quantisers.front(), 10);
    EXPECT_EQ(quantisers.back(), 2);
    EXPECT_TRUE(std::is_sorted(quantisers.rbegin(), quantisers.rend()));
}

TEST_F(JpegEncoderTest, FailuresLeaveBothLengthsZero) {
    const auto failedWithNothing = [this](k72::ResultCode result) {
        EXPECT_EQ(result, k72::rc::Fail);
        EXPECT_EQ(mainLength, 0);
        EXPECT_EQ(thumbLength, 0);
    };
    {
        CJPEGEncoder notOpened;
        failedWithNothing(Encode(notOpened, 0.5f));
    }
    CJPEGEncoder encoder;
    ASSERT_EQ(encoder.Open(), 0);
    // The thumbnail fails after the main picture was encoded; a buffer too small for the stream.
    CAVFrame wrongThumb;
    MakeFrame(wrongThumb, 80, 60, false);
    struct Case {
        const char* what;
        CAVFrame& thumbnail;
        std::int32_t mainSpace;
    };
    for (const Case& c :
         {Case{"wrong thumbnail", wrongThumb, 614400}, Case{"small buffer", thumbFrame, 100}}) {
        SCOPED_TRACE(c.what);
        mainLength = c.mainSpace;
        thumbLength = 38400;
        failedWithNothing(encoder.Encode(mainFrame, c.thumbnail, mainBuffer.data(), mainLength,
                                         thumbBuffer.data(), thumbLength, 0.5f));
    }
    // Still usable afterwards.
    EXPECT_EQ(Encode(encoder, 0.5f), 0);
    EXPECT_GT(mainLength, 0);
    // The output-header step fails: no picture is encoded, both lengths 0.
    k72::CJPEGEncoderTestAccess::DropMainStream(encoder);
    failedWithNothing(Encode(encoder, 0.5f));
}

} // namespace
