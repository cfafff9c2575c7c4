// k72-card keeps a copy of a card's pad file in the user's data folder before each run that changes
// the card; runs that only look keep none.
#include "tests/e2e/CardToolSupport.h"

#include "store/PadFileBackup.h"

namespace k72test {
namespace {

namespace fs = std::filesystem;

TEST_F(CardToolTest, EveryRunThatChangesTheCardFirstKeepsACopyOfItsPadFile) {
    const fs::path backups = data / "KAVELO" / "K-72 Image Converter" / "pad-backups";
    const auto pictures = MakePictures(1);
    ASSERT_EQ(Run("show " + Root() + " --json").status, 0);
    EXPECT_FALSE(fs::exists(backups)) << "looking is no change";

    const auto empty = card.PadBytes();
    ASSERT_EQ(Run("add-still " + Root() + " A-1-1 " + Join(pictures)).status, 0);
    const auto withPicture = card.PadBytes();
    ASSERT_EQ(Run("delete " + Root() + " A-1-1").status, 0);

    const fs::path folder = backups / k72::PadFileBackup::CardFolderName(card.root);
    const auto copies = k72::PadFileBackup::Copies(folder);
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(ReadFileBytes(copies[0]), empty);
    EXPECT_EQ(ReadFileBytes(copies[1]), withPicture);
}

} // namespace
} // namespace k72test
