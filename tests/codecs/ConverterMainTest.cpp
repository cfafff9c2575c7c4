// The movie transcoder behind ff_convertermain: what it writes for the sources users bring, how it
// reports, and how it fails.

#include "codecs/CVideoConverter.h"
#include "codecs/ResultCodes.h"
#include "codecs/ff_convertermain.h"
#include "tests/codecs/MovieTestSupport.h"
#include "tests/support/AviStructure.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace k72test {
namespace {

using k72::ReportBytesWritten;
using k72::ReportPosition;
using k72::ReportResult;
using k72::ReportTotal;

struct Expectation {
    std::string standard = "ntsc";
    bool sound = true;
};

// Records the transcoder's reports on their way to the converter.
struct Relay {
    k72::ConverterCallback callback = nullptr;
    void* context = nullptr;
    ReportRecorder recorder;

    static std::int32_t Forward(void* self, std::int32_t kind, std::int32_t value) {
        auto* relay = static_cast<Relay*>(self);
        ReportRecorder::Callback(&relay->recorder, kind, value);
        return relay->callback(relay->context, kind, value);
    }
};

// What an independent reader must see in either file.
ProbedMovie ExpectDevicePictureAndSound(const std::filesystem::path& avi, const AviLayout& layout,
                                        const std::string& standard, bool sound) {
    const ProbedMovie movie = ProbeMovie(avi);
    EXPECT_TRUE(movie.ok) << movie.error;
    EXPECT_EQ(movie.videoStreams, 1);
    EXPECT_EQ(movie.videoCodec, "mjpeg");
    EXPECT_EQ(movie.pixelFormat, "yuvj422p");
    EXPECT_EQ(movie.width, 640);
    EXPECT_EQ(movie.height, 480);
    EXPECT_EQ(movie.frameRate, standard == "ntsc" ? "30000/1001" : "25/1");
    EXPECT_EQ(movie.frames, layout.totalFrames);
    EXPECT_EQ(movie.audioStreams, sound ? 1 : 0);
    if (sound) {
        EXPECT_EQ(movie.audioCodec, "pcm_s16le");
        EXPECT_EQ(movie.sampleRate, 44100);
        EXPECT_EQ(movie.channels, 2);
    }
    return movie;
}

// Converts with both phases, keeping the transcoder's own file, and checks both files the way the
// device and an independent reader see them.
void ExpectGoodConversion(const std::filesystem::path& source, const TempDir& dir,
                          const Expectation& expected, bool deinterlace = false) {
    const std::filesystem::path intermediate = dir / "intermediate.avi";
    const std::filesystem::path output = dir / "out.avi";
    std::filesystem::create_directory(dir / "work");
    k72::CVideoConverter converter;
    converter.SetWorkFolder(dir / "work");
    converter.SetFrameRateStandard(expected.standard);
    converter.SetQscaleText("10");
    converter.SetDeinterlace(deinterlace);
    Relay relay;
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int argc, char** argv) {
        relay.callback = callback;
        relay.context = context;
        const int result = k72::ff_convertermain(&Relay::Forward, &relay, argc, argv);
        std::filesystem::create_hard_link(argv[argc - 1], intermediate);
        return result;
    });
    ASSERT_EQ(converter.Convert(source.string(), output.string()), 0);
    const ReportRecorder& recorder = relay.recorder;
    ASSERT_EQ(recorder.Values(ReportResult), std::vector<std::int32_t>{0});

    // The transcoder's file: its layout, and a reader accepts it.
    const std::vector<std::string> intermediateProblems = CheckIntermediateLayout(intermediate);
    EXPECT_TRUE(intermediateProblems.empty()) << ::testing::PrintToString(intermediateProblems);
    ExpectDevicePictureAndSound(intermediate, ReadAviLayout(intermediate, true), expected.standard,
                                expected.sound);

    // The device's file.
    const std::vector<std::string> problems = CheckDeviceLayout(output, expected.standard);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    const AviLayout layout = ReadAviLayout(output, false);
    const ProbedMovie movie = ExpectDevicePictureAndSound(output, layout, expected.standard, expected.sound);
    const CommandResult decode = RunCommand("ffmpeg -nostdin -v error -i " + Quote(output) + " -f null -");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.output, "");

    // Durations: within one frame for the pictures, 50 ms for the sound.
    const SourceDurations durations = ProbeSourceDurations(source);
    const double frame = expected.standard == "ntsc" ? 1001.0 / 30000 : 1.0 / 25;
    EXPECT_NEAR(layout.totalFrames * frame, durations.video, frame + 1e-6);
    if (expected.sound) {
        std::uint64_t audioBytes = 0;
        for (const AviChunk& chunk : layout.chunks) {
            audioBytes += chunk.id == "01wb" ? chunk.size : 0;
        }
        EXPECT_NEAR(static_cast<double>(audioBytes) / 176400.0, durations.audio, 0.05);
        EXPECT_NEAR(movie.audioDuration, durations.audio, 0.05);
    }

    // Progress: one total, positions that never run backwards, bytes that add up to the file.
    const auto totals = recorder.Values(ReportTotal);
    ASSERT_EQ(totals.size(), 1u);
    const auto positions = recorder.Values(ReportPosition);
    ASSERT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_LE(positions.back(), totals[0]);
    std::uint64_t written = 0;
    for (const auto bytes : recorder.Values(ReportBytesWritten)) {
        written += static_cast<std::uint64_t>(bytes);
    }
    EXPECT_EQ(written, std::filesystem::file_size(intermediate));
}

TEST(ConverterMain, FullHdH264WithAacBecomesNtscMjpegAndPcm) {
    TempDir dir;
    ASSERT_TRUE(MakeH264Aac1080p(dir / "in.mp4"));
    ExpectGoodConversion(dir / "in.mp4", dir, {});
}

// The kinds of movie users bring, each made by ffmpeg.
struct SourceCase {
    const char* name;
    const char* file;
    const char* ffmpegArguments;
    const char* standard;
    bool deinterlace;
    bool sound;
};

class ConverterMainSources : public ::testing::TestWithParam<SourceCase> {};

TEST_P(ConverterMainSources, BecomeDevicePictureAndSound) {
    const SourceCase& source = GetParam();
    TempDir dir;
    ASSERT_TRUE(MakeMedia(dir / source.file, source.ffmpegArguments));
    ExpectGoodConversion(dir / source.file, dir, {source.standard, source.sound}, source.deinterlace);
}

const SourceCase kSources[] = {
    {"InterlacedPalMpeg2", "pal.mpg",
     "-f lavfi -i testsrc2=size=720x576:rate=25:duration=2 -f lavfi -i sine=sample_rate=48000:duration=2 "
     "-vf setfield=tff -flags +ilme+ildct -top 1 -c:v mpeg2video -b:v 3M -c:a mp2 -f mpeg",
     "pal", true, true},
    {"Dv", "in.dv",
     "-f lavfi -i testsrc2=size=720x576:rate=25:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 "
     "-target pal-dv",
     "ntsc", false, true},
    {"Wmv", "in.wmv",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
     "-c:v wmv2 -c:a wmav2",
     "ntsc", false, true},
    {"Mov", "in.mov",
     "-f lavfi -i testsrc2=size=320x240:rate=30:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
     "-c:v mpeg4 -c:a aac",
     "pal", false, true},
    {"Flv", "in.flv",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
     "-c:v flv1 -c:a libmp3lame",
     "ntsc", false, true},
    {"VideoWithoutSound", "silent.avi", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -c:v mpeg4 -an",
     "ntsc", false, false},
    {"SurroundSound", "surround.mp4",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i "
     "'aevalsrc=sin(440*2*PI*t)|sin(550*2*PI*t)|0.5*sin(660*2*PI*t)|0|0.2*sin(330*2*PI*t)|0.2*sin(220*2*PI*t)"
     ":"
     "c=5.1:s=48000:d=1' -c:v libx264 -preset ultrafast -c:a aac",
     "ntsc", false, true},
    {"Mono48kHz", "mono.avi",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 "
     "-c:v mpeg4 -c:a pcm_s16le",
     "pal", false, true},
    {"OddPictureSize", "odd.mkv",
     "-f lavfi -i testsrc2=size=321x241:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
     "-c:v ffv1 -c:a flac",
     "ntsc", false, true},
    // Containers and codecs beyond the device tool's own list, as phones, cameras and the web make them.
    {"WebmVp9TenBit", "in.webm",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 "
     "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -pix_fmt yuv420p10le -c:a libopus",
     "ntsc", false, true},
    {"MkvHevcTenBit", "in.mkv",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 "
     "-c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -x265-params log-level=none -c:a libvorbis",
     "pal", false, true},
    {"M2tsH264", "in.m2ts",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 "
     "-c:v libx264 -preset ultrafast -c:a ac3 -f mpegts -mpegts_m2ts_mode 1",
     "ntsc", false, true},
    {"OgvTheora", "in.ogv",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
     "-c:v libtheora -c:a libvorbis",
     "ntsc", false, true},
    {"ThreeGp", "in.3gp",
     "-f lavfi -i testsrc2=size=176x144:rate=15:duration=1 -f lavfi -i sine=sample_rate=8000:duration=1 "
     "-c:v h263 -ac 1 -c:a aac",
     "ntsc", false, true},
    {"Vob", "in.vob",
     "-f lavfi -i testsrc2=size=720x480:rate=30000/1001:duration=1 -f lavfi -i "
     "sine=sample_rate=48000:duration=1 -c:v mpeg2video -c:a ac3 -f vob",
     "ntsc", false, true},
    {"Mxf", "in.mxf",
     "-f lavfi -i testsrc2=size=720x576:rate=25:duration=1 -f lavfi -i sine=sample_rate=48000:duration=1 "
     "-c:v mpeg2video -c:a pcm_s16le",
     "pal", false, true},
    {"AsfWmv", "in.asf",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -f lavfi -i sine=sample_rate=44100:duration=1 "
     "-c:v wmv2 -c:a wmav2 -f asf",
     "ntsc", false, true},
    {"VariableFrameRate", "vfr.mkv",
     "-f lavfi -i testsrc2=size=320x240:rate=30:duration=2 -f lavfi -i sine=sample_rate=44100:duration=2 "
     "-vf select='lt(n\\,10)+not(mod(n\\,3))' -fps_mode vfr -c:v libx264 -preset ultrafast -c:a aac",
     "ntsc", false, true},
};

INSTANTIATE_TEST_SUITE_P(Formats, ConverterMainSources, ::testing::ValuesIn(kSources),
                         [](const ::testing::TestParamInfo<SourceCase>& info) { return info.param.name; });

// The payloads of the picture chunks, in order.
std::vector<std::vector<std::uint8_t>> Pictures(const std::filesystem::path& avi) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(avi);
    std::vector<std::vector<std::uint8_t>> pictures;
    for (const AviChunk& chunk : ReadAviLayout(avi, true).chunks) {
        if (chunk.id == "00dc") {
            const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(chunk.offset + 8);
            pictures.emplace_back(begin, begin + chunk.size);
        }
    }
    return pictures;
}

std::size_t DistinctCount(std::vector<std::vector<std::uint8_t>> pictures) {
    std::sort(pictures.begin(), pictures.end());
    return static_cast<std::size_t>(std::unique(pictures.begin(), pictures.end()) - pictures.begin());
}

TEST(ConverterMain, FrameRateConversionRepeatsOrDropsRealPictures) {
    TempDir dir;
    // Two seconds at 25 fps made ntsc: 60 pictures, every one a real JPEG, the 50 source pictures
    // each shown at least once and some twice.
    ASSERT_TRUE(MakeSmallMovie(dir / "pal.mp4", "libx264", "", "320x240", 25, 2.0));
    ReportRecorder recorder;
    ASSERT_EQ(RunTranscoder(TranscoderArguments(dir / "pal.mp4", dir / "ntsc.avi", "ntsc"), recorder), 0);
    EXPECT_TRUE(CheckIntermediateLayout(dir / "ntsc.avi").empty());
    const auto repeated = Pictures(dir / "ntsc.avi");
    EXPECT_EQ(repeated.size(), 60u);
    EXPECT_EQ(DistinctCount(repeated), 50u);

    // Two seconds at 30 fps made pal: 50 pictures, none repeated.
    ASSERT_TRUE(MakeSmallMovie(dir / "ntsc.mp4", "libx264", "", "320x240", 30, 2.0));
    ASSERT_EQ(RunTranscoder(TranscoderArguments(dir / "ntsc.mp4", dir / "pal.avi", "pal"), recorder), 0);
    const auto dropped = Pictures(dir / "pal.avi");
    EXPECT_EQ(dropped.size(), 50u);
    EXPECT_EQ(DistinctCount(dropped), 50u);
}

std::uint64_t PictureBytes(const std::filesystem::path& avi) {
    std::uint64_t total = 0;
    for (const auto& picture : Pictures(avi)) {
        total += picture.size();
    }
    return total;
}

TEST(ConverterMain, QuantiserAndDeinterlacingChangeThePictures) {
    TempDir dir;
    // Fields of different moments woven into one frame: combing that deinterlacing takes away.
    ASSERT_TRUE(MakeMedia(dir / "woven.mkv", "-f lavfi -i testsrc2=size=720x576:rate=50:duration=1 "
                                             "-vf tinterlace=interleave_top,setfield=tff -c:v ffv1"));
    ReportRecorder recorder;
    ASSERT_EQ(RunTranscoder(TranscoderArguments(dir / "woven.mkv", dir / "plain.avi", "pal", "5"), recorder),
              0);
    ASSERT_EQ(
        RunTranscoder(TranscoderArguments(dir / "woven.mkv", dir / "smooth.avi", "pal", "5", true), recorder),
        0);
    ASSERT_EQ(
        RunTranscoder(TranscoderArguments(dir / "woven.mkv", dir / "coarse.avi", "pal", "20"), recorder), 0);
    const std::uint64_t plain = PictureBytes(dir / "plain.avi");
    EXPECT_LT(PictureBytes(dir / "smooth.avi"), plain * 9 / 10);
    EXPECT_LT(PictureBytes(dir / "coarse.avi") * 2, plain);
    EXPECT_EQ(Pictures(dir / "smooth.avi").size(), 25u);
}

// A progressive source has nothing to deinterlace: with deinterlacing asked for, its pictures are the
// same as without (not softened, and those the frame rate drops are still left undecoded).
TEST(ConverterMain, DeinterlacingLeavesAProgressiveSourceAsItIs) {
    TempDir dir;
    ASSERT_TRUE(MakeSmallMovie(dir / "phone.mp4", "libx264", "", "320x240", 60, 1.0));
    ReportRecorder recorder;
    ASSERT_EQ(RunTranscoder(TranscoderArguments(dir / "phone.mp4", dir / "plain.avi"), recorder), 0);
    ASSERT_EQ(RunTranscoder(TranscoderArguments(dir / "phone.mp4", dir / "asked.avi", "ntsc", "10", true),
                            recorder),
              0);
    EXPECT_EQ(Pictures(dir / "asked.avi").size(), 30u);
    EXPECT_EQ(Pictures(dir / "asked.avi"), Pictures(dir / "plain.avi"));
}

// A picture shrunk to half or less in both directions is decoded without the in-loop deblocking and
// scaled by area: other pictures than full decoding gives, but close to them. Shrunk less, nothing
// changes.
TEST(ConverterMain, LighterDecodingOnlyWherePicturesShrinkToHalf) {
    TempDir dir;
    ReportRecorder recorder;
    const auto convert = [&](const std::string& source, const std::string& output, bool full) {
        std::vector<std::string> arguments = TranscoderArguments(dir / source, dir / output);
        if (full) {
            arguments.insert(arguments.end() - 7, "-fulldecode");
        }
        return RunTranscoder(arguments, recorder);
    };
    ASSERT_TRUE(MakeSmallMovie(dir / "large.mp4", "libx264", "", "1920x1080", 30, 1.0));
    ASSERT_EQ(convert("large.mp4", "light.avi", false), 0);
    ASSERT_EQ(convert("large.mp4", "full.avi", true), 0);
    EXPECT_TRUE(CheckIntermediateLayout(dir / "light.avi").empty());
    EXPECT_EQ(Pictures(dir / "light.avi").size(), Pictures(dir / "full.avi").size());
    EXPECT_NE(Pictures(dir / "light.avi"), Pictures(dir / "full.avi"));
    const CommandResult psnr = RunCommand("ffmpeg -nostdin -i " + Quote(dir / "light.avi") + " -i " +
                                          Quote(dir / "full.avi") + " -lavfi psnr -f null - 2>&1");
    const auto at = psnr.output.find("PSNR y:");
    ASSERT_NE(at, std::string::npos) << psnr.output;
    EXPECT_GT(std::atof(psnr.output.c_str() + at + 7), 35.0) << psnr.output.substr(at, 80);

    // 1280 x 720 is not twice 480 high.
    ASSERT_TRUE(MakeSmallMovie(dir / "medium.mp4", "libx264", "", "1280x720", 30, 1.0));
    ASSERT_EQ(convert("medium.mp4", "light.avi", false), 0);
    ASSERT_EQ(convert("medium.mp4", "full.avi", true), 0);
    EXPECT_EQ(Pictures(dir / "light.avi"), Pictures(dir / "full.avi"));
}

// The mean luma of a column range of the first picture, read from the JPEG's own planes (no range
// conversion on the way).
double MeanLuma(const std::filesystem::path& avi, int x0, int x1) {
    const CommandResult raw = RunCommand("ffmpeg -nostdin -v error -i " + Quote(avi) +
                                         " -frames:v 1 -f rawvideo -pix_fmt yuvj422p - 2>/dev/null");
    EXPECT_GE(raw.output.size(), 640u * 480u);
    if (raw.output.size() < 640u * 480u) {
        return -1;
    }
    double sum = 0;
    for (int y = 40; y < 440; ++y) {
        for (int x = x0; x < x1; ++x) {
            sum += static_cast<unsigned char>(raw.output[static_cast<std::size_t>(y) * 640 + x]);
        }
    }
    return sum / (400.0 * (x1 - x0));
}

// The device's pictures are full range (black 0, white 255), whatever range the source is coded in:
// a limited-range movie is stretched, a full-range one and an RGB one are not stretched again.
TEST(ConverterMain, LevelsReachTheDeviceAtFullRange) {
    TempDir dir;
    // Black, dark grey (64 of 255) and white bands side by side.
    const std::string bands = "-f lavfi -i color=c=black:size=96x240:rate=30:duration=1 "
                              "-f lavfi -i color=c=0x404040:size=96x240:rate=30:duration=1 "
                              "-f lavfi -i color=c=white:size=96x240:rate=30:duration=1 "
                              "-filter_complex '[0][1][2]hstack=inputs=3' ";
    const struct {
        const char* name;
        const char* coding;
    } sources[] = {
        {"limited.mp4", "-c:v libx264 -pix_fmt yuv420p -color_range tv"},
        {"full.mp4", "-c:v libx264 -pix_fmt yuvj420p -color_range pc"},
        {"rgb.mkv", "-c:v ffv1 -pix_fmt bgr0"},
    };
    ReportRecorder recorder;
    for (const auto& source : sources) {
        SCOPED_TRACE(source.name);
        ASSERT_TRUE(MakeMedia(dir / source.name, bands + source.coding));
        ASSERT_EQ(RunTranscoder(TranscoderArguments(dir / source.name, dir / "out.avi"), recorder), 0);
        EXPECT_NEAR(MeanLuma(dir / "out.avi", 40, 170), 0.0, 2.0);
        EXPECT_NEAR(MeanLuma(dir / "out.avi", 260, 380), 64.0, 3.0);
        EXPECT_NEAR(MeanLuma(dir / "out.avi", 470, 600), 255.0, 2.0);
    }
}

// Decoding runs on a thread of its own, ahead of the encoder; however the two threads meet, the same
// source gives the same device file, byte for byte.
TEST(ConverterMain, TheSameSourceGivesTheSameDeviceFile) {
    TempDir dir;
    ASSERT_TRUE(MakeMedia(dir / "in.mp4", "-f lavfi -i testsrc2=size=960x540:rate=30:duration=3 "
                                          "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=3 "
                                          "-c:v libx264 -preset veryfast -bf 3 -pix_fmt yuv420p -c:a aac"));
    std::filesystem::create_directory(dir / "work");
    std::vector<std::vector<std::uint8_t>> outputs;
    for (const char* name : {"first.avi", "second.avi", "third.avi"}) {
        k72::CVideoConverter converter;
        converter.SetWorkFolder(dir / "work");
        converter.SetFrameRateStandard("ntsc");
        converter.SetQscaleText("10");
        ASSERT_EQ(converter.Convert((dir / "in.mp4").string(), (dir / name).string()), 0);
        outputs.push_back(ReadFileBytes(dir / name));
    }
    EXPECT_EQ(Pictures(dir / "first.avi").size(), 90u);
    EXPECT_TRUE(outputs[0] == outputs[1]);
    EXPECT_TRUE(outputs[0] == outputs[2]);
}

TEST(ConverterMain, StopsWithinOneFrameOfAStopAnswer) {
    TempDir dir;
    ASSERT_TRUE(MakeSmallMovie(dir / "in.mp4", "libx264", "aac", "320x240", 25, 3.0));
    ReportRecorder recorder;
    recorder.stopAfterPositions = 20;
    const int result = RunTranscoder(TranscoderArguments(dir / "in.mp4", dir / "out.avi"), recorder);
    EXPECT_LT(result, 0);
    ASSERT_FALSE(recorder.reports.empty());
    EXPECT_EQ(recorder.reports.back().first, ReportResult);
    EXPECT_EQ(recorder.reports.back().second, result);
    EXPECT_EQ(recorder.Values(ReportResult).size(), 1u);
    EXPECT_EQ(recorder.stopAnswers, 1);
    // After the answer: no further position report and at most one more picture written.
    std::size_t after = 0;
    bool stopped = false;
    int positions = 0;
    for (const auto& [kind, value] : recorder.reports) {
        if (kind == ReportPosition && ++positions > recorder.stopAfterPositions) {
            stopped = true;
            continue;
        }
        if (stopped && kind != ReportResult) {
            ++after;
        }
    }
    EXPECT_TRUE(stopped);
    EXPECT_LE(after, 1u);
}

// A damaged timestamp an hour ahead makes one packet stand for an hour of repeated pictures. A stop
// answer must still end the conversion at once, not when the repeats have reached the size limit.
TEST(ConverterMain, StopsDuringTheRepeatsOfOneLongPicture) {
    TempDir dir;
    ASSERT_TRUE(MakeMedia(dir / "gap.mkv", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=1 "
                                           "-vf 'setpts=PTS+gte(N\\,5)*3600/TB' -c:v mpeg4"));
    ReportRecorder recorder;
    recorder.stopAfterPositions = 40; // the source has 25 packets
    const int result = RunTranscoder(
        TranscoderArguments(dir / "gap.mkv", dir / "out.avi", "ntsc", "31", false, "50000000"), recorder);
    EXPECT_EQ(result, k72::rc::Error) << "stopped, not cut off at the size limit";
    EXPECT_EQ(recorder.stopAnswers, 1);
    EXPECT_EQ(recorder.Values(ReportResult), std::vector<std::int32_t>{k72::rc::Error});
    EXPECT_LT(std::filesystem::file_size(dir / "out.avi"), 2000000u);
}

TEST(ConverterMain, StopsAtTheSizeLimitWithAWholeFile) {
    TempDir dir;
    ASSERT_TRUE(MakeSmallMovie(dir / "in.mp4", "libx264", "aac", "320x240", 25, 3.0));
    ReportRecorder recorder;
    const int result = RunTranscoder(
        TranscoderArguments(dir / "in.mp4", dir / "out.avi", "ntsc", "2", false, "400000"), recorder);
    EXPECT_EQ(result, k72::rc::FileSizeOverLimit);
    EXPECT_EQ(recorder.Values(ReportResult), std::vector<std::int32_t>{k72::rc::FileSizeOverLimit});
    EXPECT_LE(std::filesystem::file_size(dir / "out.avi"), 400000u);
    EXPECT_GT(std::filesystem::file_size(dir / "out.avi"), 300000u);
    EXPECT_TRUE(CheckIntermediateLayout(dir / "out.avi").empty());
}

// Reports exactly one result, the expected failure, and nothing that looks like a finished movie.
void ExpectFailure(std::vector<std::string> arguments, k72::ResultCode expected) {
    ReportRecorder recorder;
    EXPECT_EQ(RunTranscoder(std::move(arguments), recorder), expected);
    EXPECT_EQ(recorder.Values(ReportResult), std::vector<std::int32_t>{expected});
}

TEST(ConverterMain, BrokenSourcesFailWithTheirCodes) {
    TempDir dir;
    WriteFileBytes(dir / "empty.mp4", {});
    std::vector<std::uint8_t> noise(64 * 1024);
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    }
    WriteFileBytes(dir / "noise.avi", noise);
    ASSERT_TRUE(MakeSmallMovie(dir / "whole.mp4", "libx264", "aac", "320x240", 25, 1.0));
    std::vector<std::uint8_t> whole = ReadFileBytes(dir / "whole.mp4");
    whole.resize(whole.size() / 2); // the index at the end is gone
    WriteFileBytes(dir / "truncated.mp4", whole);
    ASSERT_TRUE(MakeMedia(dir / "sound.wav", "-f lavfi -i sine=duration=1"));
    ASSERT_TRUE(MakeMedia(dir / "cover.mp3",
                          "-f lavfi -i sine=duration=1 -f lavfi -i color=red:size=64x64:d=1 "
                          "-map 0 -map 1 -frames:v 1 -c:v mjpeg -disposition:v attached_pic"));

    for (const auto& [file, code] :
         std::vector<std::pair<std::string, k72::ResultCode>>{{"empty.mp4", k72::rc::CannotOpenInput},
                                                              {"noise.avi", k72::rc::CannotOpenInput},
                                                              {"truncated.mp4", k72::rc::CannotOpenInput},
                                                              {"missing.mp4", k72::rc::CannotOpenInput},
                                                              {"sound.wav", k72::rc::StreamNotFound},
                                                              {"cover.mp3", k72::rc::StreamNotFound}}) {
        SCOPED_TRACE(file);
        ExpectFailure(TranscoderArguments(dir / file, dir / "out.avi"), code);
    }
}

TEST(ConverterMain, BadArgumentsFailWithTheirCodes) {
    TempDir dir;
    ASSERT_TRUE(MakeSmallMovie(dir / "in.avi", "mpeg4", "", "160x120", 25, 0.2));
    const auto good = TranscoderArguments(dir / "in.avi", dir / "out.avi");
    auto with = [&good](const std::string& option, const std::string& value) {
        auto arguments = good;
        const auto at = std::find(arguments.begin(), arguments.end(), option);
        *(at + 1) = value;
        return arguments;
    };
    ExpectFailure(with("-f", "mp4"), k72::rc::OutputTypeUnknown);
    ExpectFailure(with("-vcodec", "h264"), k72::rc::OutputCodecUnsupported);
    ExpectFailure(with("-acodec", "mp3"), k72::rc::OutputCodecUnsupported);
    ExpectFailure(with("-r", "fast"), k72::rc::IncorrectFrameRate);
    ExpectFailure(with("-qscale", "0"), k72::rc::Error);
    auto noOutput = good;
    noOutput.pop_back();
    ExpectFailure(noOutput, k72::rc::OutputNotSpecified);

    // Without "-y" an existing output stays as it was; a folder that does not exist cannot take one.
    WriteFileBytes(dir / "out.avi", {1, 2, 3});
    auto keep = good;
    keep.erase(std::find(keep.begin(), keep.end(), "-y"));
    ExpectFailure(keep, k72::rc::FileExists);
    EXPECT_EQ(ReadFileBytes(dir / "out.avi"), (std::vector<std::uint8_t>{1, 2, 3}));
    ExpectFailure(TranscoderArguments(dir / "in.avi", dir / "no" / "such" / "out.avi"),
                  k72::rc::CannotOpenFile);

    ReportRecorder recorder;
    EXPECT_EQ(RunTranscoder(good, recorder), 0);
}

} // namespace
} // namespace k72test
