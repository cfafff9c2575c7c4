// Nothing lost and nothing outside the card: files that other pads still name, links and special files
// in the card folder, saves cut off by a kill or failing half way, what killed runs leave behind, and
// why a card cannot be opened.
#include "store/PadCommands.h"

#include "store/CardOpenResult.h"
#include "store/PadFileBackup.h"
#include "store/PrintableText.h"
#include "store/SaveJournal.h"
#include "store/StoreMessages.h"
#include "store/WriteFaults.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"
#include "tests/support/StillTestPictures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

bool Contains(const std::vector<std::string>& texts, const std::string& part) {
    for (const auto& text : texts) {
        if (text.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A card whose number A-1 is empty but for the pads a test puts there; the rest of the file random.
class CardSafety : public ::testing::Test {
protected:
    CardSafety() {
        bytes = RandomBytes(kPadFileBytes, 77);
        EmptyNumber(bytes, 0, 0);
        EmptyNumber(bytes, 2, 4);
        fs::create_directories(temporary);
    }

    void Open(bool withBackups = true) {
        card = std::make_unique<TestCard>(dir.Path(), bytes);
        for (const auto& name : files) {
            if (name == "K72_0001.AVI") {
                card->AddDeviceFile(name); // imported where it lies
            } else {
                card->AddFile(name, "content of " + name);
            }
        }
        OpenAgain(withBackups);
    }
    void OpenAgain(bool withBackups = true) {
        commands.reset();
        store = std::make_unique<CPadBankStore>();
        commands = std::make_unique<PadCommands>(*store, &copy);
        store->SetTemporaryFolder(temporary);
        const std::string serial = volume;
        store->SetVolumeProbe([serial](const fs::path&) { return serial; });
        if (withBackups) {
            store->SetBackupFolder(backups);
        }
        const auto opened = messages(store->Open(card->folder, card->padFile));
        ASSERT_TRUE(opened) << opened.text;
        store->SelectBank(0);
        store->SelectNumber(0);
    }

    TempDir dir;
    fs::path temporary = dir / "tmp";
    fs::path backups = dir / "backups";
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> files;
    std::string volume; // the serial of the card's volume, as the store is told it
    std::unique_ptr<TestCard> card;
    RecordingMessages messages;
    PlainFileCopy copy{true};
    std::unique_ptr<CPadBankStore> store;
    std::unique_ptr<PadCommands> commands;
};

TEST_F(CardSafety, DeletingKeepsEveryFileAnotherRecordStillNames) {
    // A-1-1: a movie with a sound; A-1-2: two pictures with the same sound; C-5-8: the movie recorded a
    // second time, spelled in lower case (the card compares names without case).
    PutMoviePad(bytes, RecordAt(0, 0, 0), "K72_0001.AVI", "SND.WAV");
    PutStillPad(bytes, RecordAt(0, 0, 1), {"K72_0002.JPG", "K72_0003.JPG"}, "SND.WAV");
    PutMoviePad(bytes, RecordAt(2, 4, 7), "k72_0001.avi");
    files = {"K72_0001.AVI", "K72_0002.JPG", "K72_0003.JPG", "SND.WAV"};
    Open();

    const StoreResult first = messages(commands->DeletePad(0, true));
    ASSERT_TRUE(first);
    EXPECT_EQ(store->PadKindOf(0), PadKindEmpty);
    EXPECT_TRUE(fs::exists(card->folder / "K72_0001.AVI"));
    EXPECT_TRUE(fs::exists(card->folder / "SND.WAV"));
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"K72_0001.AVI was kept on the card: pad C-5-8 uses it too.\n"
                                       "SND.WAV was kept on the card: pad A-1-2 uses it too."})
        << "one message for the whole delete";
    EXPECT_TRUE(first.notDeleted.empty());
    EXPECT_EQ(first.kept, (std::vector<std::string>{"K72_0001.AVI", "SND.WAV"}));

    // The last pad naming the sound takes it with it.
    messages.shown.clear();
    EXPECT_TRUE(messages(commands->DeletePad(1, true)));
    EXPECT_FALSE(fs::exists(card->folder / "K72_0002.JPG"));
    EXPECT_FALSE(fs::exists(card->folder / "K72_0003.JPG"));
    EXPECT_FALSE(fs::exists(card->folder / "SND.WAV"));
    EXPECT_TRUE(messages.shown.empty());

    // A picture taken off a list stays while the list names it at another position too.
    PutStillPad(bytes, RecordAt(0, 0, 2), {"K72_0009.JPG", "K72_0009.JPG"});
    files = {"K72_0009.JPG"};
    Open();
    const StoreResult removed = messages(commands->RemovePicture(2, 0, true));
    ASSERT_TRUE(removed);
    EXPECT_TRUE(removed.notDeleted.empty());
    EXPECT_TRUE(fs::exists(card->folder / "K72_0009.JPG"));
    EXPECT_TRUE(Contains(messages.shown, "pad A-1-3 uses it too"));
}

TEST_F(CardSafety, ASoundNeverReplacesAFileAnotherPadNames) {
    PutMoviePad(bytes, RecordAt(0, 0, 0), "K72_0001.AVI");
    PutStillPad(bytes, RecordAt(0, 0, 1), {"K72_0002.JPG"}, "SND.WAV");
    files = {"K72_0001.AVI", "K72_0002.JPG"};
    Open();
    // A sound called like the movie, copied with overwriting allowed.
    MakeWav(dir / "K72_0001.AVI");
    const auto movie = ReadFileBytes(card->folder / "K72_0001.AVI");
    const auto padBefore = card->PadBytes();
    EXPECT_FALSE(messages(commands->AttachSound(1, dir / "K72_0001.AVI", nullptr, "K72_0001.AVI")));
    EXPECT_EQ(ReadFileBytes(card->folder / "K72_0001.AVI"), movie);
    EXPECT_EQ(card->PadBytes(), padBefore);
    EXPECT_TRUE(Contains(messages.shown, "pad A-1-1 uses that file"))
        << ::testing::PrintToString(messages.shown);

    // The pad's own sound may be replaced, and the same sound shared by a second pad.
    MakeWav(dir / "SND.WAV");
    EXPECT_TRUE(messages(commands->AttachSound(1, dir / "SND.WAV", nullptr, "SND.WAV")));
    EXPECT_TRUE(messages(commands->AttachSound(0, dir / "SND.WAV", nullptr, "SND.WAV")));
    EXPECT_EQ(GetName(card->PadBytes(), RecordAt(0, 0, 0) + 36), "SND.WAV");
    // A different sound of that name would change the other pad's sound.
    MakeWav(dir / "SND.WAV", 2, 44100, 16, 441, 9);
    EXPECT_FALSE(messages(commands->AttachSound(1, dir / "SND.WAV", nullptr, "SND.WAV")));
}

TEST_F(CardSafety, LinksInTheCardFolderAreNeitherFollowedNorRecorded) {
    PutStillPad(bytes, RecordAt(0, 0, 2), {"K72_0005.JPG"});
    Open();
    WriteFileBytes(dir / "outside.jpg", {'s', 'e', 'c', 'r', 'e', 't'});
    fs::create_symlink(dir / "outside.jpg", card->folder / "K72_0005.JPG");
    fs::create_symlink(dir / "outside.jpg", card->folder / "K72_0006.JPG");
    const fs::path exported = dir / "export";
    fs::create_directories(exported);

    EXPECT_FALSE(messages(commands->ExportPad(2, exported)));
    EXPECT_FALSE(fs::exists(exported / "K72_0005.JPG"));
    EXPECT_TRUE(Contains(messages.shown, "K72_0005.JPG was not exported: on the card it is a symbolic link"));
    EXPECT_FALSE(messages(commands->Import({3, PadKindStill, {card->folder / "K72_0006.JPG"}})));
    EXPECT_EQ(
        PicturesAfter(messages(commands->Import({2, PadKindStill, {card->folder / "K72_0006.JPG"}, true})),
                      *store, 2),
        -1);
    EXPECT_EQ(store->PadKindOf(3), PadKindEmpty);
    // Deleting removes neither the link's target nor (as a pad's file) the link.
    const StoreResult deleted = messages(commands->DeletePad(2, true));
    EXPECT_EQ(deleted.failure, StoreFailure::Incomplete);
    EXPECT_TRUE(fs::exists(dir / "outside.jpg"));
    EXPECT_EQ(deleted.notDeleted, std::vector<std::string>{"K72_0005.JPG"});

    // A pad file that is a link to a file of the right size is not opened, and never written.
    TempDir other;
    TestCard linked(other.Path(), bytes);
    WriteFileBytes(other / "elsewhere.sys", bytes);
    fs::remove(linked.padFile);
    fs::create_symlink(other / "elsewhere.sys", linked.padFile);
    CPadBankStore second;
    const auto refused = second.OpenCardRoot(linked.root);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.value.failure, CardOpenFailure::NotARegularFile);
    EXPECT_NE(refused.text.find("a symbolic link"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(other / "elsewhere.sys"), bytes);

    // A card reached through a linked path is used as usual.
    commands.reset();
    store.reset();
    fs::create_symlink(card->root, dir / "mounted");
    CPadBankStore third;
    PadCommands thirdCommands(third, &copy);
    ASSERT_TRUE(third.OpenCardRoot(dir / "mounted"));
    third.SelectBank(0);
    third.SelectNumber(0);
    EXPECT_FALSE(thirdCommands.Import({4, PadKindStill, {card->folder / "K72_0005.JPG"}}));
    card->AddDeviceFile("K72_0007.JPG");
    EXPECT_TRUE(
        thirdCommands.Import({4, PadKindStill, {dir / "mounted" / "DCIM" / "000KAVLO" / "K72_0007.JPG"}}));
}

TEST_F(CardSafety, SpecialFilesAreSkippedWithoutWaitingOnThem) {
    PutStillPad(bytes, RecordAt(0, 0, 2), {"K72_0001.JPG", "K72_0002.JPG"});
    PutMoviePad(bytes, RecordAt(0, 0, 3), "K72_0003.AVI");
    files = {"K72_0001.JPG"};
    Open();
    ASSERT_EQ(::mkfifo((card->folder / "K72_0002.JPG").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((card->folder / "K72_0003.AVI").c_str(), 0600), 0);
    const fs::path exported = dir / "export";
    fs::create_directories(exported);
    // A FIFO opened for reading would wait for a writer for ever.
    EXPECT_FALSE(messages(commands->ExportPad(2, exported)));
    EXPECT_TRUE(fs::exists(exported / "K72_0001.JPG"));
    EXPECT_FALSE(fs::exists(exported / "K72_0002.JPG"));
    EXPECT_FALSE(messages(commands->ExportPad(3, exported)));
    EXPECT_EQ(messages.shown, (std::vector<std::string>{
                                  "K72_0002.JPG was not exported: on the card it is a FIFO, not a file.",
                                  "K72_0003.AVI was not exported: on the card it is a FIFO, not a file."}));
    EXPECT_FALSE(messages(commands->Import({5, PadKindStill, {card->folder / "K72_0002.JPG"}})));
}

// A child process that opens the card and dies by SIGKILL at fault point `killAt` of an in-place
// import onto pad A-1-1; true when it was killed (false: the import ended first).
bool KillDuringImport(const TestCard& card, const fs::path& backups, int killAt,
                      const std::string& volume = {}) {
    const pid_t child = ::fork();
    if (child == 0) {
        CPadBankStore store;
        PadCommands commands(store);
        store.SetBackupFolder(backups);
        store.SetVolumeProbe([volume](const fs::path&) { return volume; });
        if (!store.Open(card.folder, card.padFile)) {
            _exit(2);
        }
        store.SelectBank(0);
        store.SelectNumber(0);
        writefault::KillAt(killAt);
        _exit(commands.Import({0, PadKindMovie, {card.folder / "K72_0001.AVI"}}) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

TEST_F(CardSafety, ASaveCutOffByAKillIsRolledBackWhenTheCardIsOpenedNext) {
    // The pad holds no record but its bytes are the device's old ones: a movie name written over them
    // must never be left mixed with them.
    files = {"K72_0001.AVI"};
    Open();
    commands.reset();
    store.reset();
    const auto original = card->PadBytes();
    const fs::path journal = backups / PadFileBackup::CardFolderName(card->root) / "K72_PAD-journal.bin";
    int killed = 0;
    int rolledBack = 0;
    for (int step = 1; step < 40; ++step) {
        WriteFileBytes(card->padFile, original);
        if (!KillDuringImport(*card, backups, step)) {
            break;
        }
        ++killed;
        messages.shown.clear();
        OpenAgain();
        const auto after = card->PadBytes();
        ASSERT_EQ(after.size(), kPadFileBytes);
        // The pad file is as before, or (killed after its save was flushed) holds the whole new record.
        const bool old = after == original;
        rolledBack += messages.shown == std::vector<std::string>{messages::kInterruptedSaveUndone} ? 1 : 0;
        if (!old) {
            EXPECT_EQ(GetName(after, RecordAt(0, 0, 0) + 8), "K72_0001.AVI") << step;
            EXPECT_TRUE(std::equal(after.begin() + static_cast<long>(RecordAt(0, 0, 1)), after.end(),
                                   original.begin() + static_cast<long>(RecordAt(0, 0, 1))))
                << step;
        }
        EXPECT_FALSE(fs::exists(journal)) << step;
        commands.reset();
        store.reset();
    }
    EXPECT_GE(killed, 5);
    EXPECT_GE(rolledBack, 1) << "a kill between the record's write and the end of the save is undone";

    // A journal that no longer fits the pad file (the device changed it since) is dropped, the pad
    // file kept as the device left it.
    bool journalLeft = false;
    for (int step = 1; step < 40 && !journalLeft; ++step) {
        WriteFileBytes(card->padFile, original);
        ASSERT_TRUE(KillDuringImport(*card, backups, step));
        journalLeft = fs::exists(journal);
    }
    ASSERT_TRUE(journalLeft);
    auto changed = card->PadBytes();
    changed[RecordAt(0, 0, 0) + 9] ^= 0x55;
    WriteFileBytes(card->padFile, changed);
    messages.shown.clear();
    OpenAgain();
    EXPECT_EQ(card->PadBytes(), changed);
    EXPECT_TRUE(messages.shown.empty());
}

// The journal lies on the computer and is found by the card's path, where another card may be now (two
// cards of one volume label under /media): it is put back only onto the card it was written for, never
// by a look at the card, and only after a copy of the pad file as the cut-off save left it.
TEST_F(CardSafety, ACutOffSaveIsPutBackOnlyOntoItsOwnCardAndNeverByAReader) {
    files = {"K72_0001.AVI"};
    volume = "1A2B-3C4D";
    Open();
    commands.reset();
    store.reset();
    const auto original = card->PadBytes();
    const fs::path copies = backups / PadFileBackup::CardFolderName(card->root);
    const fs::path journal = SaveJournal::PathIn(copies);
    std::vector<std::uint8_t> cut; // card X as the kill left it: its journal waiting, its record changed
    for (int step = 1; step < 40 && cut.empty(); ++step) {
        WriteFileBytes(card->padFile, original);
        ASSERT_TRUE(KillDuringImport(*card, backups, step, volume));
        if (fs::exists(journal) && card->PadBytes() != original) {
            cut = card->PadBytes();
        }
    }
    ASSERT_FALSE(cut.empty());

    // Card Y at the same path, its record holding what X's save wrote.
    auto elsewhere = cut;
    elsewhere[RecordAt(5, 0, 0) + 8] ^= 0x20;
    const struct {
        const char* what;
        std::string volume;
        std::vector<std::uint8_t> pads;
    } others[] = {
        {"the same volume serial, other bytes outside the save", volume, elsewhere},
        {"another volume, the same bytes", "5E6F-7A8B", cut},
    };
    const std::string own = volume;
    for (const auto& other : others) {
        SCOPED_TRACE(other.what);
        WriteFileBytes(card->padFile, other.pads);
        volume = other.volume;
        messages.shown.clear();
        OpenAgain();
        EXPECT_EQ(card->PadBytes(), other.pads);
        EXPECT_TRUE(messages.shown.empty());
        EXPECT_FALSE(fs::exists(journal)) << "set aside, so that Y's own saves do not replace it";
        EXPECT_EQ(SaveJournal::Found(copies).size(), 1u);
        store.reset();
    }

    // Card X is back; a look at it says that a save waits and changes nothing.
    volume = own;
    WriteFileBytes(card->padFile, cut);
    {
        CPadBankStore looker;
        looker.SetBackupFolder(backups);
        looker.SetVolumeProbe([own](const fs::path&) { return own; });
        const auto looked = looker.Open(card->folder, card->padFile, CardAccess::Snapshot);
        ASSERT_TRUE(looked);
        EXPECT_EQ(looked.text, messages::kInterruptedSaveWaiting);
        EXPECT_TRUE(looker.IsReadOnly());
    }
    EXPECT_EQ(card->PadBytes(), cut);
    EXPECT_EQ(SaveJournal::Found(copies).size(), 1u);

    // Opened to be changed, it is put back, with a copy kept of it as it was.
    messages.shown.clear();
    OpenAgain();
    EXPECT_EQ(card->PadBytes(), original);
    EXPECT_EQ(messages.shown, std::vector<std::string>{messages::kInterruptedSaveUndone});
    EXPECT_TRUE(SaveJournal::Found(copies).empty());
    bool kept = false;
    for (const auto& copy : PadFileBackup::Copies(copies)) {
        kept = kept || ReadFileBytes(copy) == cut;
    }
    EXPECT_TRUE(kept);
}

// What a journal means for the pad file as it is now, with and without the card's identity in it.
TEST(SaveJournal, FitsOnlyTheCardItWasWrittenFor) {
    std::vector<std::uint8_t> before(64, 0x11);
    JournalSpan span{8, std::vector<std::uint8_t>(4, 0x11), std::vector<std::uint8_t>(4, 0x22)};
    auto after = before;
    std::fill(after.begin() + 8, after.begin() + 12, 0x22);
    auto torn = before;
    torn[8] = 0x22;
    auto otherOutside = after;
    otherOutside[40] = 0x33;
    auto changed = after;
    changed[9] = 0x44;
    const CardIdentity identity{"1A2B-3C4D", SaveJournal::HashOutside(before, {span})};
    using Fit = SaveJournal::Fit;
    const struct {
        const char* what;
        bool withIdentity;
        const std::vector<std::uint8_t>& pads;
        std::string volume;
        Fit fit;
    } cases[] = {
        {"its card, the save whole", true, after, "1A2B-3C4D", Fit::PutBack},
        {"its card, the record torn", true, torn, "1A2B-3C4D", Fit::PutBack},
        {"its card seen through a reader that names no volume", true, after, "", Fit::PutBack},
        {"another volume", true, after, "5E6F-7A8B", Fit::OtherCard},
        {"other bytes outside the save", true, otherOutside, "1A2B-3C4D", Fit::OtherCard},
        {"the record changed since", true, changed, "1A2B-3C4D", Fit::Changed},
        {"an old journal over a whole record", false, after, "", Fit::Whole},
        {"an old journal over a torn record", false, torn, "", Fit::PutBack},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Journal journal;
        journal.spans = {span};
        if (c.withIdentity) {
            journal.identity = identity;
        }
        EXPECT_EQ(SaveJournal::FitOf(journal, c.pads, c.volume), c.fit);
    }

    // The identity survives the journal's round trip; a journal of the earlier version is still read.
    TempDir dir;
    Journal written{identity, {span}};
    ASSERT_TRUE(SaveJournal::Write(dir / "j.bin", written));
    Journal read;
    ASSERT_EQ(SaveJournal::Read(dir / "j.bin", read), SaveJournal::State::Valid);
    EXPECT_EQ(read.identity, identity);
    ASSERT_TRUE(SaveJournal::Write(dir / "old.bin", Journal{std::nullopt, {span}}));
    ASSERT_EQ(SaveJournal::Read(dir / "old.bin", read), SaveJournal::State::Valid);
    EXPECT_FALSE(read.identity);
    EXPECT_EQ(read.spans.size(), 1u);
}

// A pad naming files that are gone, in a folder of many files: the folder is read once, not once for
// each missing name (100 of them among 100,000 files took seconds). Timed against a pad naming one
// missing file, so that a busy machine does not matter.
TEST_F(CardSafety, MissingFilesInABigFolderAreFoundMissingAtOnce) {
    std::vector<std::string> gone;
    for (int i = 0; i < 100; ++i) {
        gone.push_back("K72_" + std::to_string(5000 + i) + ".JPG");
    }
    PutStillPad(bytes, RecordAt(0, 0, 3), gone);
    PutStillPad(bytes, RecordAt(0, 0, 4), {"K72_4999.JPG"});
    Open();
    for (int i = 0; i < 10000; ++i) {
        const FileHandle fd(::open((card->folder / ("F" + std::to_string(i) + ".DAT")).c_str(),
                                   O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        ASSERT_TRUE(fd);
    }
    fs::create_directories(dir / "export");
    // The time this process spent, which other programs on a busy machine do not stretch.
    const auto spent = [] {
        timespec now{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    };
    std::chrono::nanoseconds exporting[2]{};
    std::chrono::nanoseconds deleting[2]{};
    for (int pad : {4, 3}) {
        auto started = spent();
        EXPECT_EQ(commands->ExportPad(pad, dir / "export").failure, StoreFailure::Incomplete)
            << "nothing was exported";
        exporting[pad - 3] = spent() - started;
        started = spent();
        EXPECT_TRUE(commands->DeletePad(pad, true));
        deleting[pad - 3] = spent() - started;
        EXPECT_EQ(store->PadKindOf(pad), PadKindEmpty);
    }
    EXPECT_LT(exporting[0], 10 * exporting[1] + std::chrono::milliseconds(20));
    EXPECT_LT(deleting[0], 10 * deleting[1] + std::chrono::milliseconds(20));
}

TEST_F(CardSafety, AFailedSavePutsBackEveryByteItChanged) {
    files = {"K72_0001.AVI", "K72_0002.JPG"};
    PutStillPad(bytes, RecordAt(0, 0, 5), {"K72_0002.JPG", "K72_0002.JPG"});
    // Pad 0 is empty, but its name bytes hold the device's old text.
    PutName(bytes, RecordAt(0, 0, 0) + 8, "OLDNAME.AVI");
    Open(false);
    const auto original = card->PadBytes();
    // Step 1 is the record's write, step 2 the flush.
    for (int step : {1, 2}) {
        SCOPED_TRACE(step);
        messages.shown.clear();
        writefault::FailAt(step);
        EXPECT_FALSE(messages(commands->Import({0, PadKindMovie, {card->folder / "K72_0001.AVI"}})));
        writefault::FailAt(step);
        EXPECT_FALSE(messages(commands->RemovePicture(5, 0)));
        writefault::FailAt(0);
        EXPECT_EQ(card->PadBytes(), original);
        EXPECT_EQ(messages.shown, std::vector<std::string>(2, messages::kCardWriteFailed));
        EXPECT_EQ(store->PadKindOf(0), PadKindEmpty);
        EXPECT_EQ(store->Entry(5)->stills->stillCount, 2u);
    }
    EXPECT_TRUE(messages(commands->Import({0, PadKindMovie, {card->folder / "K72_0001.AVI"}})));
}

// The id of a process that has ended.
pid_t EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        _exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST_F(CardSafety, TheNextOpenClearsWhatKilledRunsLeftButNoMediaFile) {
    Open();
    commands.reset();
    store.reset();
    const std::string dead = std::to_string(EndedProcess());
    // Left by a killed run: a partial copy on the card, a temporary folder, a partial pad-file copy.
    card->AddFile(".k72-copy-" + dead + "-a1b2c3", "half");
    card->AddFile(".k72-copy-x9y8z7", "half, named before copies carried their process");
    card->AddFile("K72_0044.AVI", "complete but never recorded");
    fs::create_directories(temporary / ("k72-import-" + dead + "-q1w2e3"));
    WriteFileBytes(temporary / ("k72-import-" + dead + "-q1w2e3") / "K72_0045.AVI", {1, 2});
    fs::create_directories(temporary / ("k72-card-" + dead + "-r4t5y6"));
    // Still in use by living processes (this one, and process 1), or not ours.
    card->AddFile(".k72-copy-1-u7i8o9", "being written");
    fs::create_directories(temporary / "k72-import-1-p0a9s8");
    fs::create_directories(temporary / "other-program-123-abc");
    const fs::path cardCopies = backups / PadFileBackup::CardFolderName(card->root);
    fs::create_directories(cardCopies);
    WriteFileBytes(cardCopies / "K72_PAD-20240101-000000-000.SYS.part", {1});
    // The copy without a process id is older than this run.
    fs::last_write_time(card->folder / ".k72-copy-x9y8z7",
                        fs::file_time_type::clock::now() - std::chrono::hours(1));
    OpenAgain();

    EXPECT_FALSE(fs::exists(card->folder / (".k72-copy-" + dead + "-a1b2c3")));
    EXPECT_FALSE(fs::exists(card->folder / ".k72-copy-x9y8z7"));
    EXPECT_FALSE(fs::exists(temporary / ("k72-import-" + dead + "-q1w2e3")));
    EXPECT_FALSE(fs::exists(temporary / ("k72-card-" + dead + "-r4t5y6")));
    EXPECT_FALSE(fs::exists(cardCopies / "K72_PAD-20240101-000000-000.SYS.part"));
    EXPECT_TRUE(fs::exists(card->folder / "K72_0044.AVI"));
    EXPECT_TRUE(fs::exists(card->folder / ".k72-copy-1-u7i8o9"));
    EXPECT_TRUE(fs::exists(temporary / "k72-import-1-p0a9s8"));
    EXPECT_TRUE(fs::exists(temporary / "other-program-123-abc"));
}

TEST_F(CardSafety, EachReasonACardCannotBeOpenedHasItsOwnMessage) {
    Open();
    CPadBankStore other;
    StoreOutcome<CardOpenResult> opened;
    // In use: the message says so, and not that this is another drive.
    EXPECT_FALSE(opened = other.OpenCardRoot(card->root));
    EXPECT_EQ(opened.value.failure, CardOpenFailure::Locked);
    const std::string inUse = opened.text;
    EXPECT_NE(inUse.find("in use by another program"), std::string::npos);
    EXPECT_NE(inUse.find("Close it there first."), std::string::npos);
    commands.reset();
    store.reset();

    EXPECT_FALSE(opened = other.OpenCardRoot(dir / "nothing-here"));
    EXPECT_EQ(opened.value.failure, CardOpenFailure::NotFound);
    EXPECT_NE(opened.text.find("No such file"), std::string::npos);
    EXPECT_FALSE(opened = other.OpenCardRoot(temporary));
    EXPECT_EQ(opened.value.failure, CardOpenFailure::NotACard);
    EXPECT_NE(opened.text.find("has no DCIM/000KAVLO/K72_PAD.SYS"), std::string::npos);
    EXPECT_FALSE(opened = other.OpenCardRoot(card->padFile));
    EXPECT_EQ(opened.value.failure, CardOpenFailure::NotAFolder);

    auto shorter = bytes;
    shorter.resize(4096);
    WriteFileBytes(card->padFile, shorter);
    EXPECT_FALSE(opened = other.OpenCardRoot(card->root));
    EXPECT_EQ(opened.value.failure, CardOpenFailure::WrongLength);
    EXPECT_NE(opened.text.find("has 4,096 bytes, not 1,178,496"), std::string::npos);

    fs::remove(card->padFile);
    fs::create_directory(card->padFile);
    EXPECT_FALSE(opened = other.OpenCardRoot(card->root));
    EXPECT_EQ(opened.value.failure, CardOpenFailure::NotARegularFile);
    EXPECT_NE(opened.text.find("is a folder, not a file"), std::string::npos);
}

TEST_F(CardSafety, AnUnusableTemporaryFolderIsNamedAndNotBlamedOnTheSource) {
    files = {};
    Open();
    WriteRgbPng(dir / "picture.png", SmoothPicture(16, 16));
    store->SetTemporaryFolder(dir / "missing");
    EXPECT_FALSE(messages(commands->Import({0, PadKindStill, {dir / "picture.png"}})));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0],
              messages::TemporaryFolderUnusable((dir / "missing").string(), "No such file or directory"));
    EXPECT_EQ(messages.shown[0].find("Failed to load"), std::string::npos);
}

TEST(PrintableName, EscapesEverythingButPrintableAscii) {
    EXPECT_EQ(PrintableName("K72_0001.JPG"), "K72_0001.JPG");
    EXPECT_EQ(PrintableName(std::string("A\nB\x1b[31m\\\t\r\x7f\xe9", 13)),
              "A\\nB\\x1b[31m\\\\\\t\\r\\x7f\\xe9");
}

} // namespace
} // namespace k72
