// k72-card with what people actually carry: sounds in every form, pictures and movies of other shapes
// and in newer formats, and damaged files of the new kinds, which change nothing on the card.
#include "tests/e2e/CardToolSupport.h"

namespace k72test {
namespace {

TEST_F(CardToolTest, SoundsAreConvertedOnlyWhenAsked) {
    const auto pictures = MakePictures(1);
    ASSERT_EQ(Run("import " + Root() + " A-1-1 " + pictures[0]).status, 0);
    ASSERT_TRUE(
        MakeMedia(dir / "Bird Song.mp3", "-f lavfi -i sine=frequency=440:duration=1 -c:a libmp3lame"));

    // Refused as it is: the reason, exit status 1, the card unchanged.
    const auto before = card.PadBytes();
    const auto filesBefore = CardFiles();
    CardRun run = Run("audio " + Root() + " A-1-1 " + Quote(dir / "Bird Song.mp3"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Failed to load the file."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--convert"), std::string::npos) << run.err;
    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_EQ(CardFiles(), filesBefore);

    // Converted when asked, under an 8.3 name made from the source's name.
    run = Run("audio " + Root() + " A-1-1 " + Quote(dir / "Bird Song.mp3") + " --convert");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Pads()["A-1-1"].toObject()["audio"].toString(), "BIRDSO~1.WAV");
    const CardRun probe = Run("probe " + Quote(card.folder / "BIRDSO~1.WAV"));
    EXPECT_EQ(probe.status, 0) << probe.out << probe.err;
    EXPECT_TRUE(TempIsEmpty());

    // A WAV the device plays as it is is still copied byte for byte, --convert or not.
    MakeWav(dir / "drums.wav");
    ASSERT_EQ(Run("audio " + Root() + " A-1-1 " + Quote(dir / "drums.wav") + " --convert").status, 0);
    EXPECT_EQ(ReadFileBytes(card.folder / "DRUMS.WAV"), ReadFileBytes(dir / "drums.wav"));

    // Something that holds no sound at all is refused even with --convert, and nothing changes.
    const auto attached = card.PadBytes();
    WriteFileBytes(dir / "letter.mp3", {'h', 'e', 'l', 'l', 'o'});
    run = Run("audio " + Root() + " A-1-1 " + Quote(dir / "letter.mp3") + " --convert");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot be decoded"), std::string::npos) << run.err;
    EXPECT_EQ(card.PadBytes(), attached);
}

TEST_F(CardToolTest, ConvertSoundWritesTheDeviceWav) {
    ASSERT_TRUE(MakeMedia(dir / "voice.flac", "-f lavfi -i sine=sample_rate=48000:duration=0.5 -c:a flac"));
    CardRun run = Run("convert-sound " + Quote(dir / "voice.flac") + " " + Quote(dir / "VOICE.WAV"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Run("probe " + Quote(dir / "VOICE.WAV")).status, 0);
    // An existing destination stays without --overwrite; a failed conversion writes nothing.
    run = Run("convert-sound " + Quote(dir / "voice.flac") + " " + Quote(dir / "VOICE.WAV"));
    EXPECT_EQ(run.status, 1);
    WriteFileBytes(dir / "noise.ogg", std::vector<std::uint8_t>(300, 7));
    run = Run("convert-sound " + Quote(dir / "noise.ogg") + " " + Quote(dir / "NOISE.WAV"));
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "NOISE.WAV"));
    EXPECT_TRUE(TempIsEmpty());
}

TEST_F(CardToolTest, NewFormatsImportAndDamagedOnesChangeNothing) {
    ASSERT_TRUE(MakeMedia(dir / "clip.mkv",
                          "-f lavfi -i testsrc2=size=320x180:rate=25:duration=0.5 -f lavfi -i "
                          "sine=duration=0.5 -c:v libvpx-vp9 -deadline realtime -c:a libopus"));
    ASSERT_TRUE(MakeMedia(dir / "photo.webp", "-f lavfi -i testsrc2=size=300x200 -frames:v 1 -quality 80"));
    CardRun run = Run("import " + Root() + " A-1-1 " + Quote(dir / "clip.mkv") + " --fit letterbox");
    ASSERT_EQ(run.status, 0) << run.err;
    run = Run("import " + Root() + " A-1-2 " + Quote(dir / "photo.webp") + " --fit crop");
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonObject pads = Pads();
    EXPECT_EQ(pads["A-1-1"].toObject()["kind"].toString(), "movie");
    EXPECT_EQ(pads["A-1-2"].toObject()["kind"].toString(), "still");

    std::vector<std::string> damaged = {"clip.mkv", "photo.webp"};
    if (HaveProgram("heif-enc")) {
        MakeMedia(dir / "photo.png", "-f lavfi -i testsrc2=size=300x200 -frames:v 1");
        ASSERT_EQ(
            RunCommand("heif-enc -q 50 -o " + Quote(dir / "photo.heic") + " " + Quote(dir / "photo.png"))
                .exitCode,
            0);
        damaged.push_back("photo.heic");
    }
    const auto before = card.PadBytes();
    const auto files = CardFiles();
    for (const std::string& name : damaged) {
        SCOPED_TRACE(name);
        auto bytes = ReadFileBytes(dir / name);
        // The head of the file survives, the rest is noise: still recognised by its name and content,
        // but nothing in it can be decoded.
        for (std::size_t i = 64; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
        }
        bytes.resize(std::min<std::size_t>(bytes.size(), 4096));
        WriteFileBytes(dir / ("broken-" + name), bytes);
        run = Run("import " + Root() + " B-1-1 " + Quote(dir / ("broken-" + name)));
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("Failed to load the file."), std::string::npos) << run.err;
        EXPECT_EQ(card.PadBytes(), before);
        EXPECT_EQ(CardFiles(), files);
    }
    EXPECT_TRUE(TempIsEmpty());
}

} // namespace
} // namespace k72test
