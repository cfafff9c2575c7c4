// k72-card for scripts: the card check and its repair, one JSON object for every failure, the
// commands that only look working on a card another program holds or one mounted read-only, the
// version and the help.
#include "tests/e2e/CardToolSupport.h"

#include "store/PadFileBackup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace k72test {
namespace {

namespace fs = std::filesystem;

// A.1.1 a movie with its sound but named in lower case, A.1.2 a movie whose file is gone, A.1.3 three
// pictures of which one is gone and a sound that is gone; K72_0009.JPG is named by no pad.
class CardCheckTool : public CardToolTest {
protected:
    CardCheckTool() {
        auto bytes = card.PadBytes();
        PutLE32(bytes, RecordAt(0, 0, 0), 1);
        PutName(bytes, RecordAt(0, 0, 0) + 8, "k72_0001.avi"); // the device needs the upper-case name
        PutName(bytes, RecordAt(0, 0, 0) + 36, "SOUND.WAV");
        PutLE32(bytes, RecordAt(0, 0, 1), 1);
        PutName(bytes, RecordAt(0, 0, 1) + 8, "K72_0002.AVI");
        PutStillPad(bytes, RecordAt(0, 0, 2), {"K72_0003.JPG", "K72_0004.JPG", "K72_0005.JPG"}, "GONE.WAV");
        WriteFileBytes(card.padFile, bytes);
        for (const char* name :
             {"K72_0001.AVI", "SOUND.WAV", "K72_0003.JPG", "K72_0005.JPG", "K72_0009.JPG"}) {
            card.AddFile(name, name);
        }
    }

    fs::path Backups() const {
        return data / "KAVELO" / "K-72 Image Converter" / "pad-backups" /
               k72::PadFileBackup::CardFolderName(card.root);
    }

    static std::vector<std::string> Kinds(const QJsonArray& problems) {
        std::vector<std::string> kinds;
        for (const auto& problem : problems) {
            const QJsonObject object = problem.toObject();
            kinds.push_back(object["kind"].toString().toStdString() + " " +
                            object["pad"].toString().toStdString() + " " +
                            object["name"].toString().toStdString());
        }
        std::sort(kinds.begin(), kinds.end());
        return kinds;
    }
};

TEST_F(CardToolTest, CheckFindsASoundCardSound) {
    CardRun run = Run("check " + Root());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(": sound"), std::string::npos) << run.out;
    run = Run("check " + Root() + " --json --repair");
    EXPECT_EQ(run.status, 0);
    const QJsonObject json = Json(run);
    EXPECT_TRUE(json["ok"].toBool());
    EXPECT_TRUE(json["problems"].toArray().isEmpty());
    EXPECT_FALSE(fs::exists(data / "KAVELO")) << "a sound card is not changed, so no copy is kept";
}

TEST_F(CardCheckTool, CheckListsTheFaultsAndChangesNothing) {
    const auto before = card.PadBytes();
    const auto files = CardFiles();
    CardRun run = Run("check " + Root());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("5 problems"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("A-1-2: K72_0002.AVI is not on the card"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("K72_0009.JPG is named by no pad"), std::string::npos) << run.out;

    run = Run("check " + Root() + " --json");
    EXPECT_EQ(run.status, 1);
    const QJsonObject json = Json(run);
    EXPECT_FALSE(json["ok"].toBool(true));
    EXPECT_FALSE(json["error"].toString().isEmpty());
    EXPECT_EQ(Kinds(json["problems"].toArray()),
              (std::vector<std::string>{"missing-file A-1-2 K72_0002.AVI", "missing-file A-1-3 K72_0004.JPG",
                                        "missing-sound A-1-3 GONE.WAV", "unusable-name A-1-1 k72_0001.avi",
                                        "unused-file  K72_0009.JPG"}));
    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_EQ(CardFiles(), files);
    EXPECT_FALSE(fs::exists(data / "KAVELO"));
}

TEST_F(CardCheckTool, RepairChangesOnlyWhatIsListedAndKeepsACopyFirst) {
    const auto before = card.PadBytes();
    // While the desktop program holds the card, the repair is refused and nothing changes.
    const int fd = ::open(card.padFile.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    CardRun run = Run("check " + Root() + " --repair --json");
    ::close(fd);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("in use by another program"), std::string::npos) << run.err;
    EXPECT_FALSE(Json(run)["ok"].toBool(true));
    EXPECT_EQ(card.PadBytes(), before);

    run = Run("check " + Root() + " --repair --json");
    const QJsonObject json = Json(run);
    EXPECT_EQ(run.status, 1) << "the name the repair cannot mend is still there";
    EXPECT_EQ(Kinds(json["repaired"].toArray()),
              (std::vector<std::string>{"missing-file A-1-2 K72_0002.AVI", "missing-file A-1-3 K72_0004.JPG",
                                        "missing-sound A-1-3 GONE.WAV", "unused-file  K72_0009.JPG"}));
    EXPECT_EQ(Kinds(json["problems"].toArray()),
              (std::vector<std::string>{"unusable-name A-1-1 k72_0001.avi"}));

    const auto after = card.PadBytes();
    EXPECT_EQ(GetLE32(after, RecordAt(0, 0, 1)), 0u);
    EXPECT_EQ(GetLE32(after, RecordAt(0, 0, 2) + 1308), 2u);
    EXPECT_EQ(GetName(after, RecordAt(0, 0, 2) + 21), "K72_0005.JPG");
    EXPECT_EQ(GetName(after, RecordAt(0, 0, 2) + 1312), "");
    EXPECT_EQ(
        std::vector<std::uint8_t>(after.begin(), after.begin() + static_cast<long>(RecordAt(0, 0, 1))),
        std::vector<std::uint8_t>(before.begin(), before.begin() + static_cast<long>(RecordAt(0, 0, 1))));
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + static_cast<long>(RecordAt(0, 0, 3)), after.end()),
              std::vector<std::uint8_t>(before.begin() + static_cast<long>(RecordAt(0, 0, 3)), before.end()));
    EXPECT_EQ(CardFiles(), (std::vector<std::string>{"K72_0001.AVI", "K72_0003.JPG", "K72_0005.JPG",
                                                     "K72_PAD.SYS", "SOUND.WAV", "UNUSED"}));
    EXPECT_EQ(ReadFileText(card.folder / "UNUSED" / "K72_0009.JPG"), "K72_0009.JPG");
    const auto copies = k72::PadFileBackup::Copies(Backups());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadFileBytes(copies[0]), before);
}

TEST_F(CardCheckTool, LookingWorksOnACardAnotherProgramHolds) {
    const auto before = card.PadBytes();
    const int fd = ::open(card.padFile.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const CardRun show = Run("show " + Root() + " --json");
    const CardRun exported = Run("export " + Root() + " A-1-1 " + Quote(out));
    const CardRun probe = Run("probe " + Quote(card.folder / "SOUND.WAV") + " --json");
    const CardRun check = Run("check " + Root());
    const CardRun change = Run("delete " + Root() + " A-1-1");
    ::close(fd);
    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_EQ(Json(show)["pads"].toArray().size(), 3);
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(ReadFileText(out / "k72_0001.avi"), "K72_0001.AVI"); // under the name the pad gives it
    EXPECT_EQ(ReadFileText(out / "SOUND.WAV"), "SOUND.WAV");
    EXPECT_EQ(probe.status, 1) << "the stand-in sound is no WAV";
    EXPECT_EQ(Json(probe)["code"].toString(), "0x80000301");
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(change.status, 1);
    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_TRUE(TempIsEmpty()) << "the copy of the pad file is gone with the command";
}

TEST_F(CardCheckTool, LookingWorksOnACardMountedReadOnly) {
    MakeWav(card.folder / "SOUND.WAV");
    if (RunCommand("unshare -rm true").exitCode != 0) {
        GTEST_SKIP() << "no private mount namespace here";
    }
    const fs::path out = dir / "out";
    fs::create_directories(out);
    // The card's root mounted read-only in a namespace of its own; the tool runs inside it.
    const auto inside = [&](const std::string& arguments) {
        return Run("--version >/dev/null; unshare -rm sh -c " +
                   Quote("mount --bind " + card.root.string() + " " + card.root.string() +
                         " && mount -o remount,ro,bind " + card.root.string() + " && exec " +
                         CardTool().string() + " " + arguments));
    };
    CardRun run = inside("delete " + card.root.string() + " A-1-1");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Read-only file system"), std::string::npos) << run.err;
    run = inside("show " + card.root.string() + " --json");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Json(run)["pads"].toArray().size(), 3);
    run = inside("export " + card.root.string() + " A-1-1 " + out.string());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(out / "SOUND.WAV"));
    run = inside("probe " + (card.folder / "SOUND.WAV").string() + " --json");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Json(run)["ok"].toBool());
}

// Every failure, whatever the command, gives one JSON object with --json; the exit status and the
// message on standard error are those of the run without it.
TEST_F(CardCheckTool, EveryFailureIsOneJsonObject) {
    MakePictures(1);
    WriteFileBytes(dir / "notes.txt", {'h', 'i'});
    const std::string picture = Quote(dir / "p001.png");
    const std::string missing = Root() + "/nothing";
    struct Case {
        std::string arguments;
        std::string code; // expected "code", or empty for none
    };
    const std::vector<Case> cases = {
        {"show " + Quote(dir / "no-card"), ""},
        {"show " + Quote(dir.Path()), ""},
        {"import " + Root() + " A-1-1 " + Quote(dir / "notes.txt"), ""},
        {"import " + Root() + " A-1-1 " + Quote(dir / "missing.png"), ""},
        {"import " + Root() + " Z-1-1 " + picture, ""},
        {"add-still " + Root() + " A-1-1 " + picture, ""},
        {"remove-still " + Root() + " A-1-3 9", ""},
        {"move-still " + Root() + " A-1-4 1 2", ""},
        {"audio " + Root() + " A-1-4 " + Quote(dir / "notes.txt"), ""},
        {"delete " + missing + " A-1-1", ""},
        {"export " + Root() + " A-1-4 " + Quote(dir.Path()), ""},
        {"convert-picture " + Quote(dir / "notes.txt") + " " + Quote(dir / "out.jpg"), ""},
        {"convert-movie " + Quote(dir / "missing.mov") + " " + Quote(dir / "out.avi"), ""},
        {"probe " + Quote(dir / "missing.wav"), "0x80000300"},
        {"probe " + Quote(dir / "missing.avi"), "0x80000180"},
        {"probe " + Quote(card.folder / "SOUND.WAV"), "0x80000301"},
        {"check " + Root(), ""},
        {"check " + missing, ""},
        {"frobnicate", ""},
    };
    const auto before = card.PadBytes();
    for (const Case& c : cases) {
        const CardRun plain = Run(c.arguments);
        const CardRun run = Run(c.arguments + " --json");
        EXPECT_NE(run.status, 0) << c.arguments;
        EXPECT_EQ(run.status, plain.status) << c.arguments;
        EXPECT_FALSE(run.err.empty()) << c.arguments;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << c.arguments << "\n" << run.out;
        ASSERT_TRUE(document.isObject()) << c.arguments;
        const QJsonObject object = document.object();
        EXPECT_FALSE(object["ok"].toBool(true)) << c.arguments;
        EXPECT_FALSE(object["error"].toString().isEmpty()) << c.arguments;
        if (!c.code.empty()) {
            EXPECT_EQ(object["code"].toString().toStdString(), c.code) << c.arguments;
        }
    }
    EXPECT_EQ(card.PadBytes(), before);
}

// Every command that succeeds prints exactly one JSON object with --json, and nothing else: a script
// reads standard output as it stands.
TEST_F(CardToolTest, EverySuccessIsOneJsonObject) {
    if (!HaveProgram("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg makes the movie and the sound";
    }
    MakePictures(2);
    ASSERT_TRUE(
        MakeMedia(dir / "clip.mp4", "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.2 -c:v mpeg4"));
    ASSERT_TRUE(
        MakeMedia(dir / "tone.flac", "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.2"));
    MakeWav(dir / "SOUND.WAV");
    fs::create_directories(dir / "out");
    const std::string picture = Quote(dir / "p001.png");
    const std::vector<std::string> commands = {
        "show " + Root(),
        "import " + Root() + " A-1-1 " + picture,
        "add-still " + Root() + " A-1-1 " + Quote(dir / "p002.png"),
        "move-still " + Root() + " A-1-1 1 2",
        "audio " + Root() + " A-1-1 " + Quote(dir / "SOUND.WAV"),
        "export " + Root() + " A-1-1 " + Quote(dir / "out"),
        "remove-still " + Root() + " A-1-1 1 --delete-file",
        "delete " + Root() + " A-1-1 --delete-files",
        "convert-picture " + picture + " " + Quote(dir / "PICTURE.JPG"),
        "convert-movie " + Quote(dir / "clip.mp4") + " " + Quote(dir / "MOVIE.AVI"),
        "convert-sound " + Quote(dir / "tone.flac") + " " + Quote(dir / "TONE.WAV"),
        "probe " + Quote(dir / "MOVIE.AVI"),
        "probe " + Quote(dir / "TONE.WAV"),
        "check " + Root(),
    };
    for (const std::string& command : commands) {
        const CardRun run = Run(command + " --json");
        EXPECT_EQ(run.status, 0) << command << "\n" << run.err;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << command << "\n" << run.out;
        EXPECT_TRUE(document.isObject()) << command;
        EXPECT_TRUE(document.object()["ok"].toBool()) << command << "\n" << run.out;
    }
}

TEST_F(CardToolTest, SuccessWithJsonIsOneObjectToo) {
    MakePictures(1);
    const CardRun run = Run("add-still " + Root() + " C-2-3 " + Quote(dir / "p001.png") + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonObject json = Json(run);
    EXPECT_TRUE(json["ok"].toBool());
    const QJsonArray pads = json["pads"].toArray();
    ASSERT_EQ(pads.size(), 1);
    EXPECT_EQ(pads[0].toObject()["pad"].toString(), "C-2-3");
    EXPECT_EQ(Strings(pads[0].toObject()["files"]), std::vector<std::string>{"K72_0001.JPG"});
}

// Nothing of the card leaves it through a link: an UNUSED that leads elsewhere receives no file, and a
// pad file that is a link is not read.
TEST_F(CardCheckTool, RepairMovesNothingThroughALinkAndCheckReadsNoLinkedPadFile) {
    const fs::path outside = dir / "outside";
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, card.folder / "UNUSED");
    CardRun run = Run("check " + Root() + " --repair");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("K72_0009.JPG was not moved: UNUSED in the card folder is a symbolic link"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_EQ(ReadFileText(card.folder / "K72_0009.JPG"), "K72_0009.JPG");

    const auto bytes = card.PadBytes();
    fs::rename(card.padFile, dir / "elsewhere.SYS");
    fs::create_symlink(dir / "elsewhere.SYS", card.padFile);
    for (const char* command : {"check ", "show "}) {
        run = Run(command + Root());
        EXPECT_EQ(run.status, 1) << command << run.out;
        EXPECT_NE((run.out + run.err).find("is a symbolic link, not a file"), std::string::npos)
            << command << run.out << run.err;
    }
    EXPECT_EQ(ReadFileBytes(dir / "elsewhere.SYS"), bytes);
}

// Names from the card reach the terminal escaped, as show prints them.
TEST_F(CardToolTest, CheckPrintsNamesWithControlBytesEscaped) {
    auto bytes = card.PadBytes();
    PutLE32(bytes, RecordAt(0, 0, 0), 1);
    PutName(bytes, RecordAt(0, 0, 0) + 8, "K72_\x1b[2J.AVI");
    PutLE32(bytes, RecordAt(0, 0, 1), 1);
    PutName(bytes, RecordAt(0, 0, 1) + 8, "K72_0002.AVI");
    bytes[RecordAt(0, 0, 1) + 12] = 0x9b;
    WriteFileBytes(card.padFile, bytes);
    const std::string unused = std::string("K72_") + '\x1b' + "[2J.JPG";
    card.AddFile(unused);
    const CardRun run = Run("check " + Root());
    EXPECT_EQ(run.status, 1);
    for (const std::string& text : {run.out, run.err}) {
        EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
        EXPECT_EQ(text.find('\x9b'), std::string::npos) << text;
    }
    EXPECT_NE((run.out + run.err).find("K72_\\x1b[2J"), std::string::npos) << run.out << run.err;
}

TEST_F(CardToolTest, VersionAndHelpForEveryCommand) {
    const CardRun version = Run("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("k72-card ") + K72_TEST_VERSION + "\n");
    // The desktop program answers without a window (built when the build has the desktop program).
    const auto desktop = BinaryDir() / "k72-image-converter";
    if (fs::exists(desktop)) {
        const CommandResult result = RunCommand(Quote(desktop) + " --version");
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.output, std::string("k72-image-converter ") + K72_TEST_VERSION + "\n");
    }

    const CardRun help = Run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"show", "import", "add-still", "remove-still", "move-still", "audio",
                                "delete", "export", "convert-picture", "convert-movie", "probe", "check"}) {
        // One line each in the list, and an example in the command's own help.
        bool listed = false;
        std::size_t at = 0;
        while ((at = help.out.find(std::string("\n  ") + command + " ", at)) != std::string::npos) {
            const std::size_t end = help.out.find('\n', at + 1);
            const std::string line = help.out.substr(at + 1, end - at - 1);
            listed = line.size() < 100;
            at = end;
        }
        EXPECT_TRUE(listed) << command;
        const CardRun own = Run(std::string(command) + " --help");
        EXPECT_EQ(own.status, 0) << command;
        EXPECT_NE(own.out.find("Example:\n  k72-card " + std::string(command) + " "), std::string::npos)
            << own.out;
    }
}

} // namespace
} // namespace k72test
