// The store's commands that change the card without converting: sound files, deleting, exporting and
// reordering pictures.
#include "store/PadCommands.h"

#include "store/ShortName.h"
#include "store/StoreMessages.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace k72 {
namespace {

using namespace k72test;

// Bank A, number 1: pad 0 a movie K72_0001.AVI with SOUND.WAV, pad 1 a still pad with three pictures
// and SOUND2.WAV, pad 2 empty. All files are on the card.
class CardCommands : public OpenCardTest {
protected:
    void SetUp() override {
        auto bytes = std::vector<std::uint8_t>(kPadFileBytes, 0);
        PutMoviePad(bytes, RecordAt(0, 0, 0), "K72_0001.AVI", "SOUND.WAV");
        PutStillPad(bytes, RecordAt(0, 0, 1), {"K72_0002.JPG", "K72_0003.JPG", "K72_0004.JPG"}, "SOUND2.WAV");
        Customise(bytes);
        ASSERT_NO_FATAL_FAILURE(OpenCard(bytes, {"K72_0001.AVI", "SOUND.WAV", "K72_0002.JPG", "K72_0003.JPG",
                                                 "K72_0004.JPG", "SOUND2.WAV"}));
        ASSERT_TRUE(store.SelectionValid());
    }
    virtual void Customise(std::vector<std::uint8_t>&) {}

    // The card folder's names; the undo history's own file and folder left out.
    std::vector<std::string> CardFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(card->folder)) {
            const std::string name = entry.path().filename().string();
            if (!IsUndoHistory(name)) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    RecordingCopy copy;
    PadCommands commands{store, &copy};
};

TEST(ShortName, FormedAsFatFormsThem) {
    EXPECT_EQ(ExactShortName("sound.wav"), "SOUND.WAV");
    EXPECT_EQ(ExactShortName("Kick_01.WAV"), "KICK_01.WAV");
    EXPECT_EQ(ExactShortName("README"), "README");
    for (const char* lossy : {"Long Sound Name.wav", "a b.wav", "ninechars.wav", "x.wave", "a.b.wav",
                              "x+y.wav", ".wav", "caf\xc3\xa9.wav"}) {
        EXPECT_FALSE(ExactShortName(lossy)) << lossy;
    }
    EXPECT_EQ(TailedShortName("Long Sound Name.wav", 1), "LONGSO~1.WAV");
    EXPECT_EQ(TailedShortName("Long Sound Other.wav", 2), "LONGSO~2.WAV");
    EXPECT_EQ(TailedShortName("Long Sound Name.wav", 10), "LONGS~10.WAV");
    EXPECT_EQ(TailedShortName("a b.wav", 1), "AB~1.WAV");
    EXPECT_EQ(TailedShortName("my.song.take2.wave", 1), "MYSONG~1.WAV");
    EXPECT_EQ(TailedShortName("x+y.wav", 1), "X_Y~1.WAV");
    EXPECT_EQ(TailedShortName(".wav", 1), "WAV~1");
}

TEST_F(CardCommands, SetAudioStoresARealShortNameOfTheCopy) {
    // Two long names sharing their first six letters, and the first one again.
    MakeWav(dir / "Long Sound Name.wav", 2, 44100, 16, 441, 1);
    MakeWav(dir / "Long Sound Other.wav", 2, 44100, 16, 441, 2);
    ASSERT_TRUE(
        messages(commands.AttachSound(0, dir / "Long Sound Name.wav", nullptr, "Long Sound Name.wav")));
    ASSERT_TRUE(
        messages(commands.AttachSound(1, dir / "Long Sound Other.wav", nullptr, "Long Sound Other.wav")));
    EXPECT_EQ(NameText(store.Entry(0)->movie->audioFileName), "LONGSO~1.WAV");
    EXPECT_EQ(NameText(store.Entry(1)->stills->audioFileName), "LONGSO~2.WAV");
    EXPECT_EQ(ReadFileBytes(card->folder / "LONGSO~1.WAV"), ReadFileBytes(dir / "Long Sound Name.wav"));
    EXPECT_EQ(ReadFileBytes(card->folder / "LONGSO~2.WAV"), ReadFileBytes(dir / "Long Sound Other.wav"));
    const auto bytes = card->PadBytes();
    EXPECT_EQ(GetName(bytes, RecordAt(0, 0, 0) + 36), "LONGSO~1.WAV");
    EXPECT_EQ(GetName(bytes, RecordAt(0, 0, 1) + 1312), "LONGSO~2.WAV");

    // The same sound again is found under its name rather than copied once more.
    const std::size_t copies = copy.calls.size();
    ASSERT_TRUE(
        messages(commands.AttachSound(1, dir / "Long Sound Name.wav", nullptr, "Long Sound Name.wav")));
    EXPECT_EQ(NameText(store.Entry(1)->stills->audioFileName), "LONGSO~1.WAV");
    EXPECT_EQ(copy.calls.size(), copies);

    // A name that is an 8.3 name already keeps it, in upper case.
    MakeWav(dir / "kick.wav");
    ASSERT_TRUE(messages(commands.AttachSound(0, dir / "kick.wav", nullptr, "kick.wav")));
    EXPECT_EQ(NameText(store.Entry(0)->movie->audioFileName), "KICK.WAV");
    EXPECT_TRUE(std::filesystem::exists(card->folder / "KICK.WAV"));
    const auto files = CardFiles();
    EXPECT_EQ(std::count(files.begin(), files.end(), "SOUND.WAV"), 1) << "the old sound stays";
}

// A sound that no pad names any more, after it was replaced or taken off: deleted when the user agrees,
// kept and mentioned when the face does not ask, never deleted while another pad names it.
TEST_F(CardCommands, ASoundNoPadNamesAnyMoreIsDeletedOnlyWhenAskedAndOtherwiseMentioned) {
    const auto exists = [this](const char* name) { return std::filesystem::exists(card->folder / name); };
    RecordingQuestions questions;
    MakeWav(dir / "kick.wav", 2, 44100, 16, 441, 1);
    MakeWav(dir / "snare.wav", 2, 44100, 16, 441, 2);
    MakeWav(dir / "hat.wav", 2, 44100, 16, 441, 3);

    // Not asked: SOUND.WAV stays and the result says so.
    const StoreResult kept = commands.AttachSound(0, dir / "kick.wav", &questions);
    ASSERT_TRUE(kept) << kept.text;
    EXPECT_TRUE(exists("SOUND.WAV"));
    EXPECT_NE(kept.text.find("SOUND.WAV"), std::string::npos) << kept.text;
    EXPECT_NE(kept.text.find("UNUSED"), std::string::npos) << kept.text;

    // Asked and agreed: KICK.WAV goes, and nothing more is said.
    questions.deleteFreedSound = true;
    const StoreResult deleted = commands.AttachSound(0, dir / "snare.wav", &questions);
    ASSERT_TRUE(deleted) << deleted.text;
    EXPECT_FALSE(exists("KICK.WAV"));
    EXPECT_EQ(deleted.change.removed, std::vector<std::string>{"KICK.WAV"});
    EXPECT_EQ(deleted.text, "");
    EXPECT_EQ(questions.asked.back(), "delete freed sound KICK.WAV of pad 0");

    // A sound another pad names is neither asked about nor deleted.
    ASSERT_TRUE(commands.AttachSound(1, dir / "snare.wav", &questions));
    const std::size_t asked = questions.asked.size();
    ASSERT_TRUE(commands.AttachSound(1, dir / "hat.wav", &questions));
    EXPECT_TRUE(exists("SNARE.WAV"));
    EXPECT_EQ(questions.asked.size(), asked);

    // Taken off: the record no longer names it; the file goes only when asked for.
    ASSERT_TRUE(messages(commands.RemoveSound(0)));
    EXPECT_TRUE(IsEmptyName(store.Entry(0)->movie->audioFileName));
    EXPECT_EQ(GetName(card->PadBytes(), RecordAt(0, 0, 0) + 36), "");
    EXPECT_TRUE(exists("SNARE.WAV"));
    ASSERT_TRUE(messages(commands.RemoveSound(1, true)));
    EXPECT_TRUE(IsEmptyName(store.Entry(1)->stills->audioFileName));
    EXPECT_FALSE(exists("HAT.WAV"));
    EXPECT_EQ(store.Entry(1)->stills->stillCount, 3u) << "the pictures stay";
    const auto bytes = card->PadBytes();
    for (const int pad : {0, 2, 12}) {
        EXPECT_FALSE(messages(commands.RemoveSound(pad))) << "pad " << pad << " has no sound";
    }
    EXPECT_EQ(card->PadBytes(), bytes);
}

// Needs a folder on a FAT volume (this machine may have none): K72_TEST_FAT_FOLDER=/media/card/test.
TEST(SetAudioOnFat, StoresTheShortNameTheFileSystemGaveTheCopy) {
    const char* fatFolder = std::getenv("K72_TEST_FAT_FOLDER");
    if (fatFolder == nullptr) {
        GTEST_SKIP() << "K72_TEST_FAT_FOLDER names no folder on a FAT volume";
    }
    const auto base = std::filesystem::path(fatFolder) / "k72-short-name-test";
    std::filesystem::remove_all(base);
    ASSERT_TRUE(FolderKeepsShortNames(fatFolder));
    auto bytes = std::vector<std::uint8_t>(kPadFileBytes, 0);
    PutLE32(bytes, RecordAt(0, 0, 0), 1);
    PutName(bytes, RecordAt(0, 0, 0) + 8, "K72_0001.AVI");
    {
        TestCard card(base, bytes);
        TempDir dir;
        MakeWav(dir / "Long Sound Name.wav");
        CPadBankStore store;
        PadCommands commands(store);
        RecordingMessages messages;
        ASSERT_NO_FATAL_FAILURE(OpenCardAtA1(store, card));
        ASSERT_TRUE(
            messages(commands.AttachSound(0, dir / "Long Sound Name.wav", nullptr, "Long Sound Name.wav")));
        EXPECT_TRUE(std::filesystem::exists(card.folder / "Long Sound Name.wav")) << "the long name stays";
        EXPECT_EQ(NameText(store.Entry(0)->movie->audioFileName), "LONGSO~1.WAV");
        EXPECT_TRUE(std::filesystem::exists(card.folder / "LONGSO~1.WAV"))
            << "FAT finds it by its short name";
    }
    std::filesystem::remove_all(base);
}

TEST_F(CardCommands, SetAudioRefusesWhatItCannotRecord) {
    const auto before = card->PadBytes();
    const auto files = CardFiles();
    MakeWav(dir / "mono.wav", 1);
    MakeWav(dir / "good.wav");
    const StoreResult mono = messages(commands.AttachSound(0, dir / "mono.wav", nullptr, "mono.wav"));
    EXPECT_EQ(mono.failure, StoreFailure::SoundNotAccepted) << "the device plays stereo only";
    EXPECT_EQ(mono.code, rc::PcmBadChannels);
    EXPECT_EQ(messages(commands.AttachSound(0, dir / "missing.wav", nullptr, "missing.wav")).failure,
              StoreFailure::SourceUnusable);
    EXPECT_EQ(messages(commands.AttachSound(2, dir / "good.wav", nullptr, "good.wav")).failure,
              StoreFailure::WrongKind)
        << "an empty pad has no sound";
    EXPECT_EQ(messages(commands.AttachSound(12, dir / "good.wav", nullptr, "good.wav")).failure,
              StoreFailure::NoPad);
    EXPECT_EQ(messages(commands.AttachSound(0, dir / "good.wav", nullptr, "../good.wav")).failure,
              StoreFailure::BadName);
    EXPECT_EQ(messages(commands.AttachSound(0, dir / "good.wav", nullptr, "k72_pad.sys")).failure,
              StoreFailure::BadName)
        << "never over the pad file";
    copy.fail = true;
    EXPECT_EQ(messages(commands.AttachSound(0, dir / "good.wav", nullptr, "good.wav")).failure,
              StoreFailure::CopyFailed)
        << "a failed copy records nothing";
    EXPECT_EQ(card->PadBytes(), before);
    EXPECT_EQ(CardFiles(), files);
    // A declined conversion and a failed copy (its window has spoken) say nothing more.
    EXPECT_EQ(messages.shown, (std::vector<std::string>{
                                  k72::messages::kLoadFailed,
                                  "A sound can only be attached to a pad that holds a movie or pictures.",
                                  k72::messages::kLoadFailed, k72::messages::kLoadFailed}));
}

TEST_F(CardCommands, DeletePadWithAndWithoutItsFiles) {
    const StoreResult kept = commands.DeletePad(0, false);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept.change.before->Kind(), PadKindMovie) << "the result holds the pad as it was";
    EXPECT_TRUE(kept.change.removed.empty());
    EXPECT_EQ(store.PadKindOf(0), PadKindEmpty);
    EXPECT_EQ(GetLE32(card->PadBytes(), RecordAt(0, 0, 0)), 0u);
    EXPECT_TRUE(std::filesystem::exists(card->folder / "K72_0001.AVI"));

    const StoreResult gone = commands.DeletePad(1, true);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone.change.removed,
              (std::vector<std::string>{"K72_0002.JPG", "K72_0003.JPG", "K72_0004.JPG", "SOUND2.WAV"}));
    EXPECT_EQ(store.PadKindOf(1), PadKindEmpty);
    const auto bytes = card->PadBytes();
    EXPECT_EQ(GetLE32(bytes, RecordAt(0, 0, 1)), 0u);
    EXPECT_EQ(GetLE32(bytes, RecordAt(0, 0, 1) + 4), 0u);
    EXPECT_EQ(CardFiles(), (std::vector<std::string>{"K72_0001.AVI", "K72_PAD.SYS", "SOUND.WAV"}));
}

TEST_F(CardCommands, DeleteMoviePadRemovesMovieAndSound) {
    EXPECT_TRUE(commands.DeletePad(0, true));
    EXPECT_EQ(CardFiles(), (std::vector<std::string>{"K72_0002.JPG", "K72_0003.JPG", "K72_0004.JPG",
                                                     "K72_PAD.SYS", "SOUND2.WAV"}));
    EXPECT_TRUE(commands.DeletePad(2, true)); // empty pad: nothing to delete
    EXPECT_EQ(store.LastFileNumber(), 4u) << "the numbering is looked at again";
}

// A hostile pad file: names that point out of the card folder, or at the pad file itself.
class HostileNames : public CardCommands {
    void Customise(std::vector<std::uint8_t>& bytes) override {
        PutName(bytes, RecordAt(0, 0, 0) + 8, "../OUT.AVI");
        PutName(bytes, RecordAt(0, 0, 0) + 36, "K72_PAD.SYS");
        PutName(bytes, RecordAt(0, 0, 1) + 21, "/etc/hosts");
    }
};

TEST_F(HostileNames, NeverDeleteOrExportOutsideTheCardFolder) {
    WriteFileBytes(card->folder.parent_path() / "OUT.AVI", {1});
    const auto exportFolder = dir / "export";
    std::filesystem::create_directory(exportFolder);
    EXPECT_TRUE(commands.ExportPad(0, exportFolder)) << "only the names of the card folder are followed";
    ASSERT_TRUE(messages(commands.ExportPad(1, exportFolder)));
    for (const auto& call : copy.calls) {
        for (const auto& item : call) {
            EXPECT_EQ(item.source.parent_path(), card->folder) << item.source;
            EXPECT_EQ(item.destination.parent_path(), exportFolder) << item.destination;
        }
    }
    ASSERT_FALSE(copy.calls.empty());
    ASSERT_EQ(copy.calls.back().size(), 1u) << "the sound";
    ASSERT_EQ(copy.calls[copy.calls.size() - 2].size(), 2u) << "the two pictures on the card";
    EXPECT_FALSE(std::filesystem::exists(exportFolder / "OUT.AVI"));

    EXPECT_TRUE(commands.DeletePad(0, true));
    EXPECT_TRUE(commands.DeletePad(1, true));
    EXPECT_TRUE(std::filesystem::exists(card->folder.parent_path() / "OUT.AVI"));
    EXPECT_TRUE(std::filesystem::exists("/etc/hosts"));
    ASSERT_TRUE(std::filesystem::exists(card->padFile));
    EXPECT_EQ(std::filesystem::file_size(card->padFile), kPadFileBytes);
    EXPECT_FALSE(std::filesystem::exists(card->folder / "K72_0002.JPG"));
}

TEST_F(CardCommands, ExportCopiesThePadsFilesUnderTheirNames) {
    const auto folder = dir / "Export";
    std::filesystem::create_directory(folder);
    ASSERT_TRUE(messages(commands.ExportPad(0, folder)));
    ASSERT_EQ(copy.calls.size(), 2u);
    EXPECT_EQ(copy.calls[0][0].source, card->folder / "K72_0001.AVI");
    EXPECT_EQ(copy.calls[0][0].destination, folder / "K72_0001.AVI");
    EXPECT_EQ(copy.calls[1][0].destination, folder / "SOUND.WAV");

    // One copy of the three pictures, then the sound.
    ASSERT_TRUE(messages(commands.ExportPad(1, dir / "Export")));
    ASSERT_EQ(copy.calls.size(), 4u);
    ASSERT_EQ(copy.calls[2].size(), 3u);
    for (int i = 0; i < 3; ++i) {
        const std::string name = "K72_000" + std::to_string(i + 2) + ".JPG";
        EXPECT_EQ(copy.calls[2][static_cast<std::size_t>(i)].source, card->folder / name);
        EXPECT_EQ(copy.calls[2][static_cast<std::size_t>(i)].destination, folder / name);
        EXPECT_EQ(ReadFileText(folder / name), name);
    }
    EXPECT_EQ(copy.calls[3][0].destination, folder / "SOUND2.WAV");

    EXPECT_FALSE(messages(commands.ExportPad(1, folder))) << "not a movie pad";
    EXPECT_FALSE(messages(commands.ExportPad(2, folder)));
}

TEST_F(CardCommands, ExportSkipsMissingFilesAndReportsFailedCopies) {
    std::filesystem::remove(card->folder / "K72_0002.JPG");
    std::filesystem::remove(card->folder / "SOUND2.WAV");
    const auto folder = dir / "out";
    std::filesystem::create_directory(folder);
    ASSERT_TRUE(messages(commands.ExportPad(1, folder)));
    ASSERT_EQ(copy.calls.size(), 1u);
    EXPECT_EQ(copy.calls[0].size(), 2u) << "the pictures still there are exported";

    // The movie copy fails (declined overwrite): the export fails even though the sound copy works.
    WriteFileBytes(folder / "K72_0001.AVI", {9});
    EXPECT_FALSE(messages(commands.ExportPad(0, folder)));
    EXPECT_EQ(ReadFileBytes(folder / "K72_0001.AVI"), std::vector<std::uint8_t>{9});
    EXPECT_TRUE(std::filesystem::exists(folder / "SOUND.WAV"));
}

TEST_F(CardCommands, RemovingAndSwappingPicturesKeepTheListDense) {
    ASSERT_TRUE(messages(commands.RemovePicture(1, 0)));
    auto stills = store.Entry(1)->stills;
    EXPECT_EQ(stills->stillCount, 2u);
    EXPECT_EQ(NameText(stills->stillNames[0]), "K72_0003.JPG");
    EXPECT_EQ(NameText(stills->stillNames[1]), "K72_0004.JPG");
    EXPECT_TRUE(IsEmptyName(stills->stillNames[2]));
    auto bytes = card->PadBytes();
    EXPECT_EQ(GetLE32(bytes, RecordAt(0, 0, 1) + 1308), 2u);
    EXPECT_EQ(GetName(bytes, RecordAt(0, 0, 1) + 8), "K72_0003.JPG");
    EXPECT_TRUE(std::filesystem::exists(card->folder / "K72_0002.JPG")) << "the file stays on the card";

    ASSERT_TRUE(messages(commands.SwapPictures(1, 0, 1)));
    bytes = card->PadBytes();
    EXPECT_EQ(GetName(bytes, RecordAt(0, 0, 1) + 8), "K72_0004.JPG");
    EXPECT_EQ(GetName(bytes, RecordAt(0, 0, 1) + 21), "K72_0003.JPG");

    // Positions outside the list change nothing.
    EXPECT_FALSE(messages(commands.SwapPictures(1, 0, 2)));
    EXPECT_FALSE(messages(commands.SwapPictures(1, -1, 0)));
    EXPECT_FALSE(messages(commands.SwapPictures(1, 0, 100)));
    EXPECT_FALSE(messages(commands.RemovePicture(1, 2)));
    EXPECT_FALSE(messages(commands.RemovePicture(1, -1)));
    EXPECT_FALSE(messages(commands.RemovePicture(0, 0))) << "a movie pad has no list";
    EXPECT_FALSE(messages(commands.SwapPictures(0, 0, 0)));
    EXPECT_EQ(card->PadBytes(), bytes);

    ASSERT_TRUE(messages(commands.RemovePicture(1, 1)));
    ASSERT_TRUE(messages(commands.RemovePicture(1, 0)));
    EXPECT_EQ(store.PadKindOf(1), PadKindEmpty) << "an emptied list leaves an empty pad";
    EXPECT_FALSE(messages(commands.RemovePicture(1, 0)));
}

TEST_F(CardCommands, CommandsNeedASelectionAndALoadedBank) {
    MakeWav(dir / "good.wav");
    const auto before = card->PadBytes();
    store.SelectBank(1); // the commands act on the selected bank, here an empty one
    store.SelectNumber(0);
    EXPECT_FALSE(messages(commands.ExportPad(0, dir.Path())));
    EXPECT_FALSE(messages(commands.RemovePicture(1, 0)));
    store.Close();
    EXPECT_FALSE(messages(commands.AttachSound(0, dir / "good.wav", nullptr, "good.wav")));
    EXPECT_FALSE(messages(commands.SwapPictures(1, 0, 1)));
    EXPECT_FALSE(messages(commands.DeletePad(0, true)));
    EXPECT_EQ(card->PadBytes(), before);
    EXPECT_TRUE(std::filesystem::exists(card->folder / "K72_0001.AVI"));
}

} // namespace
} // namespace k72
