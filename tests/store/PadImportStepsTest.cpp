// An import in its three steps as a queue runs them: several prepared at once never share a file
// number, a commit appends to the pad as it is by then, one that is dropped gives its numbers back; and
// what each command's result says it changed. Also a sound the device cannot play, converted when the
// question says yes.
#include "store/PadCommands.h"

#include "engine/PcmFileCheck.h"
#include "store/CardLayout.h"
#include "store/StoreMessages.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"
#include "tests/support/StillTestPictures.h"

#include <gtest/gtest.h>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

// A-1-6 a still image pad with the picture K72_0001.JPG, B-1-1 the movie K72_0002.AVI.
std::vector<std::uint8_t> StillAndMoviePads() {
    auto bytes = std::vector<std::uint8_t>(kPadFileBytes, 0);
    PutStillPad(bytes, RecordAt(0, 0, 5), {"K72_0001.JPG"});
    PutMoviePad(bytes, RecordAt(1, 0, 0), "K72_0002.AVI");
    return bytes;
}

class PadImportSteps : public OpenCardTest {
protected:
    void SetUp() override {
        WriteRgbPng(dir / "a.png", SmoothPicture(40, 30));
        WriteRgbPng(dir / "b.png", SmoothPicture(30, 40));
        ASSERT_NO_FATAL_FAILURE(OpenCard(StillAndMoviePads(), {"K72_0001.JPG", "K72_0002.AVI"}));
    }

    StoreOutcome<PreparedImport> Prepare(int pad, const fs::path& source, bool add = true) {
        return importer.Prepare({pad, PadKindStill, {source}, add}, nullptr);
    }
    StoreResult ConvertAndCommit(StoreOutcome<PreparedImport> prepared) {
        const auto converted = PadImport::Convert(prepared.value, nullptr);
        EXPECT_TRUE(converted) << converted.text;
        return importer.Commit(std::move(prepared.value), converted.value);
    }
    std::vector<std::string> Pictures(int pad) const {
        std::vector<std::string> names;
        const PadEntry* entry = store.Entry(pad);
        for (std::size_t i = 0; entry != nullptr && entry->stills && i < entry->stills->UsableCount(); ++i) {
            names.push_back(NameText(entry->stills->stillNames[i]));
        }
        return names;
    }

    PadCommands commands{store};
    PadImport importer = commands.Importer();
};

TEST_F(PadImportSteps, ImportsPreparedTogetherNeverShareANumberAndCommitOntoThePadAsItIsThen) {
    auto first = Prepare(5, dir / "a.png");
    auto second = Prepare(5, dir / "b.png");
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(first.value.items[0].name, "K72_0003.JPG");
    EXPECT_EQ(second.value.items[0].name, "K72_0004.JPG");
    EXPECT_EQ(store.NewFileNumber(), 5u) << "both numbers are set aside";
    EXPECT_EQ(store.LastFileNumber(), 2u) << "and not yet taken into the numbering";

    // The second finishes first; the first then joins the list as the second left it.
    const StoreResult late = ConvertAndCommit(std::move(second));
    ASSERT_TRUE(late);
    const StoreResult early = ConvertAndCommit(std::move(first));
    ASSERT_TRUE(early);
    EXPECT_EQ(Pictures(5), (std::vector<std::string>{"K72_0001.JPG", "K72_0004.JPG", "K72_0003.JPG"}));
    EXPECT_EQ(store.LastFileNumber(), 4u);
    // Each result knows its change: the pad before and after, and the file it put onto the card.
    EXPECT_EQ(early.change.where, (PadLocation{0, 0, 5}));
    EXPECT_EQ(early.change.before->stills->stillCount, 2u);
    EXPECT_EQ(early.change.after->stills->stillCount, 3u);
    EXPECT_EQ(early.change.added, std::vector<std::string>{"K72_0003.JPG"});
    EXPECT_TRUE(TemporaryFolderEmpty()) << "each private folder went with its import";
}

TEST_F(PadImportSteps, ADroppedImportGivesItsNumbersBackAndACommitThatCannotBeMadeLeavesNothing) {
    {
        auto dropped = Prepare(5, dir / "a.png");
        ASSERT_TRUE(dropped);
        EXPECT_EQ(store.NewFileNumber(), 4u);
    }
    EXPECT_EQ(store.NewFileNumber(), 3u);

    // The pad stops being a still image pad while its pictures convert: nothing is recorded or left.
    auto prepared = Prepare(5, dir / "a.png");
    ASSERT_TRUE(prepared);
    const auto converted = PadImport::Convert(prepared.value, nullptr);
    ASSERT_TRUE(converted);
    ASSERT_TRUE(commands.DeletePad(5, false));
    const auto before = card->PadBytes();
    const StoreResult refused = importer.Commit(std::move(prepared.value), converted.value);
    EXPECT_EQ(refused.failure, StoreFailure::WrongKind);
    EXPECT_EQ(refused.text, "Pad A-1-6 no longer holds pictures to add to.");
    EXPECT_EQ(card->PadBytes(), before);
    EXPECT_FALSE(fs::exists(card->folder / "K72_0003.JPG"));
    EXPECT_EQ(store.NewFileNumber(), 3u);
}

TEST_F(PadImportSteps, APadOfAnotherBankIsWrittenWithoutChangingTheSelection) {
    MovieRecord movie = *store.EntryAt({1, 0, 0})->movie;
    movie.frameCount = 77;
    const StoreResult written = store.WritePad({1, 0, 0}, MoviePad(movie));
    ASSERT_TRUE(written);
    EXPECT_EQ(written.change.before->movie->frameCount, 0u);
    EXPECT_EQ(GetLE32(card->PadBytes(), RecordAt(1, 0, 0) + 32), 77u);
    EXPECT_EQ(store.Bank(), 0);
    EXPECT_EQ(Pictures(5), std::vector<std::string>{"K72_0001.JPG"}) << "the selected bank is in memory";
}

TEST_F(PadImportSteps, ASoundTheDeviceCannotPlayIsConvertedOnlyWhenTheAnswerIsYes) {
    MakeWav(dir / "mono.wav", 1);
    RecordingQuestions questions;
    const auto declined = commands.AttachSound(5, dir / "mono.wav", &questions);
    EXPECT_EQ(declined.failure, StoreFailure::SoundNotAccepted);
    EXPECT_EQ(declined.code, rc::PcmBadChannels);
    EXPECT_TRUE(declined.text.empty()) << "the user said no; there is nothing to tell";
    ASSERT_EQ(questions.asked.size(), 1u);
    EXPECT_EQ(questions.asked[0], "\"mono.wav\" cannot be used as it is: it is mono, not stereo.\n"
                                  "The K-72 plays only WAV files of 16-bit PCM, 44,100 Hz, stereo.\n\n"
                                  "Convert it into that form?");
    EXPECT_TRUE(IsEmptyName(store.Entry(5)->stills->audioFileName));

    questions.convertSound = true;
    const auto attached = commands.AttachSound(5, dir / "mono.wav", &questions);
    ASSERT_TRUE(attached) << attached.text;
    EXPECT_TRUE(attached.value.converted);
    EXPECT_EQ(attached.value.name, "MONO.WAV");
    EXPECT_EQ(attached.change.added, std::vector<std::string>{"MONO.WAV"});
    EXPECT_EQ(NameText(store.Entry(5)->stills->audioFileName), "MONO.WAV");
    EXPECT_EQ(CheckPcmWaveFile((card->folder / "MONO.WAV").string()), 0) << "the device plays the copy";
    EXPECT_TRUE(TemporaryFolderEmpty());
}

// A card taken out while its import converted: the conversion is kept for that card alone (another
// card at the same path is not it) and goes onto the pad when the card is back, under the numbers the
// card gives then.
TEST_F(PadImportSteps, AnImportWhoseCardIsTakenOutIsKeptForThatCardAlone) {
    const fs::path away = dir / "away";
    const auto pull = [&](std::size_t, std::size_t) {
        if (!fs::exists(away)) {
            fs::rename(card->root, away);
        }
        return true;
    };
    commands.KeepImportsOfAPulledCard(true);
    const StoreResult kept = commands.Import({2, PadKindStill, {dir / "a.png"}}, nullptr, pull);
    ASSERT_EQ(kept.failure, StoreFailure::NoCard) << kept.text;
    EXPECT_EQ(kept.text, "The card was taken out while a.png was converted. The conversion is kept: put the "
                         "same card back in to put it onto pad A-1-3.");
    ASSERT_NE(commands.Kept(), nullptr);
    EXPECT_FALSE(TemporaryFolderEmpty());

    const std::vector<std::uint8_t> otherBytes(kPadFileBytes, 0);
    const TestCard other(dir.Path(), otherBytes);
    store.Close();
    ASSERT_TRUE(store.OpenCardRoot(other.root));
    EXPECT_FALSE(commands.KeptImportFitsCard());
    EXPECT_EQ(commands.FinishKeptImport().failure, StoreFailure::NoCard);
    EXPECT_EQ(other.PadBytes(), otherBytes);

    store.Close();
    fs::remove_all(other.root);
    fs::rename(away, card->root);
    ASSERT_TRUE(store.OpenCardRoot(card->root));
    ASSERT_TRUE(commands.KeptImportFitsCard());
    const StoreResult finished = commands.FinishKeptImport();
    ASSERT_TRUE(finished) << finished.text;
    EXPECT_EQ(finished.change.where, (PadLocation{0, 0, 2}));
    EXPECT_EQ(Pictures(2), std::vector<std::string>{"K72_0003.JPG"});
    EXPECT_TRUE(fs::exists(card->folder / "K72_0003.JPG"));
    EXPECT_EQ(commands.Kept(), nullptr);
    EXPECT_TRUE(TemporaryFolderEmpty());
}

} // namespace
} // namespace k72
