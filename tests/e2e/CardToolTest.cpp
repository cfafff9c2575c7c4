// k72-card on cards made by the tests: usage errors, cards that cannot be opened, the pad listing, the
// picture commands and the commands on a pad's files.
#include "tests/e2e/CardToolSupport.h"

#include "store/SourceRecord.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace k72test {
namespace {

// Anything the command line does not accept ends with status 2 and a message, and the card stays
// exactly as it was.
TEST_F(CardToolTest, BadUsageIsRefusedAndChangesNothing) {
    const auto before = card.PadBytes();
    MakePictures(1);
    const std::string picture = Quote(dir / "p001.png");
    for (const std::string& arguments : std::vector<std::string>{
             "import " + Root() + " G-1-1 " + picture,
             "import " + Root() + " A-13-1 " + picture,
             "import " + Root() + " A-1-0 " + picture,
             "import " + Root() + " A11 " + picture,
             "add-still " + Root() + " A-1-1",
             "import " + Root() + " A-1-1 " + picture + " --quality 5",
             "import " + Root() + " A-1-1 " + picture + " --fps secam",
             "remove-still " + Root() + " A-1-1 0",
             "show " + Root() + " --number 1",
             "show " + Root() + " --bank G",
             "frobnicate " + Root(),
             std::string(),
         }) {
        const CardRun run = Run(arguments);
        EXPECT_EQ(run.status, 2) << arguments << "\n" << run.err;
        EXPECT_FALSE(run.err.empty()) << arguments;
    }
    EXPECT_NE(Run("import " + Root() + " G-1-1 " + picture).err.find("not a pad"), std::string::npos);
    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_EQ(CardFiles(), std::vector<std::string>{"K72_PAD.SYS"});

    const CardRun help = Run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* command :
         {"show", "import", "add-still", "remove-still", "move-still", "audio", "remove-sound", "delete",
          "export", "convert-picture", "convert-movie", "probe"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
    const CardRun importHelp = Run("import --help");
    EXPECT_EQ(importHelp.status, 0);
    EXPECT_NE(importHelp.out.find("--deinterlace"), std::string::npos);
}

// A card that cannot be opened fails with status 1 and says why; a wrong file type fails before the
// card is touched.
TEST_F(CardToolTest, CardsThatCannotBeUsedSayWhy) {
    const auto before = card.PadBytes();
    CardRun run = Run("show " + Quote(dir / "no-such-card"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No such file"), std::string::npos) << run.err;

    run = Run("show " + Quote(dir.Path()));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("not a K-72 card"), std::string::npos) << run.err;

    TestCard shortCard(dir / "other", std::vector<std::uint8_t>(kPadFileBytes - 1, 0));
    run = Run("show " + Quote(shortCard.root));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("not a K-72 card"), std::string::npos) << run.err;

    // The desktop program holds the pad file locked while the card is open.
    const int fd = ::open(card.padFile.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    MakePictures(1);
    run = Run("import " + Root() + " A-1-1 " + Quote(dir / "p001.png"));
    ::close(fd);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("in use by another program"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("not a K-72 card"), std::string::npos) << run.err;

    WriteFileBytes(dir / "notes.txt", {'h', 'i'});
    run = Run("import " + Root() + " A-1-1 " + Quote(dir / "notes.txt"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(
                  "Failed to load the file.\nPlease select a file in a format supported by this converter."),
              std::string::npos)
        << run.err;
    run = Run("import " + Root() + " A-1-1 " + Quote(dir / "missing.png"));
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());

    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_EQ(CardFiles(), std::vector<std::string>{"K72_PAD.SYS"});
    EXPECT_TRUE(TempIsEmpty());
}

TEST_F(CardToolTest, ShowListsAssignedPadsOrOneNumberWithItsEmptyPads) {
    CardRun run = Run("show " + Root() + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    QJsonObject listing = Json(run);
    EXPECT_EQ(listing["card"].toString().toStdString(), card.root.string());
    EXPECT_EQ(listing["lastFileNumber"].toInt(-1), 0);
    EXPECT_TRUE(listing["pads"].toArray().isEmpty());

    MakePictures(2);
    ASSERT_EQ(
        Run("add-still " + Root() + " b-3-12 " + Quote(dir / "p001.png") + " " + Quote(dir / "p002.png"))
            .status,
        0);
    ASSERT_EQ(Run("add-still " + Root() + " F-12-12 " + Quote(dir / "p002.png")).status, 0);

    listing = Json(Run("show " + Root() + " --json"));
    EXPECT_EQ(listing["lastFileNumber"].toInt(), 3);
    const QJsonArray all = listing["pads"].toArray();
    ASSERT_EQ(all.size(), 2);
    EXPECT_EQ(all[0].toObject()["pad"].toString(), "B-3-12");
    EXPECT_EQ(all[0].toObject()["kind"].toString(), "still");
    EXPECT_EQ(Strings(all[0].toObject()["files"]),
              (std::vector<std::string>{"K72_0001.JPG", "K72_0002.JPG"}));
    EXPECT_TRUE(all[0].toObject()["audio"].isNull());
    EXPECT_EQ(all[1].toObject()["pad"].toString(), "F-12-12");

    EXPECT_EQ(Json(Run("show " + Root() + " --json --bank f"))["pads"].toArray().size(), 1);
    const QJsonArray number = Json(Run("show " + Root() + " --json --bank B --number 3"))["pads"].toArray();
    ASSERT_EQ(number.size(), 12);
    for (int pad = 0; pad < 12; ++pad) {
        const QJsonObject entry = number[pad].toObject();
        EXPECT_EQ(entry["pad"].toString().toStdString(), "B-3-" + std::to_string(pad + 1));
        EXPECT_EQ(entry["kind"].toString(), pad == 11 ? "still" : "empty");
    }

    run = Run("show " + Root());
    EXPECT_EQ(run.status, 0);
    // Each picture is followed by the name of the file it was added from.
    EXPECT_NE(run.out.find("B-3-12  still  2 pictures: K72_0001.JPG (p001.png) K72_0002.JPG (p002.png)"),
              std::string::npos)
        << run.out;

    // A file the card's record of sources knows is followed by the name it had before.
    k72::SourceRecord record;
    k72::SourceEntry entry;
    entry.originalName = "Sunset Beach.png";
    entry.cardFile = k72::StampOfFile(card.folder / "K72_0001.JPG").value();
    record.Put("K72_0001.JPG", entry);
    ASSERT_TRUE(record.Save(card.root));
    run = Run("show " + Root() + " --bank B");
    EXPECT_NE(run.out.find("2 pictures: K72_0001.JPG (Sunset Beach.png) K72_0002.JPG\n"), std::string::npos)
        << run.out;
    const QJsonArray originals = Pads("--bank B")["B-3-12"].toObject()["originals"].toArray();
    ASSERT_EQ(originals.size(), 2);
    EXPECT_EQ(originals[0].toString(), "Sunset Beach.png");
    EXPECT_TRUE(originals[1].isNull());
}

// A batch of 100 pictures fills a pad in the order given; the 101st is refused with the limit message
// and changes nothing.
TEST_F(CardToolTest, HundredPicturesFillAPadAndTheNextIsRefused) {
    const auto pictures = MakePictures(101);
    const std::vector<std::string> hundred(pictures.begin(), pictures.end() - 1);
    CardRun run = Run("add-still " + Root() + " A-1-1 " + Join(hundred) + " --quality 0");
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonObject pad = Pads()["A-1-1"].toObject();
    const auto files = Strings(pad["files"]);
    ASSERT_EQ(files.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "K72_%04d.JPG", i + 1);
        EXPECT_EQ(files[static_cast<std::size_t>(i)], name);
    }

    const auto before = card.PadBytes();
    run = Run("add-still " + Root() + " A-1-1 " + pictures.back());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("No more than 100 still images can be assigned to one pad."), std::string::npos)
        << run.err;
    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_FALSE(std::filesystem::exists(card.folder / "K72_0101.JPG"));
    EXPECT_TRUE(TempIsEmpty());
}

// A batch stops at the first picture that cannot be converted, with its message, and records none.
TEST_F(CardToolTest, BatchStopsAtABrokenPictureAndRecordsNothing) {
    const auto pictures = MakePictures(2);
    WriteFileBytes(dir / "broken.png", std::vector<std::uint8_t>(64, 0x55));
    const auto before = card.PadBytes();
    const CardRun run = Run("add-still " + Root() + " A-2-1 " + pictures[0] + " " +
                            Quote(dir / "broken.png") + " " + pictures[1]);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Failed to load the file."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("JPEG_ERROR :800002"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("broken.png could not be added; added 0 of 3"), std::string::npos) << run.err;
    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_TRUE(Strings(Pads()["A-2-1"].toObject()["files"]).empty());
    EXPECT_EQ(CardFiles(), (std::vector<std::string>{"K72_PAD.SYS"}));
    EXPECT_TRUE(TempIsEmpty());
}

TEST_F(CardToolTest, PicturesAreMovedAndRemovedByPosition) {
    const auto pictures = MakePictures(3);
    ASSERT_EQ(Run("add-still " + Root() + " C-4-5 " + Join(pictures)).status, 0);
    ASSERT_EQ(Run("move-still " + Root() + " C-4-5 3 1").status, 0);
    EXPECT_EQ(Strings(Pads()["C-4-5"].toObject()["files"]),
              (std::vector<std::string>{"K72_0003.JPG", "K72_0001.JPG", "K72_0002.JPG"}));
    ASSERT_EQ(Run("move-still " + Root() + " C-4-5 1 2").status, 0);
    EXPECT_EQ(Strings(Pads()["C-4-5"].toObject()["files"]),
              (std::vector<std::string>{"K72_0001.JPG", "K72_0003.JPG", "K72_0002.JPG"}));

    const auto before = card.PadBytes();
    CardRun run = Run("move-still " + Root() + " C-4-5 1 4");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("no position 4"), std::string::npos) << run.err;
    EXPECT_EQ(Run("remove-still " + Root() + " C-4-6 1").status, 1);
    EXPECT_EQ(card.PadBytes(), before);

    // Without --delete-file the file stays on the card; with it the file goes.
    ASSERT_EQ(Run("remove-still " + Root() + " C-4-5 1").status, 0);
    EXPECT_TRUE(std::filesystem::exists(card.folder / "K72_0001.JPG"));
    ASSERT_EQ(Run("remove-still " + Root() + " C-4-5 1 --delete-file").status, 0);
    EXPECT_FALSE(std::filesystem::exists(card.folder / "K72_0003.JPG"));
    EXPECT_EQ(Strings(Pads()["C-4-5"].toObject()["files"]), std::vector<std::string>{"K72_0002.JPG"});
    // Taking the last picture off leaves an empty pad.
    ASSERT_EQ(Run("remove-still " + Root() + " C-4-5 1").status, 0);
    EXPECT_EQ(Pads("--bank C --number 4")["C-4-5"].toObject()["kind"].toString(), "empty");
}

TEST_F(CardToolTest, SoundsAreCheckedAndAttached) {
    const auto pictures = MakePictures(1);
    MakeWav(dir / "drums.wav");
    MakeWav(dir / "loud.wav", 2, 44100, 16, 441, 7);
    MakeWav(dir / "high.wav", 2, 48000);

    CardRun run = Run("audio " + Root() + " A-1-1 " + Quote(dir / "drums.wav"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("empty"), std::string::npos) << run.err;

    ASSERT_EQ(Run("import " + Root() + " A-1-1 " + pictures[0]).status, 0);
    const auto before = card.PadBytes();
    run = Run("audio " + Root() + " A-1-1 " + Quote(dir / "high.wav"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Failed to load the file."), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Invalid PCM File :80000305"), std::string::npos) << run.err;
    EXPECT_EQ(card.PadBytes(), before);

    run = Run("audio " + Root() + " A-1-1 " + Quote(dir / "drums.wav"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Pads()["A-1-1"].toObject()["audio"].toString(), "DRUMS.WAV");
    EXPECT_EQ(ReadFileBytes(card.folder / "DRUMS.WAV"), ReadFileBytes(dir / "drums.wav"));

    // Another sound of the same name is not put over the one on the card unless asked to.
    std::filesystem::create_directories(dir / "other");
    std::filesystem::copy_file(dir / "loud.wav", dir / "other" / "drums.wav");
    const auto attached = card.PadBytes();
    run = Run("audio " + Root() + " A-1-1 " + Quote(dir / "other" / "drums.wav"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("DRUMS.WAV exists already"), std::string::npos) << run.err;
    EXPECT_EQ(card.PadBytes(), attached);
    EXPECT_EQ(ReadFileBytes(card.folder / "DRUMS.WAV"), ReadFileBytes(dir / "drums.wav"));
    ASSERT_EQ(Run("audio " + Root() + " A-1-1 " + Quote(dir / "other" / "drums.wav") + " --overwrite").status,
              0);
    EXPECT_EQ(ReadFileBytes(card.folder / "DRUMS.WAV"), ReadFileBytes(dir / "loud.wav"));

    // The sound it replaces stays on the card, said so; the check finds it and its repair moves it.
    MakeWav(dir / "kick.wav", 2, 44100, 16, 441, 9);
    run = Run("audio " + Root() + " A-1-1 " + Quote(dir / "kick.wav"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("DRUMS.WAV, the sound the pad had before, is named by no pad now"),
              std::string::npos)
        << run.err;
    run = Run("check " + Root());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("the sound DRUMS.WAV is named by no pad"), std::string::npos) << run.out;
    run = Run("check " + Root() + " --repair");
    EXPECT_NE(run.out.find("repaired: the sound DRUMS.WAV is named by no pad"), std::string::npos) << run.out;
    EXPECT_TRUE(std::filesystem::exists(card.folder / "UNUSED" / "DRUMS.WAV"));
    EXPECT_TRUE(std::filesystem::exists(card.folder / "KICK.WAV"));

    // A sound is taken off, with its file when asked; a pad without one is refused.
    run = Run("remove-sound " + Root() + " A-1-1 --delete-file");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Pads()["A-1-1"].toObject()["audio"].isNull());
    EXPECT_FALSE(std::filesystem::exists(card.folder / "KICK.WAV"));
    const auto taken = card.PadBytes();
    run = Run("remove-sound " + Root() + " A-1-1");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("A-1-1 has no sound"), std::string::npos) << run.err;
    EXPECT_EQ(card.PadBytes(), taken);
}

TEST_F(CardToolTest, ExportRefusesExistingFilesUnlessToldAndDeleteEmptiesThePad) {
    const auto pictures = MakePictures(2);
    ASSERT_EQ(Run("add-still " + Root() + " D-1-1 " + Join(pictures)).status, 0);
    MakeWav(dir / "tone.wav");
    ASSERT_EQ(Run("audio " + Root() + " D-1-1 " + Quote(dir / "tone.wav")).status, 0);

    const auto out = dir / "out";
    std::filesystem::create_directories(out);
    WriteFileBytes(out / "K72_0002.JPG", {'o', 'l', 'd'});
    CardRun run = Run("export " + Root() + " D-1-1 " + Quote(out));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("K72_0002.JPG exists already"), std::string::npos) << run.err;
    // Nothing was copied, and the file in the way is untouched.
    EXPECT_FALSE(std::filesystem::exists(out / "K72_0001.JPG"));
    EXPECT_EQ(ReadFileText(out / "K72_0002.JPG"), "old");

    run = Run("export " + Root() + " D-1-1 " + Quote(out) + " --overwrite");
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* name : {"K72_0001.JPG", "K72_0002.JPG", "TONE.WAV"}) {
        EXPECT_EQ(ReadFileBytes(out / name), ReadFileBytes(card.folder / name)) << name;
    }
    EXPECT_EQ(Run("export " + Root() + " D-1-2 " + Quote(out)).status, 1);
    EXPECT_EQ(Run("export " + Root() + " D-1-1 " + Quote(dir / "no-folder")).status, 1);

    // Deleting an empty pad touches nothing; deleting with its files removes them.
    const auto before = card.PadBytes();
    EXPECT_EQ(Run("delete " + Root() + " D-1-2 --delete-files").status, 0);
    EXPECT_EQ(card.PadBytes(), before);
    run = Run("delete " + Root() + " D-1-1 --delete-files");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(CardFiles(), std::vector<std::string>{"K72_PAD.SYS"});
    const QJsonObject listing = Json(Run("show " + Root() + " --json"));
    EXPECT_TRUE(listing["pads"].toArray().isEmpty());
    EXPECT_EQ(listing["lastFileNumber"].toInt(-1), 0);
}

} // namespace
} // namespace k72test
