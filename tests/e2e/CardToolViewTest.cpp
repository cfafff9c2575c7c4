// preview and overview of k72-card: what they print is checked against the conversion's own result and
// against the pad file's bytes.
#include "tests/e2e/CardToolSupport.h"
#include "tests/support/AviStructure.h"
#include "tests/support/StillTestPictures.h"

namespace {

using namespace k72test;

class CardToolViewTest : public CardToolTest {};

// The picture of chunk `index` of a converted movie, decoded as the preview decodes it.
RgbPicture MoviePicture(const std::filesystem::path& movie, std::size_t index,
                        const std::filesystem::path& scratch) {
    const AviLayout layout = ReadAviLayout(movie, false);
    std::size_t seen = 0;
    for (const AviChunk& chunk : layout.chunks) {
        if (!chunk.jpeg) {
            continue;
        }
        if (seen++ == index) {
            const std::vector<std::uint8_t> bytes = ReadFileBytes(movie);
            WriteFileBytes(scratch,
                           std::vector<std::uint8_t>(
                               bytes.begin() + static_cast<std::ptrdiff_t>(chunk.offset + 8),
                               bytes.begin() + static_cast<std::ptrdiff_t>(chunk.offset + 8 + chunk.size)));
            return DecodeJpegInProcess(scratch, 640, 480);
        }
    }
    ADD_FAILURE() << movie << " has no picture " << index;
    return {};
}

double Worst(const std::array<double, 3>& error) {
    return std::max({error[0], error[1], error[2]});
}

TEST_F(CardToolViewTest, PreviewShowsWhatTheConversionWrites) {
    // A 16:9 picture, letterboxed at quality 3: the PNG holds the very picture convert-picture writes.
    WriteRgbPng(dir / "wide.png", SmoothPicture(960, 540));
    const CardRun picture = Run("preview " + Quote(dir / "wide.png") + " " + Quote(dir / "wide-look.png") +
                                " --fit letterbox --quality 3 --json");
    ASSERT_EQ(picture.status, 0) << picture.err;
    EXPECT_EQ(Json(picture)["kind"].toString(), "picture");
    ASSERT_EQ(Run("convert-picture " + Quote(dir / "wide.png") + " " + Quote(dir / "wide.jpg") +
                  " --fit letterbox --quality 3")
                  .status,
              0);
    EXPECT_LT(Worst(MeanError(DecodeWithFfmpeg(dir / "wide-look.png", 640, 480),
                              DecodeJpegInProcess(dir / "wide.jpg", 640, 480))),
              0.5);

    // A movie's picture at a moment, against the same picture of the whole converted movie, for both
    // frame rates (the moment falls inside picture 37 at 25 fps and picture 44 at 29.97 fps). The key
    // pictures are 2 s apart, so most pictures decoded for the moment come before its lead-in (those
    // nothing refers to are left undecoded), with and without the deinterlacer.
    ASSERT_TRUE(MakeMedia(dir / "clip.mp4", "-f lavfi -i testsrc2=size=480x270:rate=25:duration=3 -g 50 "
                                            "-pix_fmt yuv420p -c:v libx264 -preset ultrafast "
                                            "-x264-params bframes=2:b-pyramid=none"));
    struct MomentCase {
        const char* fps;
        std::size_t picture;
        const char* deinterlace;
    };
    for (const MomentCase& c :
         {MomentCase{"pal", 37, "off"}, MomentCase{"ntsc", 44, "off"}, MomentCase{"pal", 37, "on"}}) {
        const std::string settings =
            std::string(" --fps ") + c.fps + " --quality 2 --deinterlace " + c.deinterlace + " --fit crop";
        const std::string name = std::string(c.fps) + "-" + c.deinterlace;
        const std::filesystem::path look = dir / ("look-" + name + ".png");
        const std::filesystem::path movie = dir / ("clip-" + name + ".avi");
        const CardRun run =
            Run("preview " + Quote(dir / "clip.mp4") + " " + Quote(look) + " --at 1.5 --json" + settings);
        ASSERT_EQ(run.status, 0) << run.err;
        const QJsonObject json = Json(run);
        EXPECT_EQ(json["kind"].toString(), "movie");
        EXPECT_NEAR(json["duration"].toDouble(), 3.0, 0.05);
        EXPECT_LE(json["at"].toDouble(), 1.5);
        ASSERT_EQ(Run("convert-movie " + Quote(dir / "clip.mp4") + " " + Quote(movie) + settings).status, 0);
        const RgbPicture expected = MoviePicture(movie, c.picture, dir / "picture.jpg");
        EXPECT_LT(Worst(MeanError(DecodeWithFfmpeg(look, 640, 480), expected)), 0.5) << c.fps;
        // A neighbour differs clearly (the test source moves; at 29.97 fps some pictures of the 25 fps
        // source stand twice), so the right picture was found.
        EXPECT_GT(
            std::max(Worst(MeanError(MoviePicture(movie, c.picture - 1, dir / "picture.jpg"), expected)),
                     Worst(MeanError(MoviePicture(movie, c.picture + 1, dir / "picture.jpg"), expected))),
            1.0)
            << c.fps;
    }

    // Nothing to show: not a picture nor a movie; an existing output is kept without --overwrite.
    WriteFileBytes(dir / "notes.txt", {'h', 'i'});
    const CardRun refused =
        Run("preview " + Quote(dir / "notes.txt") + " " + Quote(dir / "notes.png") + " --json");
    EXPECT_EQ(refused.status, 1);
    EXPECT_FALSE(Json(refused)["ok"].toBool());
    EXPECT_FALSE(std::filesystem::exists(dir / "notes.png"));
    const auto before = ReadFileBytes(dir / "wide-look.png");
    EXPECT_EQ(
        Run("preview " + Quote(dir / "wide.png") + " " + Quote(dir / "wide-look.png") + " --fit crop").status,
        1);
    EXPECT_EQ(ReadFileBytes(dir / "wide-look.png"), before);
}

TEST_F(CardToolViewTest, OverviewCountsWhatThePadFileHolds) {
    // A card whose pad file is random bytes except for the pads placed here: only records with used 1
    // and a movie or still kind count.
    std::vector<std::uint8_t> bytes = RandomBytes(kPadFileBytes, 72);
    for (int bank = 0; bank < 6; ++bank) {
        for (int number = 0; number < 12; ++number) {
            EmptyNumber(bytes, bank, number);
        }
    }
    PutStillPad(bytes, RecordAt(0, 0, 0), {"K72_0001.JPG", "K72_0002.JPG"}, "DRUMS.WAV");
    PutStillPad(bytes, RecordAt(0, 0, 11), {"K72_0003.JPG"});
    PutMoviePad(bytes, RecordAt(0, 0, 5), "K72_0004.AVI");
    PutLE32(bytes, RecordAt(0, 0, 5) + 32, 1798); // a minute at 29.97 fps (the file is missing)
    PutMoviePad(bytes, RecordAt(2, 6, 3), "K72_0005.AVI", "BASS.WAV");
    PutLE32(bytes, RecordAt(2, 6, 3) + 32, 899);
    PutStillPad(bytes, RecordAt(5, 11, 11), {"K72_0006.JPG"});
    PutLE32(bytes, RecordAt(5, 11, 11) + 1308, 250); // a count past the limit counts as 100
    PutLE32(bytes, RecordAt(3, 3, 3), 1);            // used, of a kind neither movie nor still
    PutLE32(bytes, RecordAt(3, 3, 3) + 4, 2);
    PutLE32(bytes, RecordAt(4, 1, 1), 7); // not used
    WriteFileBytes(card.padFile, bytes);

    const CardRun run = Run("overview " + Root() + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonObject json = Json(run);
    const QJsonArray numbers = json["numbers"].toArray();
    ASSERT_EQ(numbers.size(), 72);
    // Each number against the pad file's own bytes.
    for (const auto& value : numbers) {
        const QJsonObject number = value.toObject();
        const int bank = number["bank"].toString().at(0).toLatin1() - 'A';
        const int index = number["number"].toInt() - 1;
        int used = 0;
        for (int pad = 0; pad < 12; ++pad) {
            const std::size_t at = RecordAt(bank, index, pad);
            used += GetLE32(bytes, at) == 1 && GetLE32(bytes, at + 4) <= 1 ? 1 : 0;
        }
        EXPECT_EQ(number["used"].toInt(), used) << bank << "-" << index;
        EXPECT_EQ(number["pads"].toArray().size(), used);
    }
    const QJsonObject first = numbers[0].toObject();
    EXPECT_EQ(first["movies"].toInt(), 1);
    EXPECT_EQ(first["stills"].toInt(), 2);
    EXPECT_EQ(first["sounds"].toInt(), 1);
    EXPECT_EQ(first["pads"].toArray()[1].toObject()["pad"].toString(), "A-1-6");
    const QJsonObject totals = json["totals"].toObject();
    EXPECT_EQ(totals["usedPads"].toInt(), 5);
    EXPECT_EQ(totals["movies"].toInt(), 2);
    EXPECT_EQ(totals["pictures"].toInt(), 2 + 1 + 100);
    EXPECT_EQ(totals["sounds"].toInt(), 2);
    EXPECT_NEAR(totals["minutes"].toDouble(), 1.5, 0.01);
    EXPECT_GT(totals["freeBytes"].toDouble(), 0);
    // Reading changed nothing on the card.
    EXPECT_EQ(card.PadBytes(), bytes);

    const CardRun text = Run("overview " + Root());
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("  A     3"), std::string::npos) << text.out;
    EXPECT_EQ(Run("overview " + Quote(dir / "nowhere") + " --json").status, 1);
}

} // namespace
