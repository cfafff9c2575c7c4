#include "store/CPadBankStore.h"
#include "store/CardLayout.h"

#include "store/PadCommands.h"
#include "store/PlainFileCopy.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <unistd.h>

namespace k72 {
namespace {

using namespace k72test;

std::vector<std::uint8_t> EmptyPadFile() {
    return std::vector<std::uint8_t>(kPadFileBytes, 0);
}

// A pad file with a still image pad (bank A, number 1, pad 1) naming three pictures and a movie pad
// (pad 2) naming one movie.
std::vector<std::uint8_t> PadFileWithStillsAndMovie(const std::vector<std::string>& stills,
                                                    const std::string& movie) {
    auto bytes = RandomBytes(kPadFileBytes, 11);
    PutStillPad(bytes, RecordAt(0, 0, 0), stills, "AUDIO.WAV");
    PutMoviePad(bytes, RecordAt(0, 0, 1), movie);
    return bytes;
}

// Another program's change to the pad file that a rewrite of bank A would undo: a header byte of bank A
// flipped behind the store's back. Returns the byte now in the file.
std::uint8_t MarkPadFileBehindTheStore(const std::filesystem::path& padFile) {
    const std::size_t at = RecordAt(0, 11, 11);
    const auto mark = static_cast<std::uint8_t>(ReadFileBytes(padFile)[at] ^ 0xFF);
    std::fstream file(padFile, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(at));
    file.put(static_cast<char>(mark));
    return mark;
}
bool MarkSurvived(const std::filesystem::path& padFile, std::uint8_t mark) {
    return ReadFileBytes(padFile)[RecordAt(0, 11, 11)] == mark;
}

TEST(PadBankStore, OpensACardAndSelectsBanks) {
    TempDir dir;
    auto bytes = EmptyPadFile();
    PutLE32(bytes, RecordAt(0, 0, 3), 1); // bank A, number 1, pad 4: a movie
    PutLE32(bytes, RecordAt(2, 5, 6), 1); // bank C, number 6, pad 7: still images
    PutLE32(bytes, RecordAt(2, 5, 6) + 4, 1);
    TestCard card(dir.Path(), bytes);
    CPadBankStore store;
    EXPECT_EQ(store.Entry(0), nullptr);

    ASSERT_TRUE(store.OpenCardRoot(card.root));
    EXPECT_EQ(store.CardFolder(), card.folder);
    EXPECT_EQ(store.PadFilePath(), card.padFile);
    EXPECT_EQ(store.Entry(0), nullptr) << "no bank selected yet";
    store.SelectBank(0);
    EXPECT_FALSE(store.SelectionValid());
    store.SelectNumber(0);
    ASSERT_TRUE(store.SelectionValid());
    ASSERT_NE(store.Entry(3), nullptr);
    EXPECT_EQ(store.PadKindOf(3), PadKindMovie);
    EXPECT_EQ(store.Entry(12), nullptr);
    EXPECT_EQ(store.Entry(-1), nullptr);

    store.SelectBank(2);
    store.SelectNumber(5);
    ASSERT_NE(store.Entry(6), nullptr);
    EXPECT_EQ(store.PadKindOf(6), PadKindStill);
    store.SelectBank(6);
    store.SelectNumber(12);
    EXPECT_EQ(store.Bank(), 2);
    EXPECT_EQ(store.Number(), 5);

    // The same bank again is not read again: memory is always what was saved.
    std::fstream(card.padFile, std::ios::in | std::ios::out | std::ios::binary)
        .seekp(static_cast<std::streamoff>(RecordAt(2, 5, 6)))
        .put(0);
    store.SelectBank(2);
    ASSERT_NE(store.Entry(6), nullptr);
    EXPECT_EQ(store.PadKindOf(6), PadKindStill);

    store.Close();
    EXPECT_FALSE(store.SelectionValid());
    EXPECT_EQ(store.Bank(), -1);
    EXPECT_TRUE(store.CardFolder().empty());
    CPadFile other;
    EXPECT_TRUE(other.Open(card.padFile)) << "Close releases the card at once";
}

TEST(PadBankStore, BadCardsAreRefusedAndLeftAlone) {
    TempDir dir;
    CPadBankStore store;
    EXPECT_FALSE(store.OpenCardRoot(dir / "no-such-card"));
    EXPECT_FALSE(store.IsCardOpen());

    TestCard shortCard(dir / "short", std::vector<std::uint8_t>(kPadFileBytes - 1, 5));
    EXPECT_FALSE(store.OpenCardRoot(shortCard.root));
    EXPECT_TRUE(store.CardFolder().empty());
    EXPECT_TRUE(store.PadFilePath().empty());
    EXPECT_EQ(shortCard.PadBytes(), std::vector<std::uint8_t>(kPadFileBytes - 1, 5));

    TestCard good(dir / "good", EmptyPadFile());
    CPadBankStore holder;
    ASSERT_TRUE(holder.OpenCardRoot(good.root));
    EXPECT_FALSE(store.OpenCardRoot(good.root)) << "the card is in use";
    EXPECT_TRUE(store.CardFolder().empty());
    holder.Close();

    // A read-only card: the store needs to write, so it refuses to open it.
    if (geteuid() != 0) {
        std::filesystem::permissions(good.padFile, std::filesystem::perms::owner_read);
    } else if (RunCommand("chattr +i " + Quote(good.padFile)).exitCode != 0) {
        GTEST_SKIP() << "cannot make a read-only file as root here";
    }
    const bool opened = store.OpenCardRoot(good.root).Ok();
    RunCommand("chattr -i " + Quote(good.padFile));
    EXPECT_FALSE(opened);
    EXPECT_TRUE(store.CardFolder().empty());
}

TEST(PadBankStore, FileNumbersFollowTheHighestMediaFileOnTheCard) {
    TempDir dir;
    TestCard card(dir.Path(), EmptyPadFile());
    CPadBankStore store;
    ASSERT_TRUE(store.Open(card.folder, card.padFile));
    EXPECT_EQ(store.LastFileNumber(), 0u);
    EXPECT_EQ(MakeCardFileName(store.LastFileNumber() + 1, "AVI"), "K72_0001.AVI");

    card.AddFile("K72_0007.AVI");
    card.AddFile("K72_0012.JPG");
    card.AddFile("K72_0050.WAV");  // not a media name
    card.AddFile("K72_00100.JPG"); // five digits: not matched
    card.AddFile("K72_ABCD.JPG");
    card.AddFile("K72_-001.JPG"); // must not block every later import
    std::filesystem::create_directory(card.folder / "sub");
    card.AddFile("sub/K72_0900.JPG");
    store.RescanFileNumbers();
    EXPECT_EQ(store.LastFileNumber(), 12u);
    EXPECT_EQ(MakeCardFileName(store.LastFileNumber() + 1, "AVI"), "K72_0013.AVI");
    EXPECT_EQ(MakeCardFileName(store.LastFileNumber() + 1, "JPG"), "K72_0013.JPG");

    card.AddFile("k72_0020.avi");
    store.RescanFileNumbers();
    EXPECT_EQ(store.LastFileNumber(), 20u);

    card.AddFile("K72_9998.JPG");
    store.RescanFileNumbers();
    EXPECT_EQ(MakeCardFileName(store.LastFileNumber() + 1, "JPG"), "K72_9999.JPG");
    card.AddFile("K72_9999.AVI");
    store.RescanFileNumbers();
    EXPECT_EQ(store.LastFileNumber(), 9999u);

    // Deleting the highest files frees their numbers.
    store.Files().Remove("K72_9999.AVI");
    store.Files().Remove("K72_9998.JPG");
    store.Files().Remove("K72_9998.JPG"); // missing: not an error
    store.RescanFileNumbers();
    EXPECT_EQ(store.LastFileNumber(), 20u);
}

TEST(PadBankStore, RefreshDropsMissingPicturesInOrderAndSavesOnlyOnChange) {
    TempDir dir;
    TestCard card(dir.Path(), PadFileWithStillsAndMovie({"K72_0001.JPG", "K72_0002.JPG", "K72_0003.JPG"},
                                                        "K72_0004.AVI"));
    card.AddFile("K72_0001.JPG");
    card.AddFile("k72_0002.jpg"); // a card copied to a case-sensitive disk
    card.AddFile("K72_0003.JPG");
    card.AddFile("K72_0004.AVI");
    CPadBankStore store;
    ASSERT_NO_FATAL_FAILURE(OpenCardAtA1(store, card));

    // Everything present: nothing is written (another program's change to the bank survives).
    const auto mark = MarkPadFileBehindTheStore(card.padFile);
    EXPECT_FALSE(store.RefreshPad(0).change.PadChanged());
    EXPECT_FALSE(store.RefreshPad(1).change.PadChanged());
    EXPECT_TRUE(MarkSurvived(card.padFile, mark));
    EXPECT_EQ(store.Entry(0)->stills->stillCount, 3u);

    std::filesystem::remove(card.folder / "k72_0002.jpg");
    const StoreResult refreshed = store.RefreshPad(0);
    ASSERT_TRUE(refreshed.change.PadChanged()) << "the result knows the pad before and after";
    EXPECT_EQ(refreshed.change.before->stills->stillCount, 3u);
    EXPECT_EQ(refreshed.change.after->stills->stillCount, 2u);
    EXPECT_FALSE(MarkSurvived(card.padFile, mark)) << "the changed bank was saved";
    auto stills = store.Entry(0)->stills;
    ASSERT_TRUE(stills);
    EXPECT_EQ(stills->stillCount, 2u);
    EXPECT_EQ(NameText(stills->stillNames[0]), "K72_0001.JPG");
    EXPECT_EQ(NameText(stills->stillNames[1]), "K72_0003.JPG");
    EXPECT_TRUE(IsEmptyName(stills->stillNames[2]));
    EXPECT_EQ(NameText(stills->audioFileName), "AUDIO.WAV") << "the audio file is left alone";
    const auto bytes = card.PadBytes();
    EXPECT_EQ(GetLE32(bytes, RecordAt(0, 0, 0) + 1308), 2u);
    EXPECT_EQ(GetName(bytes, RecordAt(0, 0, 0) + 8 + 13), "K72_0003.JPG");
    EXPECT_EQ(GetName(bytes, RecordAt(0, 0, 0) + 8 + 26), "");

    // All gone: the pad becomes empty. A missing movie empties its pad and keeps its kindCode.
    std::filesystem::remove(card.folder / "K72_0001.JPG");
    std::filesystem::remove(card.folder / "K72_0003.JPG");
    std::filesystem::remove(card.folder / "K72_0004.AVI");
    EXPECT_TRUE(store.RefreshPad(0));
    EXPECT_TRUE(store.RefreshPad(1));
    ASSERT_NE(store.Entry(0), nullptr);
    EXPECT_EQ(store.PadKindOf(0), PadKindEmpty);
    ASSERT_NE(store.Entry(1), nullptr);
    EXPECT_EQ(store.PadKindOf(1), PadKindEmpty);
    const auto emptied = card.PadBytes();
    EXPECT_EQ(GetLE32(emptied, RecordAt(0, 0, 0)), 0u);
    EXPECT_EQ(GetLE32(emptied, RecordAt(0, 0, 0) + 4), 1u);
    EXPECT_EQ(GetLE32(emptied, RecordAt(0, 0, 1)), 0u);
}

TEST(PadBankStore, NamesThatLeaveTheCardFolderCountAsMissing) {
    TempDir dir;
    // Files outside the card folder that a hostile pad file names.
    TestCard card(dir.Path(), PadFileWithStillsAndMovie({"../PADX.JPG", "K72_0001.JPG", "/etc/hostname"},
                                                        "../../../M.AVI"));
    WriteFileBytes(card.folder.parent_path() / "PADX.JPG", {1});
    WriteFileBytes(card.root / "M.AVI", {1});
    card.AddFile("K72_0001.JPG");
    CPadBankStore store;
    ASSERT_NO_FATAL_FAILURE(OpenCardAtA1(store, card));
    EXPECT_FALSE(store.Files().PathOf("../PADX.JPG"));
    EXPECT_EQ(store.Files().PathOf("K72_0001.JPG"), card.folder / "K72_0001.JPG");

    EXPECT_TRUE(store.RefreshPad(0));
    EXPECT_TRUE(store.RefreshPad(1));
    const auto stills = store.Entry(0)->stills;
    ASSERT_TRUE(stills);
    EXPECT_EQ(stills->stillCount, 1u);
    EXPECT_EQ(NameText(stills->stillNames[0]), "K72_0001.JPG");
    ASSERT_NE(store.Entry(1), nullptr);
    EXPECT_EQ(store.PadKindOf(1), PadKindEmpty);
}

TEST(PadBankStore, CorruptStillCountNeverReachesPastTheList) {
    TempDir dir;
    auto bytes = PadFileWithStillsAndMovie({"K72_0001.JPG", "K72_0002.JPG"}, "K72_0004.AVI");
    PutLE32(bytes, RecordAt(0, 0, 0) + 1308, 5000);
    TestCard card(dir.Path(), bytes);
    card.AddFile("K72_0001.JPG");
    CPadBankStore store;
    ASSERT_NO_FATAL_FAILURE(OpenCardAtA1(store, card));
    EXPECT_TRUE(store.RefreshPad(0));
    const auto stills = store.Entry(0)->stills;
    ASSERT_TRUE(stills);
    EXPECT_EQ(stills->stillCount, 1u);
    EXPECT_EQ(NameText(stills->stillNames[0]), "K72_0001.JPG");
}

TEST(PlainFileCopy, CopiesWithoutOverwritingAndLeavesNoHalfFile) {
    TempDir dir;
    WriteFileBytes(dir / "a", {1, 2, 3});
    WriteFileBytes(dir / "b", {4});
    PlainFileCopy copy;
    EXPECT_TRUE(copy.Copy({{dir / "a", dir / "c"}}));
    EXPECT_EQ(ReadFileBytes(dir / "c"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_FALSE(copy.Copy({{dir / "a", dir / "b"}})) << "an existing file is not overwritten";
    EXPECT_EQ(ReadFileBytes(dir / "b"), (std::vector<std::uint8_t>{4}));
    EXPECT_FALSE(copy.Copy({{dir / "missing", dir / "d"}}));
    EXPECT_FALSE(copy.Copy({{dir / "a", dir / "no-folder" / "d"}}));
    EXPECT_FALSE(copy.Copy({{dir.Path(), dir / "e"}})) << "a folder is not a file to copy";
    copy.SetOverwrite(true);
    EXPECT_TRUE(copy.Copy({{dir / "a", dir / "b"}}));
    EXPECT_EQ(ReadFileBytes(dir / "b"), (std::vector<std::uint8_t>{1, 2, 3}));

    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"})) << "no temporary file left behind";
}

TEST(PadBankStore, CopiesGoThroughTheCopyInterface) {
    struct Recorder : IFileCopy {
        std::vector<std::vector<FileCopyItem>> calls;
        bool result = true;
        bool Copy(const std::vector<FileCopyItem>& items) override {
            calls.push_back(items);
            return result;
        }
    } recorder;
    TempDir dir;
    TestCard card(dir.Path(), PadFileWithStillsAndMovie({"K72_0001.JPG", "K72_0002.JPG"}, "K72_0004.AVI"));
    for (const char* name : {"K72_0001.JPG", "K72_0002.JPG", "AUDIO.WAV", "K72_0004.AVI"}) {
        card.AddFile(name);
    }
    CPadBankStore store;
    PadCommands commands(store, &recorder);
    ASSERT_NO_FATAL_FAILURE(OpenCardAtA1(store, card));
    // The pictures in one copy, the sound in one of its own.
    const StoreResult exported = commands.ExportPad(0, "/dest");
    EXPECT_TRUE(exported);
    ASSERT_EQ(recorder.calls.size(), 2u);
    ASSERT_EQ(recorder.calls[0].size(), 2u);
    EXPECT_EQ(recorder.calls[0][0].source, card.folder / "K72_0001.JPG");
    EXPECT_EQ(recorder.calls[0][1].destination, "/dest/K72_0002.JPG");
    EXPECT_TRUE(recorder.calls[0][1].sourceOnCard);
    EXPECT_EQ(recorder.calls[1][0].destination, "/dest/AUDIO.WAV");
    EXPECT_EQ(exported.copied.size(), 3u);
    recorder.result = false;
    const StoreResult failed = commands.ExportPad(1, "/dest");
    EXPECT_EQ(failed.failure, StoreFailure::CopyFailed);
    EXPECT_TRUE(failed.copied.empty());
    EXPECT_EQ(recorder.calls.size(), 3u);
}

} // namespace
} // namespace k72
