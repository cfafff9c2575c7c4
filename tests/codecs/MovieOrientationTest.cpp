// Movies as phones and cameras make them: turned by a display matrix, of another shape than 4:3,
// anamorphic, HDR. Each is measured against an upright or known source converted the same way.

#include "tests/codecs/MovieTestSupport.h"
#include "tests/support/AviStructure.h"
#include "tests/support/TestSupport.h"

#include "base/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace k72test {
namespace {

// The transcoder's arguments with extra options (before the output codec options), without
// deinterlacing, which works on the stored rows and would blur the comparison.
int Transcode(const std::filesystem::path& source, const std::filesystem::path& output,
              const std::vector<std::string>& extra = {}) {
    std::vector<std::string> arguments = TranscoderArguments(source, output, "pal");
    arguments.insert(arguments.begin() + 18, extra.begin(), extra.end());
    ReportRecorder recorder;
    return RunTranscoder(arguments, recorder);
}

// PSNR (dB) of the pictures of two movies, as ffmpeg's own filter measures it; 100 for identical.
double Psnr(const std::filesystem::path& a, const std::filesystem::path& b) {
    const auto result = RunCommand("ffmpeg -nostdin -hide_banner -i " + Quote(a) + " -i " + Quote(b) +
                                   " -lavfi psnr -f null - 2>&1");
    const auto at = result.output.find("average:");
    if (at == std::string::npos) {
        ADD_FAILURE() << result.output;
        return 0;
    }
    const std::string value = result.output.substr(at + 8, result.output.find(' ', at) - at - 8);
    return value == "inf" ? 100.0 : std::atof(value.c_str());
}

// The first picture of a movie as 8-bit grey, 640 x 480.
std::vector<std::uint8_t> FirstPictureGrey(const std::filesystem::path& movie,
                                           const std::string& format = "gray") {
    const auto raw = movie.string() + ".raw";
    const auto result = RunCommand("ffmpeg -nostdin -loglevel error -y -i " + Quote(movie) +
                                   " -frames:v 1 -f rawvideo -pix_fmt " + format + " " + Quote(raw));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return ReadFileBytes(raw);
}

double MeanOfRows(const std::vector<std::uint8_t>& grey, int y0, int y1, int x0 = 0, int x1 = 640) {
    if (grey.size() < 640u * 480u) {
        return -1;
    }
    double sum = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            sum += grey[static_cast<std::size_t>(y) * 640 + x];
        }
    }
    return sum / ((y1 - y0) * (x1 - x0));
}

// A lossless source movie made by ffmpeg from a portrait test picture, the filter applied.
void MakeLossless(const std::filesystem::path& path, const std::string& size, const std::string& filter,
                  const std::string& extra = "") {
    ASSERT_TRUE(MakeMedia(path, "-f lavfi -i testsrc2=size=" + size + ":rate=25:duration=0.4 -vf " + filter +
                                    " -c:v libx264 -qp 0 -preset ultrafast -pix_fmt yuv444p " + extra));
}

TEST(MovieOrientation, PortraitPhoneMoviesStandUprightForEveryTurn) {
    TempDir dir;
    MakeLossless(dir / "upright.mp4", "240x320", "null");
    ASSERT_EQ(Transcode(dir / "upright.mp4", dir / "upright.avi"), 0);
    ASSERT_EQ(Transcode(dir / "upright.mp4", dir / "upright-boxed.avi", {"-fit", "letterbox"}), 0);
    // The stored pictures, and the rotation tag under which a player shows them upright.
    const struct {
        const char* stored;
        const char* tag;
    } turns[] = {{"transpose=clock", "90"}, {"hflip,vflip", "180"}, {"transpose=cclock", "270"}};
    for (const auto& turn : turns) {
        SCOPED_TRACE(std::string("rotate ") + turn.tag);
        MakeLossless(dir / "stored.mp4", "240x320", turn.stored);
        const auto tagged =
            RunCommand("ffmpeg -nostdin -loglevel error -y -i " + Quote(dir / "stored.mp4") +
                       " -c copy -metadata:s:v:0 rotate=" + turn.tag + " " + Quote(dir / "turned.mp4"));
        ASSERT_EQ(tagged.exitCode, 0) << tagged.output;
        ASSERT_EQ(Transcode(dir / "turned.mp4", dir / "turned.avi"), 0);
        EXPECT_GT(Psnr(dir / "turned.avi", dir / "upright.avi"), 45.0);
        // Letterboxed, a turned picture is scaled before it is turned: the same picture all the same.
        ASSERT_EQ(Transcode(dir / "turned.mp4", dir / "turned-boxed.avi", {"-fit", "letterbox"}), 0);
        EXPECT_GT(Psnr(dir / "turned-boxed.avi", dir / "upright-boxed.avi"), 45.0);
        // Shown as stored, the same movie is far from upright: the measure sees the turn.
        ASSERT_EQ(Transcode(dir / "turned.mp4", dir / "as-stored.avi", {"-noautorotate"}), 0);
        EXPECT_LT(Psnr(dir / "as-stored.avi", dir / "upright.avi"), 25.0);
    }
}

// Pictures above 1440p are turned and fitted as soon as they are decoded: turned once, not twice,
// letterboxed or stretched as a small picture would be.
TEST(MovieOrientation, LargePortraitMoviesAreTurnedOnceInEveryFit) {
    TempDir dir;
    MakeLossless(dir / "upright.mp4", "1512x2688", "null");
    MakeLossless(dir / "stored.mp4", "1512x2688", "transpose=clock");
    const auto tagged = RunCommand("ffmpeg -nostdin -loglevel error -y -i " + Quote(dir / "stored.mp4") +
                                   " -c copy -metadata:s:v:0 rotate=90 " + Quote(dir / "turned.mp4"));
    ASSERT_EQ(tagged.exitCode, 0) << tagged.output;
    for (const char* fit : {"letterbox", "stretch"}) {
        SCOPED_TRACE(fit);
        ASSERT_EQ(Transcode(dir / "upright.mp4", dir / "upright.avi", {"-fit", fit}), 0);
        ASSERT_EQ(Transcode(dir / "turned.mp4", dir / "turned.avi", {"-fit", fit}), 0);
        EXPECT_GT(Psnr(dir / "turned.avi", dir / "upright.avi"), 45.0);
        EXPECT_EQ(ReadAviLayout(dir / "turned.avi", true).totalFrames, 10u);
        const auto picture = FirstPictureGrey(dir / "turned.avi");
        const bool boxed = std::string(fit) == "letterbox";
        EXPECT_EQ(MeanOfRows(picture, 0, 480, 0, 180) < 3.0, boxed);
        EXPECT_GT(MeanOfRows(picture, 0, 480, 190, 450), 40.0);
    }
}

// ffmpeg's command line writes only turns into a display matrix. A mirror is written here by hand:
// the matrix of the (only) track header of an MP4, its first entry (a) or its fifth (d) made -1.
void MirrorTrackMatrix(const std::filesystem::path& path, bool horizontal) {
    auto bytes = ReadFileBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    const auto at = text.find("tkhd");
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(text.find("tkhd", at + 4), std::string::npos) << "one track expected";
    // After the type, version and flags: times, track, duration, layer, group and volume, 36 bytes
    // (48 in version 1, whose times and duration are 64-bit).
    const std::size_t matrix = at + 8 + (bytes[at + 4] == 1 ? 48 : 36);
    ASSERT_LE(matrix + 36, bytes.size());
    const std::size_t entry = matrix + (horizontal ? 0 : 16);
    // The identity matrix has 1.0 (0x00010000, 16.16 fixed point) there.
    ASSERT_EQ(bytes[entry + 1], 1);
    const std::uint8_t minusOne[4] = {0xFF, 0xFF, 0x00, 0x00};
    std::copy(std::begin(minusOne), std::end(minusOne), bytes.begin() + static_cast<std::ptrdiff_t>(entry));
    WriteFileBytes(path, bytes);
}

TEST(MovieOrientation, MirroredDisplayMatrixIsMirroredBack) {
    TempDir dir;
    MakeLossless(dir / "upright.mp4", "320x240", "null");
    ASSERT_EQ(Transcode(dir / "upright.mp4", dir / "upright.avi"), 0);
    for (const bool horizontal : {true, false}) {
        SCOPED_TRACE(horizontal ? "mirrored left to right" : "mirrored top to bottom");
        MakeLossless(dir / "stored.mp4", "320x240", horizontal ? "hflip" : "vflip");
        MirrorTrackMatrix(dir / "stored.mp4", horizontal);
        ASSERT_EQ(Transcode(dir / "stored.mp4", dir / "mirrored.avi"), 0);
        EXPECT_GT(Psnr(dir / "mirrored.avi", dir / "upright.avi"), 45.0);
        // Shown as stored, the measure sees the mirror.
        ASSERT_EQ(Transcode(dir / "stored.mp4", dir / "as-stored.avi", {"-noautorotate"}), 0);
        EXPECT_LT(Psnr(dir / "as-stored.avi", dir / "upright.avi"), 25.0);
    }
}

TEST(MovieOrientation, LetterboxRespectsTheSampleAspectRatio) {
    TempDir dir;
    // Widescreen PAL (720 x 576 with 64:45 pixels) is 16:9: bars of 60 rows above and below.
    MakeLossless(dir / "anamorphic.mkv", "720x576", "setsar=64/45");
    ASSERT_EQ(Transcode(dir / "anamorphic.mkv", dir / "wide.avi", {"-fit", "letterbox"}), 0);
    const auto wide = FirstPictureGrey(dir / "wide.avi");
    EXPECT_LT(MeanOfRows(wide, 0, 58), 3.0);
    EXPECT_LT(MeanOfRows(wide, 422, 480), 3.0);
    EXPECT_GT(MeanOfRows(wide, 64, 416), 40.0);
    EXPECT_TRUE(CheckIntermediateLayout(dir / "wide.avi").empty());

    // The same pixels with 16:15 pixels are 4:3: the whole frame, no bars at all.
    MakeLossless(dir / "four-three.mkv", "720x576", "setsar=16/15");
    ASSERT_EQ(Transcode(dir / "four-three.mkv", dir / "full.avi", {"-fit", "letterbox"}), 0);
    ASSERT_EQ(Transcode(dir / "four-three.mkv", dir / "stretched.avi"), 0);
    EXPECT_GT(Psnr(dir / "full.avi", dir / "stretched.avi"), 45.0);

    // A 9:16 portrait phone movie: bars left and right, the picture in the middle 270 columns.
    MakeLossless(dir / "portrait.mp4", "360x640", "null");
    ASSERT_EQ(Transcode(dir / "portrait.mp4", dir / "portrait.avi", {"-fit", "letterbox"}), 0);
    const auto portrait = FirstPictureGrey(dir / "portrait.avi");
    EXPECT_LT(MeanOfRows(portrait, 0, 480, 0, 180), 3.0);
    EXPECT_LT(MeanOfRows(portrait, 0, 480, 460, 640), 3.0);
    EXPECT_GT(MeanOfRows(portrait, 0, 480, 190, 450), 40.0);
}

// A 60 fps movie at 29.97 fps: about every other picture is dropped, and those of them that no other
// picture refers to are not even decoded. The movie comes out the same as with every picture decoded.
TEST(MovieFrameRate, PicturesTheFrameRateDropsAreLeftUndecodedWithoutChangingTheMovie) {
    TempDir dir;
    for (const char* coding : {"-c:v libx264 -bf 3", "-c:v libx265 -x265-params log-level=none:bframes=3"}) {
        SCOPED_TRACE(coding);
        ASSERT_TRUE(MakeMedia(dir / "sixty.mp4",
                              std::string("-f lavfi -i testsrc2=size=320x240:rate=60:duration=1 ") + coding +
                                  " -preset ultrafast -pix_fmt yuv420p"));
        std::string log;
        const k72::DebugSink previous = k72::SetDebugSink([&](std::string_view text) { log += text; });
        std::vector<std::string> arguments =
            TranscoderArguments(dir / "sixty.mp4", dir / "skipped.avi", "ntsc");
        ReportRecorder recorder;
        const int skipped = RunTranscoder(arguments, recorder);
        k72::SetDebugSink(previous);
        ASSERT_EQ(skipped, 0);
        EXPECT_NE(log.find("pictures the frame rate drops left undecoded"), std::string::npos) << log;
        arguments = TranscoderArguments(dir / "sixty.mp4", dir / "every.avi", "ntsc");
        arguments.insert(arguments.begin() + 18, "-fulldecode");
        ASSERT_EQ(RunTranscoder(arguments, recorder), 0);
        EXPECT_EQ(Psnr(dir / "skipped.avi", dir / "every.avi"), 100.0) << "the same pictures, bit for bit";
    }
}

TEST(MovieOrientation, CropKeepsTheCentre) {
    TempDir dir;
    MakeLossless(dir / "wide.mp4", "1280x720", "null");
    // What a crop must show: the centre 960 x 720 of the source, stretched as usual.
    MakeLossless(dir / "centre.mp4", "1280x720", "crop=960:720:160:0");
    ASSERT_EQ(Transcode(dir / "wide.mp4", dir / "cropped.avi", {"-fit", "crop"}), 0);
    ASSERT_EQ(Transcode(dir / "centre.mp4", dir / "centre.avi"), 0);
    EXPECT_GT(Psnr(dir / "cropped.avi", dir / "centre.avi"), 45.0);
    ASSERT_EQ(Transcode(dir / "wide.mp4", dir / "stretched.avi"), 0);
    EXPECT_LT(Psnr(dir / "stretched.avi", dir / "centre.avi"), 25.0);
}

TEST(MovieOrientation, TenBitHdrBecomesAnOrdinaryPicture) {
    TempDir dir;
    // 10-bit HEVC tagged as PQ (HDR10), as phones record it: a grey-ish picture, never green.
    ASSERT_TRUE(
        MakeMedia(dir / "hdr.mp4",
                  "-f lavfi -i testsrc2=size=320x240:rate=25:duration=0.4 -c:v libx265 -preset ultrafast "
                  "-pix_fmt yuv420p10le -x265-params log-level=none:colorprim=bt2020:transfer=smpte2084:"
                  "colormatrix=bt2020nc -color_primaries bt2020 -color_trc smpte2084 -colorspace bt2020nc"));
    ASSERT_EQ(Transcode(dir / "hdr.mp4", dir / "hdr.avi"), 0);
    EXPECT_TRUE(CheckIntermediateLayout(dir / "hdr.avi").empty());
    // The colour planes of the test picture average out near neutral; a green frame has them near 0.
    const auto planes = FirstPictureGrey(dir / "hdr.avi", "yuvj422p");
    ASSERT_EQ(planes.size(), 640u * 480u * 2);
    double u = 0;
    for (std::size_t i = 640u * 480u; i < 640u * 480u * 3 / 2; ++i) {
        u += planes[i];
    }
    u /= 640.0 * 480.0 / 2;
    EXPECT_GT(u, 100.0);
    EXPECT_LT(u, 156.0);
    EXPECT_GT(MeanOfRows(planes, 0, 480), 30.0);
}

} // namespace
} // namespace k72test
