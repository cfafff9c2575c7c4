#include "engine/CAviProbe.h"

#include "tests/support/AviStructure.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using k72::CAviProbe;
using k72::ResultCode;
namespace rc = k72::rc;
using k72test::WriteLE32;

namespace {

void PutTag(std::vector<std::uint8_t>& bytes, std::size_t at, const char* tag) {
    std::memcpy(&bytes[at], tag, 4);
}

// The first bytes of an AVI file as our transcoder writes them: RIFF/AVI, LIST/hdrl and the main header.
std::vector<std::uint8_t> AviHeader(std::uint32_t microSecPerFrame, std::uint32_t totalFrames,
                                    std::size_t size = 512) {
    std::vector<std::uint8_t> bytes(size, 0);
    PutTag(bytes, 0, "RIFF");
    WriteLE32(bytes, 4, static_cast<std::uint32_t>(size - 8));
    PutTag(bytes, 8, "AVI ");
    PutTag(bytes, 12, "LIST");
    WriteLE32(bytes, 16, 488);
    PutTag(bytes, 20, "hdrl");
    PutTag(bytes, 24, "avih");
    WriteLE32(bytes, 28, 56);
    WriteLE32(bytes, 32, microSecPerFrame);
    WriteLE32(bytes, 48, totalFrames);
    return bytes;
}

class AviProbeTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const auto path = dir / name;
        k72test::WriteFileBytes(path, bytes);
        return path.string();
    }

    k72test::TempDir dir;
    CAviProbe probe;
};

} // namespace

TEST_F(AviProbeTest, ReadsFrameCountAndRate) {
    EXPECT_EQ(probe.Probe(Write("ntsc.avi", AviHeader(33367, 1798))), 0);
    EXPECT_EQ(probe.Frames(), 1798u);
    EXPECT_NEAR(probe.FrameRate(), 29.97, 0.001);

    EXPECT_EQ(probe.Probe(Write("pal.avi", AviHeader(40000, 250))), 0);
    EXPECT_EQ(probe.Frames(), 250u);
    EXPECT_DOUBLE_EQ(probe.FrameRate(), 25.0);

    // Frame counts are unsigned: the top bit is a count, not a sign.
    EXPECT_EQ(probe.Probe(Write("big.avi", AviHeader(1, 0xFFFFFFFFu))), 0);
    EXPECT_EQ(probe.Frames(), 0xFFFFFFFFu);
    EXPECT_DOUBLE_EQ(probe.FrameRate(), 1000000.0);
}

TEST_F(AviProbeTest, LengthBoundaryIs496Bytes) {
    EXPECT_EQ(probe.Probe(Write("short.avi", AviHeader(40000, 10, 495))), rc::AviInvalidHeader);
    EXPECT_EQ(probe.Frames(), 0u);
    EXPECT_EQ(probe.Probe(Write("exact.avi", AviHeader(40000, 10, 496))), 0);
    EXPECT_EQ(probe.Frames(), 10u);
    EXPECT_EQ(probe.Probe(Write("empty.avi", {})), rc::AviInvalidHeader);
}

TEST_F(AviProbeTest, EachHeaderFieldIsChecked) {
    struct Damage {
        std::size_t at;
        const char* tag;
    };
    const Damage damages[] = {{0, "RIFX"}, {8, "AVIX"}, {12, "JUNK"}, {20, "movi"}, {28, "\x38\x00\x00\x01"}};
    int n = 0;
    for (const auto& damage : damages) {
        auto bytes = AviHeader(40000, 10);
        PutTag(bytes, damage.at, damage.tag);
        EXPECT_EQ(probe.Probe(Write("bad" + std::to_string(n++) + ".avi", bytes)), rc::AviInvalidHeader)
            << "offset " << damage.at;
        EXPECT_EQ(probe.Frames(), 0u);
    }
    auto bytes = AviHeader(40000, 10);
    WriteLE32(bytes, 28, 55);
    EXPECT_EQ(probe.Probe(Write("size55.avi", bytes)), rc::AviInvalidHeader);

    // The main header's own chunk id is not examined.
    bytes = AviHeader(40000, 10);
    PutTag(bytes, 24, "xxxx");
    EXPECT_EQ(probe.Probe(Write("anyid.avi", bytes)), 0);
}

TEST_F(AviProbeTest, ZeroFrameDurationIsAnInvalidHeader) {
    EXPECT_EQ(probe.Probe(Write("zero.avi", AviHeader(0, 10))), rc::AviInvalidHeader);
    EXPECT_EQ(probe.Frames(), 0u);
    EXPECT_EQ(probe.FrameRate(), 0.0);
}

TEST_F(AviProbeTest, UnopenablePathsFailWithOpenCode) {
    EXPECT_EQ(probe.Probe((dir / "missing.avi").string()), rc::AviOpenFailed);
    EXPECT_EQ(probe.Probe(dir.Path().string()), rc::AviOpenFailed);
    // An empty path names no file; it must not match the empty path of a fresh probe.
    EXPECT_EQ(probe.Probe(""), rc::AviOpenFailed);
}

TEST_F(AviProbeTest, SamePathIsReadOnlyOnce) {
    const auto path = Write("once.avi", AviHeader(40000, 75));
    ASSERT_EQ(probe.Probe(path), 0);
    std::filesystem::remove(path);
    EXPECT_EQ(probe.Probe(path), 0);
    EXPECT_EQ(probe.Frames(), 75u);
    EXPECT_DOUBLE_EQ(probe.FrameRate(), 25.0);

    // Another path in between makes the first one read again.
    ASSERT_EQ(probe.Probe(Write("other.avi", AviHeader(33367, 5))), 0);
    EXPECT_EQ(probe.Probe(path), rc::AviOpenFailed);
}

TEST_F(AviProbeTest, FailedProbeIsNotRemembered) {
    const auto path = (dir / "later.avi").string();
    EXPECT_EQ(probe.Probe(path), rc::AviOpenFailed);
    EXPECT_EQ(probe.Probe(path), rc::AviOpenFailed);

    Write("later.avi", AviHeader(40000, 10, 300));
    EXPECT_EQ(probe.Probe(path), rc::AviInvalidHeader);
    EXPECT_EQ(probe.Probe(path), rc::AviInvalidHeader);

    Write("later.avi", AviHeader(40000, 12));
    EXPECT_EQ(probe.Probe(path), 0);
    EXPECT_EQ(probe.Frames(), 12u);
}

TEST_F(AviProbeTest, ReadsAviWrittenByFfmpeg) {
    if (!k72test::HaveProgram("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const auto pal = dir / "pal.avi";
    ASSERT_TRUE(k72test::MakeMedia(pal, "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -c:v mjpeg"));
    ASSERT_EQ(probe.Probe(pal.string()), 0);
    EXPECT_EQ(probe.Frames(), 10u);
    EXPECT_DOUBLE_EQ(probe.FrameRate(), 25.0);

    const auto ntsc = dir / "ntsc.avi";
    ASSERT_TRUE(
        k72test::MakeMedia(ntsc, "-f lavfi -i testsrc2=size=64x48:rate=30000/1001:duration=0.5 -c:v mjpeg"));
    ASSERT_EQ(probe.Probe(ntsc.string()), 0);
    EXPECT_EQ(probe.Frames(), 15u);
    EXPECT_NEAR(probe.FrameRate(), 29.97, 0.001);
}
