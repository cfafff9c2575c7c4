// The card changing under an open store: the pad file removed or replaced, the card taken out, a
// folder where a file should be, the card filling up in the middle of a save, the temporary disk
// filling up. Each ends in a clear failure with the pad file as it was, nothing half recorded (no pad
// naming a missing or partial file, the file numbering unchanged) and no stray file on the card.
#include "store/PadCommands.h"

#include "store/StoreMessages.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"
#include "tests/support/StillTestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A tmpfs of its own, where the system lets this process mount one (root, outside most containers).
class SmallVolume {
public:
    SmallVolume(const fs::path& where, const std::string& size) : where_(where) {
        fs::create_directories(where);
        mounted_ =
            ::mount("tmpfs", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, ("size=" + size).c_str()) == 0;
    }
    ~SmallVolume() {
        if (mounted_) {
            ::umount2(where_.c_str(), MNT_DETACH);
        }
    }
    SmallVolume(const SmallVolume&) = delete;
    SmallVolume& operator=(const SmallVolume&) = delete;
    bool Mounted() const { return mounted_; }

    // Takes every free byte of the volume with one file.
    void Fill() const {
        const int fd = ::open((where_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::vector<char> block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }
    void Empty() const { fs::remove(where_ / "filler"); }

private:
    fs::path where_;
    bool mounted_ = false;
};

class CardFaults : public ::testing::Test {
protected:
    void SetUp() override {
        WriteRgbPng(dir / "picture.png", SmoothPicture(48, 32));
        fs::create_directories(temporary);
        fs::create_directories(exportFolder);
    }

    // Opens a card made under base whose pad file is written by writePad (the whole file by default).
    void OpenCard(const fs::path& base) {
        card = std::make_unique<TestCard>(base, original);
        ASSERT_NO_FATAL_FAILURE(AddFilesAndOpenStore());
        ASSERT_EQ(store->LastFileNumber(), 12u);
    }
    // Puts the pictures and the movie the pads name on the card and opens bank A, number 1 of it.
    void AddFilesAndOpenStore() {
        card->AddDeviceFile("K72_0001.JPG");
        card->AddDeviceFile("K72_0002.JPG");
        card->AddFile("K72_0012.AVI");
        commands.reset();
        store = std::make_unique<CPadBankStore>();
        commands = std::make_unique<PadCommands>(*store, &copy);
        store->SetTemporaryFolder(temporary);
        ASSERT_TRUE(messages(store->Open(card->folder, card->padFile)));
        store->SelectBank(0);
        store->SelectNumber(0);
        listing = Listing(card->folder);
    }

    // What the store holds must be what the card held before: no pad names a new file, the numbering
    // is where it was.
    void ExpectMemoryUnchanged() const {
        ASSERT_NE(store->Entry(0), nullptr);
        EXPECT_EQ(store->PadKindOf(0), PadKindEmpty);
        const auto stills = store->Entry(5)->stills;
        ASSERT_TRUE(stills.has_value());
        EXPECT_EQ(stills->stillCount, 2u);
        EXPECT_EQ(NameText(stills->stillNames[0]), "K72_0001.JPG");
        EXPECT_EQ(NameText(stills->stillNames[1]), "K72_0002.JPG");
        EXPECT_TRUE(IsEmptyName(stills->stillNames[2]));
        EXPECT_EQ(store->LastFileNumber(), 12u);
    }

    // Every command that changes the pad file, each failing cleanly.
    void RunEveryChange(bool copyReachesTheCard) {
        const std::size_t shownBefore = messages.shown.size();
        EXPECT_FALSE(messages(commands->Import({0, PadKindStill, {dir / "picture.png"}})));
        EXPECT_EQ(PicturesAfter(messages(commands->Import({5, PadKindStill, {dir / "picture.png"}, true})),
                                *store, 5),
                  -1);
        EXPECT_FALSE(messages(commands->RemovePicture(5, 0)));
        EXPECT_FALSE(messages(commands->SwapPictures(5, 0, 1)));
        EXPECT_FALSE(messages(commands->DeletePad(5, true)));
        ExpectMemoryUnchanged();
        // A copy that reached the card and could not be recorded is taken away again; the card's own
        // files stay, the pad naming them was not cleared.
        EXPECT_EQ(Listing(card->folder), listing);
        EXPECT_TRUE(fs::is_empty(temporary));
        // The store tells the user its card could not be written; a copy that could not be made has
        // told the user itself.
        const std::vector<std::string> tail(messages.shown.begin() + static_cast<long>(shownBefore),
                                            messages.shown.end());
        const auto writeFailures =
            std::count(tail.begin(), tail.end(), std::string(messages::kCardWriteFailed));
        EXPECT_EQ(writeFailures, copyReachesTheCard ? 5 : 3) << ::testing::PrintToString(tail);
        EXPECT_EQ(static_cast<std::size_t>(writeFailures), tail.size());
    }

    TempDir dir;
    fs::path temporary = dir / "tmp";
    fs::path exportFolder = dir / "export";
    std::vector<std::uint8_t> original = StillPadCardBytes(31);
    std::unique_ptr<TestCard> card;
    std::vector<std::string> listing;
    RecordingMessages messages;
    PlainFileCopy copy;
    std::unique_ptr<CPadBankStore> store;
    std::unique_ptr<PadCommands> commands;
};

TEST_F(CardFaults, APadFileRemovedOrReplacedAfterOpeningIsNeverWrittenBehindItsBack) {
    OpenCard(dir.Path());
    // Removed: the open file would still take the writes, but they would reach no card.
    fs::remove(card->padFile);
    listing = Listing(card->folder);
    RunEveryChange(true);
    EXPECT_FALSE(fs::exists(card->padFile));

    // Replaced by another program's copy: that copy is left exactly as it was written.
    TempDir second;
    OpenCard(second.Path());
    auto replacement = original;
    replacement[100] ^= 0xFF;
    WriteFileBytes(card->folder / "new.sys", replacement);
    fs::rename(card->folder / "new.sys", card->padFile);
    listing = Listing(card->folder);
    RunEveryChange(true);
    EXPECT_EQ(card->PadBytes(), replacement);
}

TEST_F(CardFaults, ACardTakenOutBetweenOpeningAndSavingKeepsWhatItHad) {
    OpenCard(dir.Path());
    const fs::path away = dir / "elsewhere";
    fs::rename(card->root, away);
    // Neither the copy nor the save finds the card.
    const std::size_t shown = messages.shown.size();
    EXPECT_FALSE(messages(commands->Import({0, PadKindStill, {dir / "picture.png"}})));
    EXPECT_EQ(messages.shown.size(), shown) << "the failed copy has spoken for itself";
    EXPECT_FALSE(messages(commands->RemovePicture(5, 0)));
    EXPECT_FALSE(messages(commands->DeletePad(5, true)));
    ExpectMemoryUnchanged();
    fs::rename(away, card->root);
    EXPECT_EQ(card->PadBytes(), original);
    EXPECT_EQ(Listing(card->folder), listing);
    EXPECT_TRUE(fs::is_empty(temporary));
}

TEST_F(CardFaults, AFolderWhereAFileShouldBeIsNeitherCopiedNorDeleted) {
    OpenCard(dir.Path());
    // The next file name and a picture the pad names both become folders after the card was opened.
    fs::create_directory(card->folder / "K72_0013.JPG");
    fs::remove(card->folder / "K72_0002.JPG");
    fs::create_directory(card->folder / "K72_0002.JPG");
    WriteFileBytes(card->folder / "K72_0002.JPG" / "inside", {1, 2, 3});
    listing = Listing(card->folder);

    EXPECT_FALSE(messages(commands->Import({0, PadKindStill, {dir / "picture.png"}})));
    EXPECT_EQ(
        PicturesAfter(messages(commands->Import({5, PadKindStill, {dir / "picture.png"}, true})), *store, 5),
        -1);
    ExpectMemoryUnchanged();
    EXPECT_EQ(card->PadBytes(), original);
    EXPECT_TRUE(fs::is_empty(card->folder / "K72_0013.JPG"));

    EXPECT_FALSE(messages(commands->ExportPad(5, exportFolder)));
    EXPECT_FALSE(fs::exists(exportFolder / "K72_0002.JPG"));
    const StoreResult deleted = messages(commands->DeletePad(5, true));
    EXPECT_EQ(deleted.failure, StoreFailure::Incomplete) << "the pad is empty, one file is left";
    EXPECT_TRUE(deleted.change.PadChanged());
    EXPECT_EQ(store->PadKindOf(5), PadKindEmpty);
    EXPECT_FALSE(fs::exists(card->folder / "K72_0001.JPG"));
    EXPECT_EQ(ReadFileBytes(card->folder / "K72_0002.JPG" / "inside"), (std::vector<std::uint8_t>{1, 2, 3}));
    // Both the export and the delete say what the name is, and the delete counts it as not deleted.
    EXPECT_EQ(messages.shown, (std::vector<std::string>{
                                  "K72_0002.JPG was not exported: on the card it is a folder, not a file.",
                                  "K72_0002.JPG was not deleted: on the card it is a folder, not a file."}));
    EXPECT_EQ(deleted.notDeleted, std::vector<std::string>{"K72_0002.JPG"});
    EXPECT_EQ(deleted.change.removed, std::vector<std::string>{"K72_0001.JPG"});
}

TEST_F(CardFaults, ACardFillingUpInTheMiddleOfASaveLeavesThePadFileAsItWas) {
    SmallVolume volume(dir / "volume", "2m");
    if (!volume.Mounted()) {
        GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    }
    // The device's pad file with its later part never written (a hole): rewriting that part needs
    // space the full card does not have, after the first records were already rewritten.
    original.assign(kPadFileBytes, 0);
    const auto header = StillPadCardBytes(31);
    std::copy(header.begin(), header.begin() + 100000, original.begin());
    card = std::make_unique<TestCard>(dir / "volume",
                                      std::vector<std::uint8_t>(header.begin(), header.begin() + 100000));
    ASSERT_EQ(::truncate(card->padFile.c_str(), static_cast<off_t>(kPadFileBytes)), 0);
    ASSERT_NO_FATAL_FAILURE(AddFilesAndOpenStore());
    volume.Fill();
    listing = Listing(card->folder);

    // A new file cannot be copied onto the full card.
    EXPECT_FALSE(messages(commands->Import({0, PadKindStill, {dir / "picture.png"}})));
    ExpectMemoryUnchanged();
    // Only the records that change are written; number 8 lies in the part the device never wrote,
    // where the first byte written needs space the card does not have.
    store->SelectNumber(7);
    EXPECT_FALSE(messages(commands->Import({0, PadKindStill, {card->folder / "K72_0001.JPG"}})));
    EXPECT_FALSE(messages(commands->Import({11, PadKindStill, {card->folder / "K72_0002.JPG"}})));
    EXPECT_EQ(store->PadKindOf(0), PadKindEmpty);
    EXPECT_EQ(card->PadBytes(), original);
    EXPECT_EQ(Listing(card->folder), listing);
    EXPECT_EQ(
        std::count(messages.shown.begin(), messages.shown.end(), std::string(messages::kCardWriteFailed)), 2);

    // With room again the same change goes through.
    volume.Empty();
    EXPECT_TRUE(messages(commands->Import({0, PadKindStill, {card->folder / "K72_0001.JPG"}})));
    EXPECT_EQ(GetName(card->PadBytes(), RecordAt(0, 7, 0) + 8), "K72_0001.JPG");
}

TEST_F(CardFaults, AFullTemporaryDiskIsReportedAsSuchAndChangesNothing) {
    SmallVolume volume(dir / "tmpfs", "64k");
    if (!volume.Mounted()) {
        GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    }
    OpenCard(dir.Path());
    store->SetTemporaryFolder(dir / "tmpfs");
    volume.Fill();
    EXPECT_FALSE(messages(commands->Import({0, PadKindStill, {dir / "picture.png"}})));
    EXPECT_EQ(
        PicturesAfter(messages(commands->Import({5, PadKindStill, {dir / "picture.png"}, true})), *store, 5),
        -1);
    EXPECT_EQ(messages.shown,
              std::vector<std::string>(2, messages::TemporaryDiskFull((dir / "tmpfs").string())));
    ExpectMemoryUnchanged();
    EXPECT_EQ(card->PadBytes(), original);
    EXPECT_EQ(Listing(card->folder), listing);
    EXPECT_EQ(Listing(dir / "tmpfs"), std::vector<std::string>{"filler"});
}

} // namespace
} // namespace k72
