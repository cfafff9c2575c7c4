// Damaged, odd and misnamed files through the real import: each either becomes a proper card file
// (a 1 x 1 picture, a one-frame movie, a picture whose name lies about its format) or fails with the
// message its fault calls for, with the pad file and the card's files unchanged byte for byte.
#include "store/PadCommands.h"

#include "store/StoreMessages.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"
#include "tests/support/StillTestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

std::map<std::string, std::vector<std::uint8_t>> CardFiles(const fs::path& folder) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = ReadFileBytes(entry.path());
    }
    return files;
}

void PutBE32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 3; i >= 0; --i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void PngChunk(std::vector<std::uint8_t>& png, const char* type, const std::vector<std::uint8_t>& data) {
    PutBE32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutBE32(png, Crc32(png.data() + start, png.size() - start));
}

// A PNG of a few dozen bytes whose header declares width x height RGB pixels.
std::vector<std::uint8_t> PngDeclaring(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBE32(header, width);
    PutBE32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PngChunk(png, "IHDR", header);
    PngChunk(png, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    PngChunk(png, "IEND", {});
    return png;
}

// A JPEG whose frame header is changed to declare width x height.
std::vector<std::uint8_t> JpegDeclaring(const fs::path& made, std::uint16_t width, std::uint16_t height) {
    auto bytes = ReadFileBytes(made);
    for (std::size_t i = 2; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
            bytes[i + 5] = static_cast<std::uint8_t>(height >> 8);
            bytes[i + 6] = static_cast<std::uint8_t>(height);
            bytes[i + 7] = static_cast<std::uint8_t>(width >> 8);
            bytes[i + 8] = static_cast<std::uint8_t>(width);
            break;
        }
    }
    return bytes;
}

std::vector<std::uint8_t> Truncated(const fs::path& file, double share) {
    auto bytes = ReadFileBytes(file);
    bytes.resize(static_cast<std::size_t>(static_cast<double>(bytes.size()) * share));
    return bytes;
}

std::string FfprobeEntries(const fs::path& file, const std::string& entries) {
    return RunCommand("ffprobe -v error -count_frames -show_entries " + entries + " -of default=nw=1 " +
                      Quote(file))
        .output;
}

class MalformedImport : public OpenCardTest {
protected:
    static void SetUpTestSuite() {
        media_ = new TempDir();
        if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) {
            return;
        }
        const std::string video = "-f lavfi -i testsrc2=size=160x120:rate=25:duration=";
        const std::string sound = " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=";
        ok_ = MakeMedia(Media("clip.mp4"), video + "1" + sound + "1 -c:v mpeg4 -c:a aac -shortest") &&
              MakeMedia(Media("clip.avi"),
                        video + "2" + sound + "2 -c:v mjpeg -q:v 5 -c:a pcm_s16le -shortest") &&
              MakeMedia(Media("one-frame.mp4"), video + "1 -frames:v 1 -c:v mpeg4") &&
              MakeMedia(Media("sound.m4a"), sound.substr(1) + "1 -c:a aac") &&
              MakeMedia(Media("sound.wav"), sound.substr(1) + "1 -c:a pcm_s16le") &&
              MakeMedia(Media("cover.png"), "-f lavfi -i testsrc2=size=64x64 -frames:v 1") &&
              MakeMedia(Media("song.mp3"),
                        sound.substr(1) + "1 -i " + Quote(Media("cover.png")) +
                            " -map 0 -map 1 -c:a libmp3lame -c:v png -disposition:v attached_pic") &&
              MakeMedia(Media("picture.png"), "-f lavfi -i testsrc2=size=320x240 -frames:v 1") &&
              MakeMedia(Media("picture.webp"), "-f lavfi -i testsrc2=size=320x240 -frames:v 1 -quality 80") &&
              MakeMedia(Media("picture.tif"),
                        "-f lavfi -i testsrc2=size=320x240 -frames:v 1 -pix_fmt rgb48le") &&
              MakeMedia(Media("picture.gif"), "-f lavfi -i testsrc2=size=160x120:rate=5:duration=1") &&
              MakeMedia(Media("clip.mkv"),
                        video + "1" + sound + "1 -c:v libvpx-vp9 -deadline realtime -c:a libopus");
        if (ok_ && HaveProgram("heif-enc")) {
            ok_ = RunCommand("heif-enc -q 50 -o " + Quote(Media("picture.heic")) + " " +
                             Quote(Media("picture.png")))
                      .exitCode == 0;
        }
        WriteJpeg(Media("picture.jpg"), SmoothPicture(64, 48), JpegKind::Baseline);
        WriteJpeg(Media("progressive.jpg"), SmoothPicture(64, 48), JpegKind::Progressive);
        WriteBmp(Media("picture.bmp"), 64, 48, BmpLayout{},
                 [](int x, int y) { return std::uint32_t(x * 4 + y * 1024); });
    }
    static void TearDownTestSuite() {
        delete media_;
        media_ = nullptr;
    }
    static fs::path Media(const std::string& name) { return media_->Path() / name; }

    void SetUp() override {
        if (!ok_) {
            GTEST_SKIP() << "ffmpeg and ffprobe make and check the media";
        }
        auto bytes = RandomBytes(kPadFileBytes, 77);
        EmptyNumber(bytes, 0, 0);
        PutStillPad(bytes, RecordAt(0, 0, 5), {"K72_0001.JPG"});
        ASSERT_NO_FATAL_FAILURE(OpenCard(bytes, {"K72_0001.JPG", "K72_0012.AVI"}));
        ASSERT_EQ(store.LastFileNumber(), 12u);
    }

    fs::path Input(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path path = dir / "inputs" / name;
        fs::create_directories(path.parent_path());
        WriteFileBytes(path, bytes);
        return path;
    }

    // One import that must fail with `message` (a refused picture's message adds its cause on a line of
    // its own), leaving everything as it was.
    void ExpectRefused(const fs::path& source, PadKind kind, const std::string& message,
                       bool addToStillPad = false) {
        SCOPED_TRACE(source.filename().string());
        const auto padBefore = card->PadBytes();
        const auto filesBefore = CardFiles(card->folder);
        messages.shown.clear();
        if (addToStillPad) {
            EXPECT_EQ(PicturesAfter(messages(commands.Import({5, PadKindStill, {source}, true})), store, 5),
                      -1);
        } else {
            EXPECT_FALSE(messages(commands.Import({0, kind, {source}})));
        }
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].substr(0, message.size()), message);
        if (kind == PadKindStill) {
            EXPECT_GT(messages.shown[0].size(), message.size() + 1) << "the cause follows";
        } else {
            EXPECT_EQ(messages.shown[0], message);
        }
        EXPECT_EQ(card->PadBytes(), padBefore);
        EXPECT_TRUE(CardFiles(card->folder) == filesBefore) << "the card's files changed";
        EXPECT_EQ(store.LastFileNumber(), 12u);
        ASSERT_NE(store.Entry(0), nullptr);
        EXPECT_EQ(store.PadKindOf(0), PadKindEmpty);
        EXPECT_EQ(store.Entry(5)->stills->stillCount, 1u);
        EXPECT_TRUE(fs::is_empty(temporary));
    }

    // One import that must succeed onto pad `pad`; returns the card file it made.
    fs::path ExpectImported(const fs::path& source, int pad, PadKind kind) {
        SCOPED_TRACE(source.filename().string());
        messages.shown.clear();
        const std::uint32_t number = store.LastFileNumber() + 1;
        EXPECT_TRUE(messages(commands.Import({pad, kind, {source}})));
        EXPECT_TRUE(messages.shown.empty()) << ::testing::PrintToString(messages.shown);
        EXPECT_EQ(store.LastFileNumber(), number);
        EXPECT_TRUE(fs::is_empty(temporary));
        char name[16];
        std::snprintf(name, sizeof name, "K72_%04u.%s", number, kind == PadKindMovie ? "AVI" : "JPG");
        const auto bytes = card->PadBytes();
        EXPECT_EQ(GetName(bytes, RecordAt(0, 0, pad) + 8), name);
        return card->folder / name;
    }

    static inline TempDir* media_ = nullptr;
    static inline bool ok_ = false;
    PlainFileCopy copy;
    PadCommands commands{store, &copy};
};

TEST_F(MalformedImport, BrokenPicturesAreRefusedWithTheFormatMessage) {
    const char* loadFailed = messages::kLoadFailed;
    ExpectRefused(Input("empty.png", {}), PadKindStill, loadFailed);
    ExpectRefused(Input("empty.jpg", {}), PadKindStill, loadFailed, true);
    ExpectRefused(Input("random.jpg", RandomBytes(5000, 1)), PadKindStill, loadFailed);
    ExpectRefused(Input("random.bmp", RandomBytes(5000, 2)), PadKindStill, loadFailed, true);
    for (const char* name : {"picture.png", "picture.jpg", "progressive.jpg", "picture.bmp"}) {
        ExpectRefused(Input(std::string("half-") + name, Truncated(Media(name), 0.5)), PadKindStill,
                      loadFailed);
        ExpectRefused(Input(std::string("head-") + name, Truncated(Media(name), 0.05)), PadKindStill,
                      loadFailed);
    }
    // Huge declared sizes are refused from the header, long before any memory is taken for them.
    ExpectRefused(Input("huge.png", PngDeclaring(100000, 100000)), PadKindStill, loadFailed);
    ExpectRefused(Input("wide.png", PngDeclaring(0x7FFFFFFF, 1)), PadKindStill, loadFailed, true);
    ExpectRefused(Input("huge.jpg", JpegDeclaring(Media("picture.jpg"), 60000, 60000)), PadKindStill,
                  loadFailed);
    auto bmp = ReadFileBytes(Media("picture.bmp"));
    PutLE32(bmp, 18, 100000);
    PutLE32(bmp, 22, 100000);
    ExpectRefused(Input("huge.bmp", bmp), PadKindStill, loadFailed);
    // The newer picture formats, cut short or cut to their head. (An animated GIF cut after its first
    // frame is a whole picture, as a truncated movie keeps what it holds; only its head is refused.)
    ExpectRefused(Input("head-picture.gif", Truncated(Media("picture.gif"), 0.01)), PadKindStill, loadFailed);
    std::vector<std::string> newer = {"picture.webp", "picture.tif"};
    if (fs::exists(Media("picture.heic"))) {
        newer.push_back("picture.heic");
    }
    for (const std::string& name : newer) {
        ExpectRefused(Input("half-" + name, Truncated(Media(name), 0.5)), PadKindStill, loadFailed);
        ExpectRefused(Input("head-" + name, Truncated(Media(name), 0.05)), PadKindStill, loadFailed, true);
    }
    // A movie or a sound is no picture, whatever it is called.
    ExpectRefused(Input("movie.png", ReadFileBytes(Media("clip.mp4"))), PadKindStill, loadFailed);
    ExpectRefused(Input("sound.jpg", ReadFileBytes(Media("sound.wav"))), PadKindStill, loadFailed, true);
}

TEST_F(MalformedImport, BrokenMoviesAreRefusedWithTheFormatMessage) {
    const char* loadFailed = messages::kLoadFailed;
    ExpectRefused(Input("empty.avi", {}), PadKindMovie, loadFailed);
    ExpectRefused(Input("random.mp4", RandomBytes(20000, 3)), PadKindMovie, loadFailed);
    ExpectRefused(Input("random.mpg", RandomBytes(20000, 4)), PadKindMovie, loadFailed);
    // An MP4 whose index sits at its end, cut off: nothing in it can be found.
    ExpectRefused(Input("half.mp4", Truncated(Media("clip.mp4"), 0.5)), PadKindMovie, loadFailed);
    ExpectRefused(Input("head.avi", Truncated(Media("clip.avi"), 0.01)), PadKindMovie, loadFailed);
    ExpectRefused(Input("head.mkv", Truncated(Media("clip.mkv"), 0.02)), PadKindMovie, loadFailed);
    ExpectRefused(Input("random.mkv", RandomBytes(20000, 5)), PadKindMovie, loadFailed);
    // Sound alone is no movie: plain, in a movie container, or with a cover picture.
    ExpectRefused(Input("sound.avi", ReadFileBytes(Media("sound.wav"))), PadKindMovie, loadFailed);
    ExpectRefused(Input("sound.mp4", ReadFileBytes(Media("sound.m4a"))), PadKindMovie, loadFailed);
    ExpectRefused(Input("song.mp4", ReadFileBytes(Media("song.mp3"))), PadKindMovie, loadFailed);
}

TEST_F(MalformedImport, TheSmallestValidFilesAndMisnamedOnesConvert) {
    // Pictures of one pixel, of one row, and pictures whose names lie about their format.
    WriteRgbPng(dir / "dot.png", SmoothPicture(1, 1));
    WriteJpeg(dir / "dot.jpg", SmoothPicture(1, 1), JpegKind::Baseline);
    WriteBmp(dir / "dot.bmp", 1, 1, BmpLayout{}, [](int, int) { return 0xFF8000u; });
    WriteRgbPng(dir / "row.png", SmoothPicture(1000, 1));
    const fs::path misnamedPng = Input("really-a-png.jpg", ReadFileBytes(Media("picture.png")));
    const fs::path misnamedJpeg = Input("really-a-jpeg.bmp", ReadFileBytes(Media("picture.jpg")));
    int pad = 0;
    for (const fs::path& source :
         {dir / "dot.png", dir / "dot.jpg", dir / "dot.bmp", dir / "row.png", misnamedPng, misnamedJpeg}) {
        const fs::path made = ExpectImported(source, pad++, PadKindStill);
        EXPECT_NE(FfprobeEntries(made, "stream=codec_name,width,height")
                      .find("codec_name=mjpeg\nwidth=640\nheight=480"),
                  std::string::npos)
            << source;
    }

    // A movie of one frame, and an AVI called MPG.
    const fs::path one = ExpectImported(Media("one-frame.mp4"), pad++, PadKindMovie);
    EXPECT_EQ(GetLE32(card->PadBytes(), RecordAt(0, 0, pad - 1) + 32), 1u) << "one frame recorded";
    EXPECT_NE(FfprobeEntries(one, "stream=codec_name,width,height,nb_read_frames")
                  .find("codec_name=mjpeg\nwidth=640\nheight=480\nnb_read_frames=1"),
              std::string::npos);
    ExpectImported(Input("really-an-avi.mpg", ReadFileBytes(Media("clip.avi"))), pad++, PadKindMovie);

    // An AVI cut off in the middle keeps what it holds, as a player would show it.
    const fs::path cut =
        ExpectImported(Input("cut.avi", Truncated(Media("clip.avi"), 0.5)), pad++, PadKindMovie);
    const std::uint32_t frames = GetLE32(card->PadBytes(), RecordAt(0, 0, pad - 1) + 32);
    EXPECT_GE(frames, 15u);
    EXPECT_LE(frames, 45u);
    EXPECT_EQ(GetLE32(ReadFileBytes(cut), 48), frames);
}

TEST_F(MalformedImport, AFullTemporaryDiskStopsAMovieWithItsOwnMessage) {
    // The converter is told its folders have almost no room left.
    commands.SetMovieConverterHook([](CVideoConverter& converter) {
        converter.SetFreeSpaceProbe([](const fs::path&) { return std::uint64_t{4096}; });
    });
    ExpectRefused(Media("clip.mp4"), PadKindMovie, messages::TemporaryDiskFull(temporary.string()));
    commands.SetMovieConverterHook({});
    ExpectImported(Media("clip.mp4"), 0, PadKindMovie);
}

} // namespace
} // namespace k72
