// Sounds the device cannot play as they are become its one WAV form: the device's own check accepts
// the result, its length is the source's within one audio frame, and the sound is still there.

#include "codecs/ResultCodes.h"
#include "engine/CConversionManager.h"
#include "engine/PcmFileCheck.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

using k72::CConversionManager;
using namespace k72test;

struct SoundCase {
    const char* name;
    const char* file;
    const char* ffmpegArguments; // after the 440 Hz, 1.000 s sine source at the given rate
    int sampleRate;
    int frameSamples; // one audio frame of the source codec, in its own samples
};

class SoundConversion : public ::testing::TestWithParam<SoundCase> {};

TEST_P(SoundConversion, PassesTheDeviceCheckWithItsLength) {
    const SoundCase& sound = GetParam();
    TempDir dir;
    ASSERT_TRUE(MakeMedia(dir / sound.file, "-f lavfi -i sine=frequency=440:duration=1:sample_rate=" +
                                                std::to_string(sound.sampleRate) + " " +
                                                sound.ffmpegArguments));
    // The device's own check refuses every one of them as it is.
    EXPECT_TRUE(k72::Failed(k72::CheckPcmWaveFile((dir / sound.file).string())));
    const auto wav = dir / "OUT.WAV";
    ASSERT_EQ(CConversionManager::ConvertSound((dir / sound.file).string(), wav.string()), 0);
    EXPECT_EQ(k72::CheckPcmWaveFile(wav.string()), 0);

    const std::vector<std::uint8_t> bytes = ReadFileBytes(wav);
    ASSERT_GT(bytes.size(), 44u);
    const auto frames = static_cast<double>(bytes.size() - 44) / 4;
    const double frameAt44k = sound.frameSamples * 44100.0 / sound.sampleRate;
    EXPECT_NEAR(frames, 44100.0, frameAt44k) << "sample frames written";

    // The tone is there, on both sides, at its level: the sine source peaks at 1/8 of full scale, and a
    // single channel goes to each side 3 dB down, as players spread it.
    double sum = 0;
    double difference = 0;
    for (std::size_t i = 44; i + 3 < bytes.size(); i += 4) {
        const auto left = static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8));
        const auto right = static_cast<std::int16_t>(bytes[i + 2] | (bytes[i + 3] << 8));
        sum += static_cast<double>(left) * left;
        difference += std::abs(left - right);
    }
    const double rms = std::sqrt(sum / frames);
    EXPECT_NEAR(rms, 32768.0 / 8 / 2, 100.0);
    EXPECT_LT(difference / frames, 2.0) << "a mono source sounds the same on both sides";

    const auto probe = RunCommand(
        "ffprobe -v error -show_entries stream=codec_name,sample_rate,channels -of csv=p=0 " + Quote(wav));
    EXPECT_EQ(probe.output, "pcm_s16le,44100,2\n");
}

const SoundCase kSounds[] = {
    {"Mp3", "song.mp3", "-c:a libmp3lame -b:a 192k", 44100, 1152},
    {"Flac", "song.flac", "-c:a flac", 44100, 4608},
    {"OggVorbis", "song.ogg", "-c:a libvorbis", 44100, 2048},
    {"Mono48kHzWav", "mono48.wav", "-c:a pcm_s16le", 48000, 1},
    {"TwentyFourBitWav", "deep.wav", "-ac 2 -c:a pcm_s24le", 44100, 1},
    {"FloatWav", "float.wav", "-ac 2 -c:a pcm_f32le", 44100, 1},
    {"M4aAac", "song.m4a", "-c:a aac", 48000, 1024},
};

INSTANTIATE_TEST_SUITE_P(Formats, SoundConversion, ::testing::ValuesIn(kSounds),
                         [](const ::testing::TestParamInfo<SoundCase>& info) { return info.param.name; });

TEST(SoundConversionFailures, NothingDecodableLeavesNoFile) {
    TempDir dir;
    const std::string text = "Dear diary, today I renamed a letter to .mp3\n";
    WriteFileBytes(dir / "letter.mp3", std::vector<std::uint8_t>(text.begin(), text.end()));
    ASSERT_TRUE(
        MakeMedia(dir / "silent-movie.mkv", "-f lavfi -i testsrc2=size=64x48:duration=0.2 -c:v ffv1"));
    ASSERT_TRUE(MakeMedia(dir / "whole.flac", "-f lavfi -i sine=duration=1 -c:a flac"));
    auto flac = ReadFileBytes(dir / "whole.flac");
    flac.resize(60); // the stream header and nothing of the sound
    WriteFileBytes(dir / "cut.flac", flac);
    // A header that claims 1.27 GHz: resampling from it would take gigabytes.
    ASSERT_TRUE(MakeMedia(dir / "whole.wav", "-f lavfi -i sine=duration=0.1 -c:a pcm_s16le"));
    auto wav = ReadFileBytes(dir / "whole.wav");
    ASSERT_GT(wav.size(), 44u);
    const std::uint8_t rate[] = {0x40, 0x00, 0x00, 0x4c};
    std::copy(std::begin(rate), std::end(rate), wav.begin() + 24);
    WriteFileBytes(dir / "giga.wav", wav);
    const struct {
        const char* file;
        k72::ResultCode code;
    } cases[] = {{"letter.mp3", k72::rc::CannotOpenInput},
                 {"silent-movie.mkv", k72::rc::StreamNotFound},
                 {"cut.flac", k72::rc::InputCodecUnsupported},
                 {"giga.wav", k72::rc::InputCodecUnsupported},
                 {"missing.ogg", k72::rc::CannotOpenInput}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.file);
        const auto out = dir / "OUT.WAV";
        const k72::ResultCode code =
            CConversionManager::ConvertSound((dir / item.file).string(), out.string());
        // A stream header without sound may be refused on opening or on decoding.
        if (std::string(item.file) == "cut.flac") {
            EXPECT_TRUE(code == k72::rc::InputCodecUnsupported || code == k72::rc::CannotOpenInput) << code;
        } else {
            EXPECT_EQ(code, item.code);
        }
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    // A destination that cannot be written.
    EXPECT_EQ(
        CConversionManager::ConvertSound((dir / "whole.flac").string(), (dir / "no" / "OUT.WAV").string()),
        k72::rc::FileError);
}

// The sample frames and the loudest sample of a converted WAV.
struct WavSummary {
    std::size_t frames = 0;
    int peak = 0;
};

WavSummary Summarise(const std::filesystem::path& wav) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(wav);
    WavSummary summary;
    summary.frames = bytes.size() > 44 ? (bytes.size() - 44) / 4 : 0;
    for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) {
        summary.peak =
            std::max(summary.peak, std::abs(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8))));
    }
    return summary;
}

// What the media library alone refuses: a blip shorter than the resampler's filter, and FLAC of 32 bits.
TEST(SoundConversionEdges, AVeryShortSoundAndThirtyTwoBitFlacConvert) {
    TempDir dir;
    // 20 samples at 80 kHz: a quarter of a 1 kHz sine cycle, rising to 1/8 of full scale.
    ASSERT_TRUE(MakeMedia(dir / "blip.wav",
                          "-f lavfi -i sine=frequency=1000:sample_rate=80000:duration=0.00025 "
                          "-c:a pcm_s16le"));
    const auto blip = dir / "BLIP.WAV";
    ASSERT_EQ(CConversionManager::ConvertSound((dir / "blip.wav").string(), blip.string()), 0);
    EXPECT_EQ(k72::CheckPcmWaveFile(blip.string()), 0);
    const WavSummary short44k = Summarise(blip);
    EXPECT_EQ(short44k.frames, 11u) << "20 samples at 80 kHz last 11 at 44.1 kHz";
    EXPECT_GT(short44k.peak, 1000) << "the blip is in it, not only silence";

    // One second of a 440 Hz sine at 1/8 of full scale, mono, in 32-bit samples through the flac tool.
    ASSERT_TRUE(
        MakeMedia(dir / "deep.s32", "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 -f s32le"));
    ASSERT_EQ(RunCommand("flac -s -f --force-raw-format --endian=little --sign=signed --channels=1 --bps=32 "
                         "--sample-rate=48000 -o " +
                         Quote(dir / "deep.flac") + " " + Quote(dir / "deep.s32"))
                  .exitCode,
              0);
    const auto deep = dir / "DEEP.WAV";
    ASSERT_EQ(CConversionManager::ConvertSound((dir / "deep.flac").string(), deep.string()), 0);
    EXPECT_EQ(k72::CheckPcmWaveFile(deep.string()), 0);
    const WavSummary second = Summarise(deep);
    EXPECT_NEAR(static_cast<double>(second.frames), 44100.0, 2.0);
    // A mono source goes to each side 3 dB down.
    EXPECT_NEAR(second.peak, 32768.0 / 8 / std::sqrt(2.0), 100.0);
}

} // namespace
