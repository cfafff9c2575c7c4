// Import and added pictures, on the paths that need no real conversion: files already on the card, the
// end of the number sequence, the size limit of a converted file, failed copies, the 100-picture list.
#include "store/PadCommands.h"

#include "engine/CConversionManager.h"
#include "store/CardLayout.h"
#include "store/StoreMessages.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace k72 {
namespace {

using namespace k72test;

// Stands in for the progress window of a movie import: stops the real conversion, lets the test put
// whatever "converted" file it likes in its place, and reports the outcome it was given.
class ScriptedProgress : public IConversionProgress {
public:
    ConversionOutcome Run(CConversionManager& manager) override {
        ++runs;
        manager.CancelAll();
        while (manager.PendingJobs() != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (makeResult) {
            makeResult();
        }
        return outcome;
    }
    int runs = 0;
    ConversionOutcome outcome{ConversionEnd::Completed, false, 0};
    std::function<void()> makeResult;
};

class ImportCommands : public OpenCardTest {
protected:
    void SetUp() override {
        auto bytes = RandomBytes(kPadFileBytes, 5);
        EmptyNumber(bytes, 0, 0);                                // number 1 of bank A empty
        PutStillPad(bytes, RecordAt(0, 0, 5), {"K72_0001.JPG"}); // but pad 5: a still pad with one picture
        ASSERT_NO_FATAL_FAILURE(OpenCard(bytes, {"K72_0001.JPG", "K72_0012.AVI"}));
        card->AddDeviceFile("K72_0001.JPG"); // recorded where it lies
        ASSERT_EQ(store.LastFileNumber(), 12u);
    }

    StoreResult Import(const std::filesystem::path& source, int pad, PadKind kind) {
        return messages(commands.Import({pad, kind, {source}}));
    }
    // Adds a picture to the pad's list: the new count, or -1.
    int AddPicture(const std::filesystem::path& source, int pad) {
        const StoreResult added = messages(commands.Import({pad, PadKindStill, {source}, true}));
        return added ? static_cast<int>(store.Entry(pad)->stills->stillCount) : -1;
    }

    // The file the conversion would have written: the one file in the import's private folder.
    std::filesystem::path ConvertedPath(const std::string& name) const {
        for (const auto& entry : std::filesystem::directory_iterator(temporary)) {
            return entry.path() / name;
        }
        ADD_FAILURE() << "no temporary folder";
        return temporary / name;
    }

    RecordingCopy copy;
    ScriptedProgress progress;
    PadCommands commands{store, &copy, &progress};
};

TEST_F(ImportCommands, FilesOnTheCardAreRecordedInPlace) {
    // Files the device plays as they are: a movie whose main header says 300 frames, a picture.
    card->AddDeviceFile("K72_0005.AVI");
    card->AddDeviceFile("K72_0006.JPG");
    card->AddDeviceFile("K72_0001.JPG");

    ASSERT_TRUE(Import(card->folder / "K72_0005.AVI", 0, PadKindMovie));
    ASSERT_TRUE(Import(card->folder / "K72_0006.JPG", 1, PadKindStill));
    // Reached through another spelling of the card folder, it is still on the card.
    ASSERT_TRUE(Import(card->folder / ".." / "000KAVLO" / "K72_0001.JPG", 2, PadKindStill));

    EXPECT_EQ(store.LastFileNumber(), 12u);
    EXPECT_EQ(progress.runs, 0);
    EXPECT_TRUE(copy.calls.empty());
    const auto bytes = card->PadBytes();
    const std::size_t movie = RecordAt(0, 0, 0);
    EXPECT_EQ(GetName(bytes, movie + 8), "K72_0005.AVI");
    EXPECT_EQ(GetLE32(bytes, movie + 32), 300u);
    EXPECT_EQ(bytes[movie + 61], 4);
    EXPECT_EQ(bytes[movie + 64], 1);
    const std::size_t still = RecordAt(0, 0, 1);
    EXPECT_EQ(GetLE32(bytes, still + 4), 1u);
    EXPECT_EQ(GetName(bytes, still + 8), "K72_0006.JPG");
    EXPECT_EQ(GetLE32(bytes, still + 1308), 1u);
    EXPECT_EQ(bytes[still + 1340], 0) << "recorded, not converted";
    EXPECT_EQ(bytes[still + 1361], 4);
    EXPECT_EQ(GetName(bytes, RecordAt(0, 0, 2) + 8), "K72_0001.JPG");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(TemporaryFolderEmpty());
}

TEST_F(ImportCommands, FilesOnTheCardTheDeviceCannotPlayAsTheyAreAreConverted) {
    std::filesystem::create_directory(card->folder / "sub");
    card->AddDeviceFile("sub/K72_0007.AVI");
    card->AddFile("CLIP.AVI", "not an avi");
    card->AddFile("CLIP.MP4", "not a movie");
    card->AddFile("A long clip name.AVI", "x");
    WriteFileBytes(card->folder / "clip.avi", DeviceMovieBytes()); // the device finds no lower-case name
    WriteFileBytes(card->folder / "K72_0008.AVI", DevicePictureBytes());
    const auto before = card->PadBytes();
    // The user cancels each conversion: none of them is recorded as it lies (a movie of 0 frames, or
    // one the device could not find).
    progress.outcome = ConversionOutcome{ConversionEnd::NotCompleted, true, rc::Fail};
    int runs = 0;
    for (const char* name :
         {"sub/K72_0007.AVI", "CLIP.AVI", "CLIP.MP4", "A long clip name.AVI", "clip.avi", "K72_0008.AVI"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(Import(card->folder / name, 0, PadKindMovie));
        EXPECT_EQ(progress.runs, ++runs) << "converted like any other file";
    }
    // Pictures: converted for real, which these cannot be; the import says so and records nothing.
    for (const char* name : {"photo.jpg", "my pic.jpg", "K72_0009.JPG"}) {
        SCOPED_TRACE(name);
        card->AddFile(name, "not a picture");
        messages.shown.clear();
        EXPECT_FALSE(Import(card->folder / name, 1, PadKindStill));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].rfind(messages::kLoadFailed, 0), 0u) << messages.shown[0];
    }
    EXPECT_EQ(card->PadBytes(), before);
    EXPECT_TRUE(TemporaryFolderEmpty());
}

TEST_F(ImportCommands, ConvertedFileAtTheSizeLimitIsRefused) {
    const std::string source = (dir / "clip.mp4").string();
    WriteFileBytes(source, {0});
    const auto before = card->PadBytes();
    std::filesystem::path converted;
    progress.makeResult = [&] {
        converted = ConvertedPath("K72_0013.AVI");
        WriteFileBytes(converted, {});
        std::filesystem::resize_file(converted, 2097152000ull);
    };
    EXPECT_FALSE(Import(source, 0, PadKindMovie));
    EXPECT_EQ(messages.shown, std::vector<std::string>{messages::kFileTooLarge});
    EXPECT_TRUE(copy.calls.empty());
    EXPECT_EQ(card->PadBytes(), before);
    EXPECT_EQ(store.LastFileNumber(), 12u);
    EXPECT_FALSE(std::filesystem::exists(converted)) << "the temporary file is deleted";
    EXPECT_TRUE(TemporaryFolderEmpty());

    // One byte less is copied to the card (the copy only pretends here) and recorded.
    copy.pretend = true;
    messages.shown.clear();
    progress.makeResult = [&] {
        converted = ConvertedPath("K72_0013.AVI");
        WriteFileBytes(converted, {});
        std::filesystem::resize_file(converted, 2097151999ull);
    };
    ASSERT_TRUE(Import(source, 0, PadKindMovie));
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_EQ(copy.calls.size(), 1u);
    EXPECT_EQ(copy.calls[0][0].source, converted);
    EXPECT_EQ(copy.calls[0][0].destination, card->folder / "K72_0013.AVI");
    EXPECT_EQ(store.LastFileNumber(), 13u);
    const auto bytes = card->PadBytes();
    EXPECT_EQ(GetName(bytes, RecordAt(0, 0, 0) + 8), "K72_0013.AVI");
    EXPECT_EQ(GetLE32(bytes, RecordAt(0, 0, 0) + 32), 0u) << "no readable header, no frame count";
    EXPECT_TRUE(TemporaryFolderEmpty());
}

TEST_F(ImportCommands, FailuresShowTheMessageOfTheirResultCode) {
    const std::string source = (dir / "clip.mp4").string();
    WriteFileBytes(source, {0});
    const auto before = card->PadBytes();
    // The temporary disk message names the folder that is full.
    const std::string diskFull = messages::TemporaryDiskFull(temporary.string());
    EXPECT_NE(diskFull.find(temporary.string()), std::string::npos);
    EXPECT_EQ(diskFull.find("drive C"), std::string::npos);
    const std::pair<ResultCode, std::string> cases[] = {
        {rc::DiscSpaceInsufficient, diskFull},
        {rc::TempFileFailed, diskFull},
        {rc::FileSizeOverLimit, messages::kFileTooLarge},
        {rc::ConvertedFileTooLarge, messages::kFileTooLarge},
        {rc::UnknownFormat, messages::kLoadFailed},
        {rc::Fail, messages::kLoadFailed},
    };
    for (const auto& [code, text] : cases) {
        messages.shown.clear();
        progress.outcome = ConversionOutcome{ConversionEnd::NotCompleted, false, code};
        EXPECT_FALSE(Import(source, 0, PadKindMovie));
        EXPECT_EQ(messages.shown, std::vector<std::string>{text}) << std::hex << code;
    }
    // Completed, but nothing was written: the converted file cannot be opened.
    messages.shown.clear();
    progress.outcome = ConversionOutcome{ConversionEnd::Completed, false, 0};
    EXPECT_FALSE(Import(source, 0, PadKindMovie));
    EXPECT_EQ(messages.shown, std::vector<std::string>{messages::kFileTooLarge});

    EXPECT_TRUE(copy.calls.empty());
    EXPECT_EQ(card->PadBytes(), before);
    EXPECT_EQ(store.LastFileNumber(), 12u);
    EXPECT_TRUE(TemporaryFolderEmpty());
}

TEST_F(ImportCommands, FailedCopyToTheCardRecordsNothing) {
    const std::string source = (dir / "clip.mp4").string();
    WriteFileBytes(source, {0});
    const auto before = card->PadBytes();
    progress.makeResult = [&] { WriteFileBytes(ConvertedPath("K72_0013.AVI"), {1, 2, 3}); };
    copy.fail = true;
    EXPECT_FALSE(Import(source, 0, PadKindMovie));
    EXPECT_EQ(copy.calls.size(), 1u);
    EXPECT_TRUE(messages.shown.empty()) << "the copy window has told the user";
    EXPECT_EQ(card->PadBytes(), before);
    EXPECT_EQ(store.LastFileNumber(), 12u);
    EXPECT_TRUE(TemporaryFolderEmpty());
}

TEST_F(ImportCommands, ANumberARecordNamesIsNeverGivenToANewFile) {
    // Pad 6 names K72_0013.JPG and K72_0014.AVI, whose files are gone: a new file under either name
    // would show on that pad, so the next import takes 15.
    auto bytes = card->PadBytes();
    PutStillPad(bytes, RecordAt(0, 0, 6), {"K72_0013.JPG", "k72_0014.avi"});
    WriteFileBytes(card->padFile, bytes);
    store.SelectBank(1);
    store.SelectBank(0);
    const std::string source = (dir / "clip.mp4").string();
    WriteFileBytes(source, {0});
    copy.pretend = true;
    progress.makeResult = [&] { WriteFileBytes(ConvertedPath("K72_0015.AVI"), {1}); };
    ASSERT_TRUE(Import(source, 0, PadKindMovie));
    EXPECT_EQ(NameText(store.Entry(0)->movie->fileName), "K72_0015.AVI");
    const auto reserved = store.ReserveFileNumbers(2);
    ASSERT_TRUE(reserved);
    EXPECT_EQ(reserved.value.Numbers(), (std::vector<std::uint32_t>{16, 17}));
}

TEST_F(ImportCommands, PastTheEndOfTheSequenceTheLowestFreeNumberIsUsed) {
    card->AddDeviceFile("K72_9998.JPG");
    store.RescanFileNumbers();
    const std::string source = (dir / "clip.mp4").string();
    WriteFileBytes(source, {0});
    copy.pretend = true; // the pad names the new files, the card folder never gets them
    progress.makeResult = [&] { WriteFileBytes(ConvertedPath("K72_9999.AVI"), {1}); };
    ASSERT_TRUE(Import(source, 0, PadKindMovie));
    EXPECT_EQ(NameText(store.Entry(0)->movie->fileName), "K72_9999.AVI");
    EXPECT_EQ(store.LastFileNumber(), 9999u);

    // A stray K72_9999 does not stop imports: 1 and 12 are files on the card, 9999 is named by a pad
    // (though its file is missing), so 2 is the lowest number free.
    progress.makeResult = [&] { WriteFileBytes(ConvertedPath("K72_0002.AVI"), {1}); };
    ASSERT_TRUE(Import(source, 1, PadKindMovie));
    EXPECT_EQ(NameText(store.Entry(1)->movie->fileName), "K72_0002.AVI");
    EXPECT_EQ(store.LastFileNumber(), 9999u);
    EXPECT_TRUE(messages.shown.empty());

    // Only a card with all 9999 numbers taken gets the message.
    for (int n = 3; n <= 9997; ++n) {
        if (n != 12) {
            card->AddFile(MakeCardFileName(static_cast<std::uint32_t>(n), n % 2 != 0 ? "JPG" : "AVI"), "");
        }
    }
    const auto before = card->PadBytes();
    EXPECT_FALSE(Import(source, 2, PadKindMovie));
    EXPECT_EQ(AddPicture(source, 5), -1);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{messages::kTooManyFiles, messages::kTooManyFiles}));
    EXPECT_EQ(progress.runs, 2);
    EXPECT_EQ(card->PadBytes(), before);

    // Files on the card need no number.
    ASSERT_TRUE(Import(card->folder / "K72_0001.JPG", 1, PadKindStill));
    EXPECT_EQ(AddPicture(card->folder / "K72_9998.JPG", 1), 2);
}

TEST_F(ImportCommands, PictureListTakesAtMostOneHundred) {
    const std::string source = (dir / "missing.png").string();
    EXPECT_EQ(AddPicture(source, 5), -1) << "a missing source";
    EXPECT_EQ(AddPicture(card->folder / "K72_0001.JPG", 0), 1) << "an empty pad becomes a still pad";
    for (int i = 2; i <= 100; ++i) {
        ASSERT_EQ(AddPicture(card->folder / "K72_0001.JPG", 5), i);
    }
    const auto before = card->PadBytes();
    const StoreResult full = commands.Import({5, PadKindStill, {card->folder / "K72_0001.JPG"}, true});
    EXPECT_EQ(full.failure, StoreFailure::StillLimit);
    EXPECT_EQ(full.text, messages::kStillLimit);
    EXPECT_EQ(card->PadBytes(), before);
    EXPECT_EQ(GetLE32(before, RecordAt(0, 0, 5) + 1308), 100u);
    EXPECT_EQ(GetName(before, RecordAt(0, 0, 5) + 8 + 13 * 99), "K72_0001.JPG");
    ASSERT_EQ(messages.shown.size(), 1u) << "only the missing source said something";
    EXPECT_EQ(messages.shown[0], "The file " + source + " is not there.");
}

TEST_F(ImportCommands, RefusedWithoutSelectionOrSource) {
    const auto before = card->PadBytes();
    EXPECT_EQ(Import(dir / "missing.mp4", 0, PadKindMovie).failure, StoreFailure::SourceUnusable);
    EXPECT_EQ(Import(card->folder / "K72_0001.JPG", 12, PadKindStill).failure, StoreFailure::NoPad);
    EXPECT_EQ(Import(card->folder / "K72_0001.JPG", 0, PadKindEmpty).failure, StoreFailure::WrongKind);
    store.Close();
    EXPECT_EQ(Import(card->folder / "K72_0001.JPG", 0, PadKindStill).failure, StoreFailure::NoPad);
    EXPECT_EQ(AddPicture(card->folder / "K72_0001.JPG", 5), -1);
    EXPECT_EQ(card->PadBytes(), before);
    // Only the missing file is worth a word to the user; the rest are the caller's mistakes.
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"The file " + (dir / "missing.mp4").string() + " is not there."});
    EXPECT_EQ(progress.runs, 0);
}

} // namespace
} // namespace k72
