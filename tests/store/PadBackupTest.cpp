// Copies of the pad file kept before a card is first changed in a run: one per card and run, taken
// before the change reaches the file, the newest 20 kept, and a copy that cannot be made never stops
// the change.
#include "store/PadCommands.h"

#include "base/DiagnosticLog.h"
#include "store/PadFileBackup.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"

#include <gtest/gtest.h>

#include <mutex>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

class PadBackup : public ::testing::Test {
protected:
    void SetUp() override {
        original = RandomBytes(kPadFileBytes, 21);
        // Bank A, number 1: pads 0 … 11 movie pads naming K72_0001.AVI.
        for (int p = 0; p < 12; ++p) {
            const std::size_t r = RecordAt(0, 0, p);
            PutLE32(original, r, 1);
            PutLE32(original, r + 4, 0);
            PutName(original, r + 8, "K72_0001.AVI");
            PutName(original, r + 36, "");
        }
        card = std::make_unique<TestCard>(dir.Path(), original);
        card->AddFile("K72_0001.AVI");
    }

    // One run of the program: a store of its own that opens the card and selects bank A, number 1.
    struct OneRun {
        CPadBankStore store;
        PadCommands commands{store};
    };
    std::unique_ptr<OneRun> Run(const fs::path& backups) {
        auto run = std::make_unique<OneRun>();
        run->store.SetBackupFolder(backups);
        EXPECT_TRUE(messages(run->store.Open(card->folder, card->padFile)));
        run->store.SelectBank(0);
        run->store.SelectNumber(0);
        return run;
    }

    TempDir dir;
    fs::path backups = dir / "data" / "pad-backups";
    std::vector<std::uint8_t> original;
    std::unique_ptr<TestCard> card;
    RecordingMessages messages;
};

TEST_F(PadBackup, TheFirstChangeOfARunKeepsTheCardAsItWasAndLaterOnesKeepNothing) {
    auto run = Run(backups);
    const fs::path folder = run->store.CardBackupFolder();
    EXPECT_EQ(folder.parent_path(), backups);
    EXPECT_EQ(folder.filename().string().rfind("card-", 0), 0u) << "named after the card's root folder";

    // Looking is no change.
    EXPECT_NE(run->store.Entry(0), nullptr);
    EXPECT_TRUE(run->store.RefreshPad(0));
    EXPECT_TRUE(run->commands.ExportPad(0, dir.Path()));
    EXPECT_FALSE(fs::exists(folder));

    EXPECT_TRUE(messages(run->commands.DeletePad(0, false)));
    ASSERT_EQ(PadFileBackup::Copies(folder).size(), 1u);
    EXPECT_EQ(ReadFileBytes(PadFileBackup::Copies(folder)[0]), original) << "the state before the change";
    EXPECT_NE(card->PadBytes(), original);
    EXPECT_NE(ReadFileText(folder / "card.txt").find(card->root.string()), std::string::npos);

    EXPECT_TRUE(messages(run->commands.DeletePad(1, false)));
    run->store.SelectBank(3);
    EXPECT_TRUE(messages(run->commands.DeletePad(1, false)));
    EXPECT_EQ(PadFileBackup::Copies(folder).size(), 1u);
    // Opened again in the same run, it is still the same run.
    ASSERT_TRUE(messages(run->store.Open(card->folder, card->padFile)));
    run->store.SelectBank(0);
    run->store.SelectNumber(0);
    EXPECT_TRUE(messages(run->commands.DeletePad(2, false)));
    EXPECT_EQ(PadFileBackup::Copies(folder).size(), 1u);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(PadBackup, EachRunKeepsOneAndTheTwentyFirstDropsTheOldest) {
    std::vector<std::vector<std::uint8_t>> before;
    fs::path folder;
    for (int run = 0; run < 21; ++run) {
        before.push_back(card->PadBytes());
        auto one = Run(backups);
        folder = one->store.CardBackupFolder();
        // Each run changes the card, so every copy differs from the one before.
        one->store.SelectNumber(run / 12 + 1);
        EXPECT_TRUE(messages(one->commands.DeletePad(run % 12, false)));
        one->store.SelectNumber(0);
        EXPECT_TRUE(messages(one->commands.DeletePad(run % 12, run % 2 == 0)));
        ASSERT_EQ(PadFileBackup::Copies(folder).size(), std::min(run + 1, 20)) << "run " << run;
    }
    const auto copies = PadFileBackup::Copies(folder);
    ASSERT_EQ(copies.size(), 20u);
    for (std::size_t i = 0; i < copies.size(); ++i) {
        EXPECT_EQ(ReadFileBytes(copies[i]), before[i + 1]) << "copy " << i << " is run " << i + 1;
    }
    for (const auto& copy : copies) {
        EXPECT_EQ(copy.filename().string().rfind("K72_PAD-", 0), 0u);
        EXPECT_EQ(copy.extension(), ".SYS");
    }
}

TEST_F(PadBackup, CardsAreToldApartAndNothingIsKeptWithoutABackupFolder) {
    TempDir other;
    TestCard second(other.Path(), original);
    const std::string a = PadFileBackup::CardFolderName(card->root);
    const std::string b = PadFileBackup::CardFolderName(second.root);
    EXPECT_NE(a, b) << "two cards whose roots have the same name";
    EXPECT_EQ(a, PadFileBackup::CardFolderName(card->root / "." / ""));
    EXPECT_EQ(PadFileBackup::CardRoot(card->folder), card->root);
    EXPECT_EQ(PadFileBackup::CardFolderName("/media/user/K 72/").rfind("K_72-", 0), 0u);

    auto run = Run({});
    EXPECT_TRUE(run->store.CardBackupFolder().empty());
    EXPECT_TRUE(messages(run->commands.DeletePad(0, false)));
    EXPECT_FALSE(fs::exists(dir / "data"));
}

TEST_F(PadBackup, ACopyThatCannotBeMadeIsLoggedAndTheChangeGoesAhead) {
    std::mutex mutex;
    std::string log;
    const DebugSink previous = SetDebugSink([&](std::string_view text) {
        std::lock_guard lock(mutex);
        log.append(text);
    });
    // The backup folder's place is taken by a file.
    WriteFileBytes(dir / "blocked", {1});
    auto run = Run(dir / "blocked");
    EXPECT_TRUE(messages(run->commands.DeletePad(0, false)));
    SetDebugSink(previous);

    EXPECT_EQ(GetLE32(card->PadBytes(), RecordAt(0, 0, 0)), 0u) << "the change was saved";
    EXPECT_NE(log.find("pad file backup:"), std::string::npos) << log;
    EXPECT_TRUE(messages.shown.empty());
}

} // namespace
} // namespace k72
