#include "engine/PcmFileCheck.h"

#include "tests/support/AviStructure.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using k72::CheckPcmWaveFile;
using k72::ResultCode;
namespace rc = k72::rc;
using k72test::WriteLE32;

namespace {

void PutLe16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void AppendChunk(std::vector<std::uint8_t>& bytes, const char* id, std::uint32_t declaredSize,
                 std::size_t actualBytes) {
    const std::size_t at = bytes.size();
    bytes.resize(at + 8 + actualBytes, 0x11);
    std::memcpy(&bytes[at], id, 4);
    WriteLE32(bytes, at + 4, declaredSize);
}

void FixRiffSize(std::vector<std::uint8_t>& bytes) {
    WriteLE32(bytes, 4, static_cast<std::uint32_t>(bytes.size() - 8));
}

// RIFF/WAVE with a 16-byte fmt chunk of the device's format and nothing after it.
std::vector<std::uint8_t> WaveHead(std::uint32_t fmtSize = 16) {
    std::vector<std::uint8_t> bytes(20 + fmtSize, 0);
    std::memcpy(&bytes[0], "RIFF", 4);
    std::memcpy(&bytes[8], "WAVE", 4);
    std::memcpy(&bytes[12], "fmt ", 4);
    WriteLE32(bytes, 16, fmtSize);
    PutLe16(bytes, 20, 1);
    PutLe16(bytes, 22, 2);
    WriteLE32(bytes, 24, 44100);
    WriteLE32(bytes, 28, 176400);
    PutLe16(bytes, 32, 4);
    PutLe16(bytes, 34, 16);
    return bytes;
}

std::vector<std::uint8_t> ValidWave(std::size_t dataBytes = 400) {
    auto bytes = WaveHead();
    AppendChunk(bytes, "data", static_cast<std::uint32_t>(dataBytes), dataBytes);
    FixRiffSize(bytes);
    return bytes;
}

class PcmFileCheckTest : public ::testing::Test {
protected:
    ResultCode Check(const std::vector<std::uint8_t>& bytes) {
        const auto path = dir / ("t" + std::to_string(count++) + ".wav");
        k72test::WriteFileBytes(path, bytes);
        return CheckPcmWaveFile(path.string());
    }

    k72test::TempDir dir;
    int count = 0;
};

} // namespace

TEST_F(PcmFileCheckTest, AcceptsTheDeviceFormat) {
    EXPECT_EQ(Check(ValidWave()), 0);
    EXPECT_EQ(Check(ValidWave(4)), 0);

    // A RIFF size equal to the file length is still within the file.
    auto bytes = ValidWave();
    WriteLE32(bytes, 4, static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(Check(bytes), 0);

    // An 18-byte fmt chunk (the extended header with no extra bytes) moves the chunk walk along.
    bytes = WaveHead(18);
    AppendChunk(bytes, "data", 400, 400);
    FixRiffSize(bytes);
    EXPECT_EQ(Check(bytes), 0);
}

TEST_F(PcmFileCheckTest, OtherChunksBeforeDataAreSkipped) {
    auto bytes = WaveHead();
    AppendChunk(bytes, "LIST", 26, 26);
    AppendChunk(bytes, "fact", 4, 4);
    AppendChunk(bytes, "data", 400, 400);
    AppendChunk(bytes, "id3 ", 10, 10);
    FixRiffSize(bytes);
    EXPECT_EQ(Check(bytes), 0);
}

TEST_F(PcmFileCheckTest, HeaderRulesGiveTheirOwnCodes) {
    struct Rule {
        const char* what;
        std::size_t at;
        int width; // 2 or 4 bytes, or 0 for a four-character tag
        std::uint32_t value;
        const char* tag;
        ResultCode expected;
    };
    const Rule rules[] = {
        {"RIFF id", 0, 0, 0, "RIFX", rc::PcmBadRiff},
        {"WAVE form", 8, 0, 0, "AVI ", rc::PcmBadRiff},
        {"fmt id", 12, 0, 0, "data", rc::PcmBadRiff},
        {"format tag float", 20, 2, 3, nullptr, rc::PcmNotPcm},
        {"format tag extensible", 20, 2, 0xFFFE, nullptr, rc::PcmNotPcm},
        {"mono", 22, 2, 1, nullptr, rc::PcmBadChannels},
        {"48 kHz", 24, 4, 48000, nullptr, rc::PcmBadSampleRate},
        {"byte rate", 28, 4, 88200, nullptr, rc::PcmBadByteRate},
        {"block align", 32, 2, 2, nullptr, rc::PcmBadBlockAlign},
        {"8 bits", 34, 2, 8, nullptr, rc::PcmBadBitsPerSample},
        {"24 bits", 34, 2, 24, nullptr, rc::PcmBadBitsPerSample},
    };
    for (const auto& rule : rules) {
        auto bytes = ValidWave();
        if (rule.width == 0) {
            std::memcpy(&bytes[rule.at], rule.tag, 4);
        } else if (rule.width == 2) {
            PutLe16(bytes, rule.at, static_cast<std::uint16_t>(rule.value));
        } else {
            WriteLE32(bytes, rule.at, rule.value);
        }
        EXPECT_EQ(Check(bytes), rule.expected) << rule.what;
    }

    // The rules are checked in order: a mono 48 kHz float file reports the format tag.
    auto bytes = ValidWave();
    PutLe16(bytes, 20, 3);
    PutLe16(bytes, 22, 1);
    WriteLE32(bytes, 24, 48000);
    EXPECT_EQ(Check(bytes), rc::PcmNotPcm);
}

TEST_F(PcmFileCheckTest, SizesBeyondTheFileAreRejected) {
    auto bytes = ValidWave();
    WriteLE32(bytes, 4, static_cast<std::uint32_t>(bytes.size() + 1));
    EXPECT_EQ(Check(bytes), rc::PcmBadRiff);

    // fmt chunk size S must leave S + 28 bytes within the file.
    bytes = ValidWave();
    WriteLE32(bytes, 16, static_cast<std::uint32_t>(bytes.size() - 27));
    EXPECT_EQ(Check(bytes), rc::PcmBadFmtSize);
    bytes = ValidWave();
    WriteLE32(bytes, 16, 0xFFFFFFF0u); // would wrap to a small number in 32 bits
    EXPECT_EQ(Check(bytes), rc::PcmBadFmtSize);

    // The data chunk declares more than the file holds.
    bytes = WaveHead();
    AppendChunk(bytes, "data", 401, 400);
    FixRiffSize(bytes);
    EXPECT_EQ(Check(bytes), rc::PcmNoData);
    bytes = WaveHead();
    AppendChunk(bytes, "data", 0xFFFFFFFFu, 400);
    FixRiffSize(bytes);
    EXPECT_EQ(Check(bytes), rc::PcmNoData);
}

TEST_F(PcmFileCheckTest, MissingOrEmptyDataFails) {
    auto bytes = WaveHead();
    AppendChunk(bytes, "LIST", 26, 26);
    FixRiffSize(bytes);
    EXPECT_EQ(Check(bytes), rc::PcmNoData);

    bytes = WaveHead();
    AppendChunk(bytes, "data", 0, 0);
    AppendChunk(bytes, "LIST", 26, 26);
    FixRiffSize(bytes);
    EXPECT_EQ(Check(bytes), rc::PcmNoData);

    // A chunk header in the file's last eight bytes is not read.
    bytes = WaveHead();
    AppendChunk(bytes, "LIST", 4, 4);
    AppendChunk(bytes, "data", 0, 0);
    FixRiffSize(bytes);
    EXPECT_EQ(Check(bytes), rc::PcmNoData);
}

TEST_F(PcmFileCheckTest, HugeChunkSizeEndsTheWalk) {
    // With 32-bit positions a size of 2^32 - 8 brings the walk back to the same chunk for ever;
    // here it moves past the end of the file.
    auto bytes = WaveHead();
    AppendChunk(bytes, "JUNK", 0xFFFFFFF8u, 0);
    AppendChunk(bytes, "data", 400, 400);
    FixRiffSize(bytes);
    EXPECT_EQ(Check(bytes), rc::PcmNoData);
}

TEST_F(PcmFileCheckTest, ShortAndUnopenableFiles) {
    auto bytes = ValidWave();
    bytes.resize(37);
    WriteLE32(bytes, 4, 29);
    EXPECT_EQ(Check(bytes), rc::PcmBadRiff);
    EXPECT_EQ(Check({}), rc::PcmBadRiff);
    EXPECT_EQ(CheckPcmWaveFile((dir / "missing.wav").string()), rc::PcmOpenFailed);
    EXPECT_EQ(CheckPcmWaveFile(dir.Path().string()), rc::PcmOpenFailed);
    EXPECT_EQ(CheckPcmWaveFile(""), rc::PcmOpenFailed);
}

// Files written by real encoders, so that the check is held against what users will attach.
class PcmFileCheckEncoders : public PcmFileCheckTest {
protected:
    std::string Ffmpeg(const std::string& name, const std::string& arguments) {
        const auto path = dir / name;
        EXPECT_TRUE(k72test::MakeMedia(
            path, "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=0.2 " + arguments));
        return path.string();
    }
    std::string Sox(const std::string& name, const std::string& arguments) {
        const auto path = dir / name;
        const auto result =
            k72test::RunCommand("sox -n " + arguments + " " + k72test::Quote(path) + " synth 0.2 sine 440");
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return path.string();
    }
};

TEST_F(PcmFileCheckEncoders, Ffmpeg) {
    if (!k72test::HaveProgram("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    // ffmpeg writes a LIST/INFO chunk between fmt and data unless told to be bit-exact.
    const auto stereo = Ffmpeg("stereo.wav", "-ac 2 -c:a pcm_s16le");
    EXPECT_EQ(CheckPcmWaveFile(stereo), 0);
    EXPECT_NE(k72test::ReadFileText(stereo).find("LIST"), std::string::npos);
    EXPECT_EQ(
        CheckPcmWaveFile(Ffmpeg("bitexact.wav", "-ac 2 -c:a pcm_s16le -fflags +bitexact -map_metadata -1")),
        0);
    EXPECT_EQ(CheckPcmWaveFile(Ffmpeg("mono.wav", "-ac 1 -c:a pcm_s16le")), rc::PcmBadChannels);
    EXPECT_EQ(CheckPcmWaveFile(Ffmpeg("48k.wav", "-ac 2 -ar 48000 -c:a pcm_s16le")), rc::PcmBadSampleRate);
    EXPECT_EQ(CheckPcmWaveFile(Ffmpeg("u8.wav", "-ac 2 -c:a pcm_u8")), rc::PcmBadByteRate);
    // ffmpeg describes 24-bit and float samples, and unusual channel layouts, as WAVE_FORMAT_EXTENSIBLE.
    EXPECT_EQ(CheckPcmWaveFile(Ffmpeg("s24.wav", "-ac 2 -c:a pcm_s24le")), rc::PcmNotPcm);
    EXPECT_EQ(CheckPcmWaveFile(Ffmpeg("f32.wav", "-ac 2 -c:a pcm_f32le")), rc::PcmNotPcm);
    EXPECT_EQ(CheckPcmWaveFile(Ffmpeg("downmix.wav", "-af aformat=channel_layouts=downmix -c:a pcm_s16le")),
              rc::PcmNotPcm);
    EXPECT_EQ(CheckPcmWaveFile(Ffmpeg("adpcm.wav", "-ac 2 -c:a adpcm_ms")), rc::PcmNotPcm);

    // Truncated copies of the good file: a few bytes off leave the RIFF size inside the file but not
    // the data; more cut the RIFF size off too.
    auto bytes = k72test::ReadFileBytes(stereo);
    bytes.resize(bytes.size() - 4);
    EXPECT_EQ(Check(bytes), rc::PcmNoData);
    bytes.resize(bytes.size() / 2);
    EXPECT_EQ(Check(bytes), rc::PcmBadRiff);
}

TEST_F(PcmFileCheckEncoders, Sox) {
    if (!k72test::HaveProgram("sox")) {
        GTEST_SKIP() << "sox is not installed";
    }
    EXPECT_EQ(CheckPcmWaveFile(Sox("stereo.wav", "-r 44100 -c 2 -b 16")), 0);
    EXPECT_EQ(CheckPcmWaveFile(Sox("mono.wav", "-r 44100 -c 1 -b 16")), rc::PcmBadChannels);
    EXPECT_EQ(CheckPcmWaveFile(Sox("48k.wav", "-r 48000 -c 2 -b 16")), rc::PcmBadSampleRate);
    EXPECT_EQ(CheckPcmWaveFile(Sox("s24.wav", "-r 44100 -c 2 -b 24")), rc::PcmNotPcm);
    // Forced to the plain header, 24-bit samples are caught by the byte rate, the first rule they break.
    EXPECT_EQ(CheckPcmWaveFile(Sox("s24plain.wav", "-r 44100 -c 2 -b 24 -t wavpcm")), rc::PcmBadByteRate);
    EXPECT_EQ(CheckPcmWaveFile(Sox("float.wav", "-r 44100 -c 2 -e floating-point -b 32 -t wavpcm")),
              rc::PcmNotPcm);
    EXPECT_EQ(CheckPcmWaveFile(Sox("ulaw.wav", "-r 44100 -c 2 -e u-law")), rc::PcmNotPcm);
}
