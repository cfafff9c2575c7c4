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
