// Removing what a pad no longer uses: the files of a replaced pad, a picture taken off a list with its
// file, and a delete whose pad file could not be written.
#include "store/CPadBankStore.h"

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
class ReplacedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        auto bytes = std::vector<std::uint8_t>(kPadFileBytes, 0);
        PutMoviePad(bytes, RecordAt(0, 0, 0), "K72_0001.AVI", "SOUND.WAV");
        PutStillPad(bytes, RecordAt(0, 0, 1), {"K72_0002.JPG", "K72_0003.JPG"}, "SOUND.WAV");
        PutStillPad(bytes, RecordAt(0, 1, 0), {"k72_0003.jpg"});
        card = std::make_unique<TestCard>(dir.Path(), bytes);
        for (const char* name : {"K72_0001.AVI", "SOUND.WAV", "K72_0002.JPG", "K72_0003.JPG"}) {
            card->AddFile(name, name);
        }
        ASSERT_TRUE(store.Open(card->folder, card->padFile));
        store.SelectBank(0);
        store.SelectNumber(0);
    }

    TempDir dir;
    std::unique_ptr<TestCard> card;
    RecordingMessages messages;
    CPadBankStore store{&messages};
};

TEST_F(ReplacedFiles, OnlyFilesNoPadOfTheBankNamesAreDeleted) {
    const PadEntry movie = *store.PadFile().EntryAt(0, 0);
    const PadEntry stills = *store.PadFile().EntryAt(0, 1);
    ASSERT_TRUE(store.DeletePad(0, false));
    // The sound is still the picture pad's: only the movie goes.
    store.DeleteReplacedFiles(movie);
    EXPECT_FALSE(fs::exists(card->folder / "K72_0001.AVI"));
    EXPECT_TRUE(fs::exists(card->folder / "SOUND.WAV"));
    ASSERT_TRUE(store.DeletePad(1, false));
    // K72_0003.JPG is named (in another spelling) on number 2.
    store.DeleteReplacedFiles(stills);
    EXPECT_FALSE(fs::exists(card->folder / "K72_0002.JPG"));
    EXPECT_TRUE(fs::exists(card->folder / "K72_0003.JPG"));
    EXPECT_FALSE(fs::exists(card->folder / "SOUND.WAV"));
    EXPECT_TRUE(fs::exists(card->padFile));
    EXPECT_EQ(store.LastFileNumber(), 3u);
}

TEST_F(ReplacedFiles, APictureRemovedWithItsFile) {
    ASSERT_TRUE(store.RemoveStillImage(0, 1, true));
    EXPECT_FALSE(fs::exists(card->folder / "K72_0002.JPG"));
    // Still named on number 2: removed from the list, kept on the card.
    ASSERT_TRUE(store.RemoveStillImage(0, 1, true));
    EXPECT_TRUE(fs::exists(card->folder / "K72_0003.JPG"));
    EXPECT_FALSE(store.RemoveStillImage(0, 1, true)); // the list is empty
}

TEST_F(ReplacedFiles, ADeleteTheCardWouldNotTakeReportsFailureAndKeepsEverything) {
    const auto bytes = card->PadBytes();
    WriteFileBytes(card->folder / "other.sys", bytes);
    fs::rename(card->folder / "other.sys", card->padFile);
    EXPECT_FALSE(store.DeletePad(0, true));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], messages::kCardWriteFailed);
    PadKind kind{};
    ASSERT_TRUE(store.GetPadKind(0, kind));
    EXPECT_EQ(kind, PadKindMovie);
    EXPECT_TRUE(fs::exists(card->folder / "K72_0001.AVI"));
    EXPECT_FALSE(store.RemoveStillImage(0, 1, true));
    EXPECT_TRUE(fs::exists(card->folder / "K72_0002.JPG"));
    EXPECT_EQ(card->PadBytes(), bytes);
}

} // namespace
} // namespace k72
