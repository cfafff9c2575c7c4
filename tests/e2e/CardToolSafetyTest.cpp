// k72-card on cards that share files between pads, hold links, FIFOs and folders named like media
// files, names that would drive the terminal, and runs killed in the middle of a change.
#include "tests/e2e/CardToolSupport.h"

#include <sys/stat.h>

namespace k72test {
namespace {

void PutMovie(std::vector<std::uint8_t>& bytes, std::size_t at, const std::string& file,
              const std::string& audio = "") {
    PutLE32(bytes, at, 1);
    PutLE32(bytes, at + 4, 0);
    PutName(bytes, at + 8, file);
    PutName(bytes, at + 36, audio);
}

class CardToolSafety : public CardToolTest {
protected:
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kPadFileBytes, 0);
    void WritePads() const { WriteFileBytes(card.padFile, bytes); }

    // Runs k72-card as Run does, with a fault point armed ("kill:N").
    CardRun RunArmed(const std::string& fault, const std::string& arguments) const {
        const auto errFile = dir / "stderr.txt";
        const CommandResult result =
            RunCommand("{ K72_TEST_WRITE_FAULT=" + fault + " TMPDIR=" + Quote(temp) + " XDG_CONFIG_HOME=" +
                       Quote(config) + " XDG_DATA_HOME=" + Quote(data) + " " + Quote(CardTool()) + " " +
                       arguments + " 2>" + Quote(errFile) + " </dev/null; } 2>/dev/null");
        CardRun run;
        run.status = result.exitCode;
        run.out = result.output;
        run.err = ReadFileText(errFile);
        return run;
    }

    // Runs k72-card as Run does, killed should it take longer than `seconds`.
    CardRun RunWithin(int seconds, const std::string& arguments) const {
        const auto errFile = dir / "stderr.txt";
        const CommandResult result =
            RunCommand("{ TMPDIR=" + Quote(temp) + " XDG_CONFIG_HOME=" + Quote(config) +
                       " XDG_DATA_HOME=" + Quote(data) + " timeout -s KILL " + std::to_string(seconds) + " " +
                       Quote(CardTool()) + " " + arguments + " 2>" + Quote(errFile) + " </dev/null; }");
        CardRun run;
        run.status = result.exitCode;
        run.out = result.output;
        run.err = ReadFileText(errFile);
        return run;
    }
};

TEST_F(CardToolSafety, DeleteKeepsSharedFilesAndFailsForFilesItCouldNotDelete) {
    PutMovie(bytes, RecordAt(0, 0, 0), "K72_0001.AVI", "SND.WAV");
    PutMovie(bytes, RecordAt(1, 0, 0), "K72_0001.AVI");
    PutStillPad(bytes, RecordAt(0, 0, 1), {"K72_0002.JPG", "K72_0003.JPG"});
    WritePads();
    card.AddFile("K72_0001.AVI");
    card.AddFile("SND.WAV");
    card.AddFile("K72_0002.JPG");
    std::filesystem::create_directory(card.folder / "K72_0003.JPG");

    CardRun run = Run("delete " + Root() + " A-1-1 --delete-files");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("K72_0001.AVI was kept on the card: pad B-1-1 uses it too."), std::string::npos)
        << run.err;
    EXPECT_TRUE(std::filesystem::exists(card.folder / "K72_0001.AVI"));
    EXPECT_FALSE(std::filesystem::exists(card.folder / "SND.WAV"));

    // A file that cannot be deleted is named and fails the command; the pad is empty all the same.
    run = Run("delete " + Root() + " A-1-2 --delete-files");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("K72_0003.JPG was not deleted: on the card it is a folder, not a file."),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(card.folder / "K72_0002.JPG"));
    EXPECT_EQ(GetLE32(card.PadBytes(), RecordAt(0, 0, 1)), 0u);
    EXPECT_EQ(GetName(card.PadBytes(), RecordAt(1, 0, 0) + 8), "K72_0001.AVI");
}

TEST_F(CardToolSafety, AnOverwritingSoundNeverReplacesAnotherPadsFile) {
    PutMovie(bytes, RecordAt(0, 0, 0), "K72_0001.AVI");
    PutStillPad(bytes, RecordAt(0, 0, 1), {"K72_0002.JPG"});
    WritePads();
    card.AddFile("K72_0001.AVI", "the movie");
    card.AddFile("K72_0002.JPG");
    std::filesystem::create_directories(dir / "sounds");
    MakeWav(dir / "sounds" / "K72_0001.AVI");
    const CardRun run =
        Run("audio " + Root() + " A-1-2 " + Quote(dir / "sounds" / "K72_0001.AVI") + " --overwrite");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("pad A-1-1 uses that file"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileText(card.folder / "K72_0001.AVI"), "the movie");
    EXPECT_EQ(GetName(card.PadBytes(), RecordAt(0, 0, 1) + 1312), "");
}

TEST_F(CardToolSafety, ExportSkipsFifosFoldersAndLinksWithoutHanging) {
    PutStillPad(bytes, RecordAt(0, 0, 0), {"K72_0001.JPG", "K72_0002.JPG", "K72_0003.JPG", "K72_0004.JPG"});
    WritePads();
    card.AddFile("K72_0001.JPG", "picture");
    ASSERT_EQ(::mkfifo((card.folder / "K72_0002.JPG").c_str(), 0600), 0);
    std::filesystem::create_directory(card.folder / "K72_0003.JPG");
    WriteFileBytes(dir / "private.txt", {'s', 'e', 'c', 'r', 'e', 't'});
    std::filesystem::create_symlink(dir / "private.txt", card.folder / "K72_0004.JPG");
    const auto folder = dir / "export";
    std::filesystem::create_directories(folder);

    // Bounded, should the FIFO ever be opened for reading again.
    const CardRun run = Run("export " + Root() + " A-1-1 " + Quote(folder));
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("K72_0002.JPG was not exported: on the card it is a FIFO"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("K72_0003.JPG was not exported: on the card it is a folder"), std::string::npos);
    EXPECT_NE(run.err.find("K72_0004.JPG was not exported: on the card it is a symbolic link"),
              std::string::npos);
    EXPECT_EQ(run.err.find("Invalid argument"), std::string::npos);
    EXPECT_EQ(ReadFileText(folder / "K72_0001.JPG"), "picture");
    EXPECT_FALSE(std::filesystem::exists(folder / "K72_0004.JPG"));
    EXPECT_FALSE(std::filesystem::exists(folder / "K72_0002.JPG"));
}

TEST_F(CardToolSafety, ShowPrintsNamesWithControlBytesEscaped) {
    PutStillPad(bytes, RecordAt(0, 0, 0), {std::string("A\nB\x1b[2J"), "K72_0001.JPG"});
    WritePads();
    const CardRun run = Run("show " + Root());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("A\\nB\\x1b[2J K72_0001.JPG"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    // One line for the card, one for the pad.
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
}

TEST_F(CardToolSafety, AMissingTemporaryFolderIsNamedNotBlamedOnThePicture) {
    const auto pictures = MakePictures(1);
    std::filesystem::remove_all(temp);
    const CardRun run = Run("import " + Root() + " A-1-1 " + pictures[0]);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("The temporary folder " + temp.string() + " cannot be used"), std::string::npos)
        << run.err;
    EXPECT_EQ(run.err.find("Failed to load the file"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("drive C"), std::string::npos) << run.err;
}

// A FIFO (or a device) given as the file to read is refused before anything opens it: opening it would
// wait for a writer that never comes, deaf to Ctrl-C.
TEST_F(CardToolSafety, NonFilesGivenAsTheSourceAreRefusedWithoutWaiting) {
    const auto fifo = dir / "clip.mp4";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto pictureFifo = dir / "photo.jpg";
    ASSERT_EQ(::mkfifo(pictureFifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "sound.wav").c_str(), 0600), 0);
    const auto before = card.PadBytes();
    for (const std::string& arguments :
         {"probe " + Quote(fifo), "probe " + Quote(dir / "sound.wav"),
          "import " + Root() + " A-1-1 " + Quote(fifo),
          "add-still " + Root() + " A-1-2 " + Quote(pictureFifo),
          "convert-picture " + Quote(pictureFifo) + " " + Quote(dir / "K72_0001.JPG"),
          "convert-movie " + Quote(fifo) + " " + Quote(dir / "out"),
          std::string("import ") + Root() + " A-1-1 /dev/zero"}) {
        SCOPED_TRACE(arguments);
        const CardRun run = RunWithin(20, arguments);
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_NE(run.err.find("is not a file"), std::string::npos) << run.err;
    }
    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_TRUE(TempIsEmpty());
}

// The movie's intermediate file lies in the run's private folder: a closed terminal (SIGHUP) stops the
// import and removes it, and after a kill the next run removes the whole folder.
TEST_F(CardToolSafety, TheIntermediateMovieFileNeverOutlivesItsRun) {
    ASSERT_TRUE(
        MakeMedia(dir / "clip.mp4", "-f lavfi -i testsrc2=size=320x240:rate=30:duration=40 -c:v mpeg4"));
    const auto before = card.PadBytes();
    for (const char* signal : {"HUP", "KILL"}) {
        SCOPED_TRACE(signal);
        const CommandResult result = RunCommand(
            "TMPDIR=" + Quote(temp) + " XDG_CONFIG_HOME=" + Quote(config) + " XDG_DATA_HOME=" + Quote(data) +
            " " + Quote(CardTool()) + " import " + Root() + " A-1-1 " + Quote(dir / "clip.mp4") +
            " >/dev/null 2>&1 </dev/null & pid=$!; "
            "for i in $(seq 1 1200); do f=$(find " +
            Quote(temp) +
            " -name 'MJP*' -size +0 | head -n 1); "
            "[ -n \"$f\" ] && break; sleep 0.05; done; echo \"$f\"; kill -" +
            signal + " $pid; wait $pid; echo \"status $?\"");
        const std::string found = result.output.substr(0, result.output.find('\n'));
        ASSERT_FALSE(found.empty()) << "no intermediate file was seen";
        const std::filesystem::path intermediate(found);
        EXPECT_NE(intermediate.parent_path(), temp) << found;
        EXPECT_EQ(intermediate.parent_path().parent_path(), temp) << found;
        EXPECT_EQ(intermediate.parent_path().filename().string().rfind("k72-import-", 0), 0u) << found;
        if (std::string(signal) == "HUP") {
            EXPECT_NE(result.output.find("status 1"), std::string::npos) << result.output;
        } else {
            // Whatever the kill left, the next run that changes the card clears it away.
            EXPECT_EQ(Run("delete " + Root() + " F-12-12").status, 0);
        }
        EXPECT_TRUE(TempIsEmpty()) << found;
        EXPECT_EQ(card.PadBytes(), before);
    }
}

// Messages tell what happened: a count no pad can hold, an export of nothing, help asked for as JSON.
TEST_F(CardToolSafety, MessagesSayWhatHappened) {
    PutStillPad(bytes, RecordAt(0, 0, 0), {"K72_0001.JPG"});
    PutLE32(bytes, RecordAt(0, 0, 0) + 1308, 400);
    PutStillPad(bytes, RecordAt(0, 0, 1), {"K72_0002.JPG"});
    WritePads();
    const auto pictures = MakePictures(1);
    CardRun run = Run("add-still " + Root() + " A-1-1 " + pictures[0]);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("records a picture count of 400"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("18446744073709551615"), std::string::npos) << run.err;

    const auto folder = dir / "export";
    std::filesystem::create_directories(folder);
    run = Run("export " + Root() + " A-1-2 " + Quote(folder));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.err.find("K72_0002.JPG was not exported: it is not on the card"), std::string::npos)
        << run.err;

    for (const char* arguments : {"--json --help", "--version --json", "show --help --json"}) {
        SCOPED_TRACE(arguments);
        run = Run(arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_TRUE(Json(run)["ok"].toBool());
    }
}

// Killed at every step of an import: the next run that changes the card finds no partial copy, no
// temporary folder and no journal, and a complete picture that no pad records yet stays on the card for
// the user.
TEST_F(CardToolSafety, AKilledImportLeavesNothingButPerhapsAnUnrecordedPicture) {
    const auto pictures = MakePictures(1);
    const auto original = card.PadBytes();
    int killed = 0;
    int unrecordedKept = 0;
    for (int step = 1; step < 60; ++step) {
        WriteFileBytes(card.padFile, original);
        for (const auto& name : CardFiles()) {
            if (name != "K72_PAD.SYS") {
                std::filesystem::remove_all(card.folder / name);
            }
        }
        const CardRun armed =
            RunArmed("kill:" + std::to_string(step), "import " + Root() + " A-1-1 " + pictures[0]);
        if (armed.status != 128 + 9 && armed.status != 9) {
            EXPECT_EQ(armed.status, 0) << armed.err;
            break;
        }
        ++killed;
        // The next run that opens the card to change it (here on an empty pad, which changes nothing)
        // clears up first.
        const CardRun next = Run("delete " + Root() + " F-12-12");
        EXPECT_EQ(next.status, 0) << next.err;
        const bool recorded = GetLE32(card.PadBytes(), RecordAt(0, 0, 0)) == 1;
        for (const auto& name : CardFiles()) {
            EXPECT_NE(name.rfind(".k72-copy-", 0), 0u) << "step " << step;
        }
        EXPECT_TRUE(TempIsEmpty()) << "step " << step;
        const bool present = std::filesystem::exists(card.folder / "K72_0001.JPG");
        EXPECT_TRUE(present || !recorded) << "step " << step << ": the pad names a file that is not there";
        unrecordedKept += present && !recorded ? 1 : 0;
    }
    EXPECT_GE(killed, 8);
    EXPECT_GE(unrecordedKept, 1);
}

} // namespace
} // namespace k72test
