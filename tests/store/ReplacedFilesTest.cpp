// Removing what a pad no longer uses: the files of a replaced pad, a picture taken off a list with its
// file, and a delete whose pad file could not be written.
#include "store/PadCommands.h"

#include "store/StoreMessages.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"

#include <gtest/gtest.h>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

// Bank A, number 1: pad 0 the movie K72_0001.AVI with SOUND.WAV, pad 1 the pictures K72_0002.JPG and
// K72_0003.JPG with SOUND.WAV as well; number 2, pad 0 names K72_0003.JPG too.
class ReplacedFiles : public OpenCardTest {
protected:
    void SetUp() override {
        auto bytes = std::vector<std::uint8_t>(kPadFileBytes, 0);
        PutMoviePad(bytes, RecordAt(0, 0, 0), "K72_0001.AVI", "SOUND.WAV");
        PutStillPad(bytes, RecordAt(0, 0, 1), {"K72_0002.JPG", "K72_0003.JPG"}, "SOUND.WAV");
        PutStillPad(bytes, RecordAt(0, 1, 0), {"k72_0003.jpg"});
        ASSERT_NO_FATAL_FAILURE(
            OpenCard(bytes, {"K72_0001.AVI", "SOUND.WAV", "K72_0002.JPG", "K72_0003.JPG"}));
    }

    PadCommands commands{store};
};

TEST_F(ReplacedFiles, OnlyFilesNoPadOfTheBankNamesAreDeleted) {
    card->AddDeviceFile("K72_0008.JPG");
    card->AddDeviceFile("K72_0009.JPG");
    RecordingQuestions questions;
    questions.deleteReplaced = true;
    // The sound is still the picture pad's: only the movie goes.
    const StoreResult movie = commands.Import({0, PadKindStill, {card->folder / "K72_0008.JPG"}}, &questions);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie.change.removed, std::vector<std::string>{"K72_0001.AVI"});
    EXPECT_EQ(movie.kept, std::vector<std::string>{"SOUND.WAV"});
    EXPECT_EQ(movie.text, "SOUND.WAV was kept on the card: pad A-1-2 uses it too.");
    EXPECT_FALSE(fs::exists(card->folder / "K72_0001.AVI"));
    EXPECT_TRUE(fs::exists(card->folder / "SOUND.WAV"));
    // K72_0003.JPG is named (in another spelling) on number 2.
    ASSERT_TRUE(commands.Import({1, PadKindStill, {card->folder / "K72_0009.JPG"}}, &questions));
    EXPECT_EQ(questions.asked, (std::vector<std::string>{"replace pad 0", "delete replaced files of pad 0",
                                                         "replace pad 1", "delete replaced files of pad 1"}));
    EXPECT_FALSE(fs::exists(card->folder / "K72_0002.JPG"));
    EXPECT_TRUE(fs::exists(card->folder / "K72_0003.JPG"));
    EXPECT_FALSE(fs::exists(card->folder / "SOUND.WAV"));
    EXPECT_TRUE(fs::exists(card->padFile));
    EXPECT_EQ(store.LastFileNumber(), 9u);
}

TEST_F(ReplacedFiles, APictureRemovedWithItsFile) {
    ASSERT_TRUE(commands.RemovePicture(1, 0, true));
    EXPECT_FALSE(fs::exists(card->folder / "K72_0002.JPG"));
    // Still named on number 2: removed from the list, kept on the card.
    const StoreResult last = commands.RemovePicture(1, 0, true);
    ASSERT_TRUE(last);
    EXPECT_EQ(last.kept, std::vector<std::string>{"K72_0003.JPG"});
    EXPECT_TRUE(fs::exists(card->folder / "K72_0003.JPG"));
    // The emptied list has left an empty pad, with one save.
    EXPECT_EQ(store.PadKindOf(1), PadKindEmpty);
    EXPECT_EQ(GetLE32(card->PadBytes(), RecordAt(0, 0, 1)), 0u);
    EXPECT_EQ(GetLE32(card->PadBytes(), RecordAt(0, 0, 1) + 4), 0u);
    EXPECT_FALSE(commands.RemovePicture(1, 0, true)); // the list is empty
}

TEST_F(ReplacedFiles, ADeleteTheCardWouldNotTakeReportsFailureAndKeepsEverything) {
    const auto bytes = card->PadBytes();
    WriteFileBytes(card->folder / "other.sys", bytes);
    fs::rename(card->folder / "other.sys", card->padFile);
    EXPECT_FALSE(messages(commands.DeletePad(0, true)));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], messages::kCardWriteFailed);
    EXPECT_EQ(store.PadKindOf(0), PadKindMovie);
    EXPECT_TRUE(fs::exists(card->folder / "K72_0001.AVI"));
    EXPECT_EQ(commands.RemovePicture(1, 0, true).failure, StoreFailure::WriteFailed);
    EXPECT_TRUE(fs::exists(card->folder / "K72_0002.JPG"));
    EXPECT_EQ(card->PadBytes(), bytes);
}

} // namespace
} // namespace k72
