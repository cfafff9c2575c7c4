// The card's undo history: every kind of change undone and redone byte for byte with its files, the
// bound of the history and its trash, and the refusals that leave the card as it is.
#include "store/CardHistory.h"

#include "store/CardCheck.h"
#include "store/PadCommands.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"
#include "tests/support/StillTestPictures.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

// Every name and size in the card folder, the history's own file and folder left out.
std::map<std::string, std::uintmax_t> CardFolderFiles(const fs::path& folder) {
    std::map<std::string, std::uintmax_t> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!IsUndoHistory(name)) {
            files[name] = entry.is_regular_file() ? entry.file_size() : 0;
        }
    }
    return files;
}

std::size_t TrashCount(const fs::path& folder) {
    const fs::path trash = folder / CardHistory::kTrashFolder;
    return fs::exists(trash) ? static_cast<std::size_t>(std::distance(fs::directory_iterator(trash), {})) : 0;
}

// Bank A, number 1 of a pad file of random bytes (so that the gaps between the fields are not zero):
// pad 0 the movie K72_0001.AVI with SOUND.WAV, pad 1 the pictures K72_0002.JPG and K72_0003.JPG.
class CardHistoryTest : public OpenCardTest {
protected:
    void SetUp() override {
        auto bytes = RandomBytes(kPadFileBytes, 72);
        EmptyNumber(bytes, 0, 0);
        PutMoviePad(bytes, RecordAt(0, 0, 0), "K72_0001.AVI", "SOUND.WAV");
        PutStillPad(bytes, RecordAt(0, 0, 1), {"K72_0002.JPG", "K72_0003.JPG"});
        ASSERT_NO_FATAL_FAILURE(
            OpenCard(bytes, {"K72_0001.AVI", "SOUND.WAV", "K72_0002.JPG", "K72_0003.JPG"}));
        WriteRgbPng(dir / "picture.png", SmoothPicture(48, 32));
        MakeWav(dir / "DRUMS.WAV");
    }

    PadCommands commands{store};
    RecordingQuestions questions;
};

TEST_F(CardHistoryTest, EachChangeIsUndoneAndRedoneByteForByteWithItsFiles) {
    struct Case {
        const char* what;
        std::function<StoreResult()> change;
    };
    const std::vector<Case> cases = {
        {"delete of pad A-1-1", [this] { return commands.DeletePad(0, true); }},
        {"removal of a picture from pad A-1-2", [this] { return commands.RemovePicture(1, 0, true); }},
        {"move of a picture on pad A-1-2", [this] { return commands.MovePicture(1, 0, 1); }},
        {"sound on pad A-1-2", [this] { return StoreResult(commands.AttachSound(1, dir / "DRUMS.WAV")); }},
        {"import onto pad A-1-3",
         [this] {
             return commands.Import({2, PadKindStill, {dir / "picture.png"}}, &questions);
         }},
        // A still image pad over a movie writes over the movie record's gap bytes: they come back too.
        {"import onto pad A-1-1", [this] {
             questions.deleteReplaced = true;
             return commands.Import({0, PadKindStill, {dir / "picture.png"}}, &questions);
         }}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto bytesBefore = card->PadBytes();
        const auto filesBefore = CardFolderFiles(card->folder);
        ASSERT_TRUE(c.change());
        const auto bytesAfter = card->PadBytes();
        const auto filesAfter = CardFolderFiles(card->folder);
        ASSERT_NE(bytesAfter, bytesBefore);

        CardHistory history(store);
        EXPECT_EQ(history.UndoWhat(), c.what);
        ASSERT_TRUE(history.Undo()) << history.Undo().text;
        EXPECT_EQ(card->PadBytes(), bytesBefore);
        EXPECT_EQ(CardFolderFiles(card->folder), filesBefore);
        // The store's memory follows the card.
        EXPECT_EQ(FileNamesOf(*store.Entry(0)).size() + FileNamesOf(*store.Entry(1)).size(), 4u);

        EXPECT_EQ(CardHistory(store).RedoWhat(), c.what);
        ASSERT_TRUE(CardHistory(store).Redo());
        EXPECT_EQ(card->PadBytes(), bytesAfter);
        EXPECT_EQ(CardFolderFiles(card->folder), filesAfter);
        // Back to the card as it was for the next case.
        ASSERT_TRUE(CardHistory(store).Undo());
        questions.deleteReplaced = false;
    }
}

TEST_F(CardHistoryTest, TheHistoryKeepsItsLastChangesAndDeletesWhatItForgets) {
    // What a killed run left in the trash without recording it goes with the next change.
    fs::create_directories(card->folder / CardHistory::kTrashFolder);
    WriteFileBytes(card->folder / CardHistory::kTrashFolder / "1-K72_0001.AVI", {1});
    // An undone import keeps its picture for a redo, until a new change drops the redo.
    ASSERT_TRUE(commands.Import({2, PadKindStill, {dir / "picture.png"}}, &questions));
    ASSERT_TRUE(CardHistory(store).Undo());
    EXPECT_EQ(TrashCount(card->folder), 1u);
    ASSERT_TRUE(commands.DeletePad(0, true));
    EXPECT_FALSE(CardHistory(store).RedoWhat());
    EXPECT_EQ(TrashCount(card->folder), 2u); // the delete's movie and sound
    for (std::size_t i = 0; i + 1 < CardHistory::kKept; ++i) {
        ASSERT_TRUE(commands.MovePicture(1, 0, 1));
    }
    EXPECT_EQ(TrashCount(card->folder), 2u);
    // The delete is the oldest of kKept changes: one more and it is forgotten, its files deleted for good.
    ASSERT_TRUE(commands.MovePicture(1, 0, 1));
    EXPECT_EQ(TrashCount(card->folder), 0u);
    EXPECT_FALSE(fs::exists(card->folder / "K72_0001.AVI"));
    std::size_t undone = 0;
    while (CardHistory(store).Undo()) {
        ++undone;
    }
    EXPECT_EQ(undone, CardHistory::kKept);
    EXPECT_EQ(store.PadKindOf(0), PadKindEmpty);
    const StoreResult nothing = CardHistory(store).Undo();
    EXPECT_EQ(nothing.failure, StoreFailure::NotUndoable);
    EXPECT_EQ(nothing.text, "There is nothing to undo on this card.");
}

TEST_F(CardHistoryTest, ACardChangedElsewhereIsRefusedWithNothingChanged) {
    ASSERT_TRUE(commands.DeletePad(0, true));
    // The device (or another program) puts something else on the pad.
    auto changed = card->PadBytes();
    PutMoviePad(changed, RecordAt(0, 0, 0), "K72_0050.AVI");
    WriteFileBytes(card->padFile, changed);
    const auto files = CardFolderFiles(card->folder);
    const StoreResult refused = CardHistory(store).Undo();
    EXPECT_EQ(refused.failure, StoreFailure::NotUndoable);
    EXPECT_NE(refused.text.find("Cannot undo the delete of pad A-1-1: pad A-1-1 is no longer as that change "
                                "left it"),
              std::string::npos)
        << refused.text;
    EXPECT_NE(refused.text.find("Nothing was changed. Change the pad by hand instead"), std::string::npos);
    EXPECT_EQ(card->PadBytes(), changed);
    EXPECT_EQ(CardFolderFiles(card->folder), files);
    EXPECT_EQ(TrashCount(card->folder), 2u);
    // The next change starts a new history; the files of the old one are deleted.
    ASSERT_TRUE(commands.MovePicture(1, 0, 1));
    EXPECT_EQ(TrashCount(card->folder), 0u);
    EXPECT_EQ(CardHistory(store).UndoWhat(), "move of a picture on pad A-1-2");
    ASSERT_TRUE(CardHistory(store).Undo());
    EXPECT_FALSE(CardHistory(store).UndoWhat());
}

TEST_F(CardHistoryTest, AFileOfTheSameNameOnTheCardAgainIsNeverReplaced) {
    ASSERT_TRUE(commands.RemovePicture(1, 0, true));
    card->AddFile("K72_0002.JPG", "another picture");
    const auto bytes = card->PadBytes();
    const StoreResult refused = CardHistory(store).Undo();
    EXPECT_EQ(refused.failure, StoreFailure::NotUndoable);
    EXPECT_NE(refused.text.find("the card holds a file named K72_0002.JPG again"), std::string::npos)
        << refused.text;
    EXPECT_EQ(card->PadBytes(), bytes);
    EXPECT_EQ(ReadFileText(card->folder / "K72_0002.JPG"), "another picture");
}

TEST_F(CardHistoryTest, ARepairMovesTheKeptFilesIntoUnusedAndStartsAgain) {
    ASSERT_TRUE(commands.DeletePad(0, true));
    ASSERT_EQ(TrashCount(card->folder), 2u);
    card->AddDeviceFile("K72_0009.JPG"); // something for the repair to do
    const auto report = CardCheck::Run(card->root);
    ASSERT_TRUE(report);
    static_cast<void>(CardCheck::Repair(store, report.value));
    EXPECT_EQ(TrashCount(card->folder), 0u);
    EXPECT_TRUE(fs::exists(card->folder / "UNUSED" / "K72_0001.AVI"));
    EXPECT_TRUE(fs::exists(card->folder / "UNUSED" / "SOUND.WAV"));
    EXPECT_FALSE(CardHistory(store).UndoWhat());
    EXPECT_FALSE(fs::exists(card->folder / CardHistory::kFileName));
}

} // namespace
} // namespace k72
