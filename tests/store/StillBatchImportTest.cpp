// Several pictures added at once: the same card files and pad record as adding them one by one, one
// save, and a cancelled or failed batch that leaves pad file, numbering and card as they were.
#include "store/PadCommands.h"

#include "store/StoreMessages.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"
#include "tests/support/StillTestPictures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

// The card's files with their bytes, in name order.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> Contents(const fs::path& folder) {
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.emplace_back(entry.path().filename().string(), ReadFileBytes(entry.path()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct OpenCard {
    OpenCard(const fs::path& base, const fs::path& temporary) : card(base, StillPadCardBytes(47)) {
        card.AddDeviceFile("K72_0001.JPG");
        card.AddFile("K72_0002.JPG");
        card.AddFile("K72_0012.AVI");
        store.SetTemporaryFolder(temporary);
        Settings settings;
        settings.fit = FitMode::Crop;
        commands.SetSettings(settings);
        EXPECT_TRUE(store.Open(card.folder, card.padFile));
        store.SelectBank(0);
        store.SelectNumber(0);
    }
    // Pictures onto the pad, added to a still image pad: the new picture count, or -1.
    int Add(const std::vector<fs::path>& sources, int pad, const StillBatchProgress& progress = {}) {
        const StoreResult added =
            messages(commands.Import({pad, PadKindStill, sources, true}, nullptr, progress));
        failed = added.source;
        return added ? static_cast<int>(store.Entry(pad)->stills->stillCount) : -1;
    }
    TestCard card;
    RecordingMessages messages;
    RecordingCopy copy;
    CPadBankStore store;
    PadCommands commands{store, &copy};
    std::optional<std::size_t> failed; // the source the last Add failed on
};

class StillBatchImport : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temporary);
        for (int i = 0; i < 5; ++i) {
            const RgbPicture picture = MakePicture(90 + 70 * i, 60 + 40 * (i % 3), [i](int x, int y) {
                return Rgb{static_cast<std::uint8_t>((x * 3 + i * 40) & 255),
                           static_cast<std::uint8_t>((y * 2) & 255),
                           static_cast<std::uint8_t>((x + y) & 255)};
            });
            const fs::path path = dir / ("p" + std::to_string(i) + (i % 2 == 0 ? ".jpg" : ".png"));
            if (i % 2 == 0) {
                WriteJpeg(path, picture, JpegKind::Baseline);
            } else {
                WriteRgbPng(path, picture);
            }
            pictures.push_back(path);
        }
    }

    TempDir dir;
    fs::path temporary = dir / "tmp";
    std::vector<fs::path> pictures;
};

TEST_F(StillBatchImport, BatchLeavesTheCardAsOneByOneAdditionsDo) {
    OpenCard single(dir / "single", temporary);
    OpenCard batch(dir / "batch", temporary);
    // Onto the still pad, with a picture already on the card in the middle of the list.
    std::vector<fs::path> list = pictures;
    list.insert(list.begin() + 2, single.card.folder / "K72_0001.JPG");
    for (const auto& picture : list) {
        ASSERT_GT(single.Add({picture}, 5), 0) << picture;
    }
    std::vector<fs::path> batchList = pictures;
    batchList.insert(batchList.begin() + 2, batch.card.folder / "K72_0001.JPG");
    std::size_t calls = 0;
    EXPECT_EQ(batch.Add(batchList, 5,
                        [&](std::size_t, std::size_t total) {
                            ++calls;
                            EXPECT_EQ(total, pictures.size());
                            return true;
                        }),
              8);
    EXPECT_GE(calls, 1u);

    // Onto an empty pad: the first picture makes it a still pad.
    ASSERT_TRUE(single.commands.Import({0, PadKindStill, {pictures[3]}}));
    ASSERT_EQ(single.Add({pictures[1]}, 0), 2);
    EXPECT_EQ(batch.Add({pictures[3], pictures[1]}, 0), 2);

    EXPECT_EQ(batch.card.PadBytes(), single.card.PadBytes());
    EXPECT_EQ(Contents(batch.card.folder), Contents(single.card.folder));
    EXPECT_EQ(batch.store.LastFileNumber(), single.store.LastFileNumber());
    EXPECT_TRUE(batch.messages.shown.empty());
    EXPECT_TRUE(fs::is_empty(temporary));
}

TEST_F(StillBatchImport, CancelledOrFailedBatchLeavesTheCardAsItWas) {
    OpenCard open(dir / "card", temporary);
    const auto padBytes = open.card.PadBytes();
    const auto contents = Contents(open.card.folder);

    EXPECT_EQ(open.Add(pictures, 5, [](std::size_t, std::size_t) { return false; }), -1);
    EXPECT_TRUE(open.messages.shown.empty()) << "a cancel is no failure to tell";
    EXPECT_FALSE(open.failed.has_value());

    WriteFileBytes(dir / "broken.png", std::vector<std::uint8_t>(64, 0x55));
    std::vector<fs::path> broken = pictures;
    broken.insert(broken.begin() + 3, dir / "broken.png");
    const StoreResult failed = open.commands.Import({0, PadKindStill, broken, true});
    EXPECT_EQ(failed.failure, StoreFailure::ConversionFailed);
    // The failing picture's cause follows the program's message.
    EXPECT_EQ(failed.text,
              std::string(messages::kLoadFailed) + "\nThis is not a picture: it is a text file.");
    EXPECT_TRUE(Failed(failed.code)) << "the converter's code comes with it";
    EXPECT_EQ(failed.source, std::optional<std::size_t>(3));

    // More than the pad has room for is refused before anything is converted.
    EXPECT_EQ(open.Add(std::vector<fs::path>(99, pictures[0]), 5), -1);
    EXPECT_EQ(open.messages.shown, std::vector<std::string>{messages::kStillLimit});

    // A copy onto the card that fails.
    open.copy.fail = true;
    EXPECT_EQ(open.Add(pictures, 5), -1);
    open.copy.fail = false;

    EXPECT_EQ(open.card.PadBytes(), padBytes);
    EXPECT_EQ(Contents(open.card.folder), contents);
    EXPECT_EQ(open.store.LastFileNumber(), 12u);
    const auto& stills = open.store.Entry(5)->stills;
    ASSERT_TRUE(stills.has_value());
    EXPECT_EQ(stills->stillCount, 2u);
    EXPECT_EQ(open.store.PadKindOf(0), PadKindEmpty);
    EXPECT_TRUE(fs::is_empty(temporary));

    // And the store still adds a batch afterwards, under the next numbers.
    EXPECT_EQ(open.Add({pictures[0], pictures[1]}, 5), 4);
    EXPECT_TRUE(fs::exists(open.card.folder / "K72_0013.JPG"));
    EXPECT_TRUE(fs::exists(open.card.folder / "K72_0014.JPG"));
}

} // namespace
} // namespace k72
