// The card check and its repair, and the lock-free copy of the pad file they read.
#include "store/CardCheck.h"

#include "store/CPadBankStore.h"
#include "store/CPadFile.h"
#include "store/PadFileBackup.h"
#include "store/PadFileSnapshot.h"
#include "tests/store/CardFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace k72 {
namespace {

using namespace k72test;

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The problems of a report as "kind pad name" lines, sorted.
std::vector<std::string> Lines(const CardCheckReport& report) {
    std::vector<std::string> lines;
    for (const CardProblem& problem : report.problems) {
        lines.push_back(std::string(CardProblemKindName(problem.kind)) + " " + problem.PadText() + " " +
                        problem.name + (problem.repairable ? " *" : ""));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A card whose pads are all sound: a movie with its sound, a still image pad, gap bytes random.
std::vector<std::uint8_t> SoundCardBytes() {
    auto bytes = RandomBytes(kPadFileBytes, 17);
    for (int bank = 0; bank < 6; ++bank) {
        for (int number = 0; number < 12; ++number) {
            EmptyNumber(bytes, bank, number);
        }
    }
    PutMoviePad(bytes, RecordAt(0, 0, 0), "K72_0001.AVI", "SOUND.WAV");
    PutStillPad(bytes, RecordAt(5, 11, 11), {"K72_0002.JPG", "K72_0003.JPG"});
    return bytes;
}

TEST(CardCheck, ASoundCardHasNothingToReportAndRepairChangesNothing) {
    TempDir dir;
    TestCard card(dir.Path(), SoundCardBytes());
    for (const char* name : {"K72_0001.AVI", "sound.wav", "K72_0002.JPG", "k72_0003.jpg", "NOTES.TXT"}) {
        card.AddFile(name);
    }
    const auto before = card.PadBytes();
    const CardCheckReport report = CardCheck::Run(card.root).value;
    EXPECT_TRUE(report.Sound()) << ::testing::PrintToString(Lines(report));

    CPadBankStore store;
    store.SetBackupFolder(dir / "backups");
    ASSERT_TRUE(store.OpenCardRoot(card.root));
    EXPECT_TRUE(CardCheck::Repair(store, report));
    store.Close();
    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_FALSE(std::filesystem::exists(dir / "backups"));
    EXPECT_FALSE(std::filesystem::exists(card.folder / "UNUSED"));
}

class FaultyCard : public ::testing::Test {
protected:
    void SetUp() override {
        auto bytes = SoundCardBytes();
        PutMoviePad(bytes, RecordAt(0, 0, 1), "K72_0004.AVI"); // movie gone
        PutStillPad(bytes, RecordAt(0, 0, 2), {"K72_0005.JPG", "K72_0006.JPG", "K72_0007.JPG"},
                    "GONE.WAV");                                 // one picture, the sound gone
        PutMoviePad(bytes, RecordAt(1, 1, 2), "k72_0008.avi");   // lower case
        PutStillPad(bytes, RecordAt(2, 0, 0), {});               // count 0
        PutMoviePad(bytes, RecordAt(3, 4, 5), "../K72_PAD.S");   // not a card name
        PutStillPad(bytes, RecordAt(4, 0, 0), {"K72_0010.JPG"}); // the only picture gone
        card = std::make_unique<TestCard>(dir.Path(), bytes);
        for (const char* name :
             {"K72_0001.AVI", "SOUND.WAV", "K72_0002.JPG", "K72_0003.JPG", "K72_0005.JPG", "K72_0007.JPG",
              "K72_0008.AVI", "K72_0009.JPG", "K72_ABCD.AVI", "NOTES.TXT", "OLD.WAV", "loop.wav"}) {
            card->AddFile(name, name);
        }
    }

    TempDir dir;
    std::unique_ptr<TestCard> card;
};

TEST_F(FaultyCard, EveryKindOfFaultIsListedAndNothingChanges) {
    const auto before = card->PadBytes();
    const auto files = FilesIn(card->folder);
    const CardCheckReport report = CardCheck::Run(card->root).value;
    EXPECT_EQ(Lines(report), (std::vector<std::string>{
                                 "missing-file A-1-2 K72_0004.AVI *",
                                 "missing-file A-1-3 K72_0006.JPG *",
                                 "missing-file E-1-1 K72_0010.JPG *",
                                 "missing-sound A-1-3 GONE.WAV *",
                                 "still-count C-1-1 ",
                                 "unusable-name B-2-3 k72_0008.avi",
                                 "unusable-name D-5-6 ../K72_PAD.S",
                                 "unused-file  K72_0009.JPG *",
                                 "unused-file  K72_ABCD.AVI *",
                                 "unused-file  OLD.WAV *",
                                 "unused-file  loop.wav *",
                             }));
    EXPECT_EQ(report.Repairable(), 8u);
    EXPECT_EQ(card->PadBytes(), before);
    EXPECT_EQ(FilesIn(card->folder), files);
}

TEST_F(FaultyCard, RepairChangesOnlyWhatWasListedAfterACopyOfThePadFile) {
    const auto before = card->PadBytes();
    const CardCheckReport report = CardCheck::Run(card->root).value;
    // A file that became used after the check is not moved: only what is listed and still holds.
    CPadBankStore store;
    store.SetBackupFolder(dir / "backups");
    ASSERT_TRUE(store.OpenCardRoot(card->root));
    store.SelectBank(1);
    store.SelectNumber(6);
    std::filesystem::create_directories(card->folder / "UNUSED");
    card->AddFile("UNUSED/K72_0009.JPG", "older");

    const StoreResult repaired = CardCheck::Repair(store, report);
    ASSERT_TRUE(repaired) << repaired.text;
    // The selection is the one the store had.
    EXPECT_EQ(store.Bank(), 1);
    EXPECT_EQ(store.Number(), 6);
    EXPECT_NE(store.Entry(0), nullptr) << "with its bank in memory";
    store.Close();

    const auto after = card->PadBytes();
    // A-1-2 and E-1-1 are empty, A-1-3 keeps its two pictures and no sound; nothing else moved.
    EXPECT_EQ(GetLE32(after, RecordAt(0, 0, 1)), 0u);
    EXPECT_EQ(GetLE32(after, RecordAt(4, 0, 0)), 0u);
    const std::size_t still = RecordAt(0, 0, 2);
    EXPECT_EQ(GetLE32(after, still + 1308), 2u);
    EXPECT_EQ(GetName(after, still + 8), "K72_0005.JPG");
    EXPECT_EQ(GetName(after, still + 21), "K72_0007.JPG");
    EXPECT_EQ(GetName(after, still + 34), "");
    EXPECT_EQ(GetName(after, still + 1312), "");
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] != before[i]) {
            changed.push_back(i);
        }
    }
    for (std::size_t offset : changed) {
        const bool inRepaired = (offset >= RecordAt(0, 0, 1) && offset < RecordAt(0, 0, 3)) ||
                                (offset >= RecordAt(4, 0, 0) && offset < RecordAt(4, 0, 1));
        ASSERT_TRUE(inRepaired) << "byte " << offset << " changed";
    }

    EXPECT_EQ(FilesIn(card->folder),
              (std::vector<std::string>{"K72_0001.AVI", "K72_0002.JPG", "K72_0003.JPG", "K72_0005.JPG",
                                        "K72_0007.JPG", "K72_0008.AVI", "K72_PAD.SYS", "NOTES.TXT",
                                        "SOUND.WAV", "UNUSED/"}));
    EXPECT_EQ(
        FilesIn(card->folder / "UNUSED"),
        (std::vector<std::string>{"K72_0009-2.JPG", "K72_0009.JPG", "K72_ABCD.AVI", "OLD.WAV", "loop.wav"}));
    EXPECT_EQ(ReadFileText(card->folder / "UNUSED" / "K72_0009.JPG"), "older");
    EXPECT_EQ(ReadFileText(card->folder / "UNUSED" / "K72_0009-2.JPG"), "K72_0009.JPG");

    // The copy holds the pad file as it was before the repair.
    const auto copies = PadFileBackup::Copies(dir / "backups" / PadFileBackup::CardFolderName(card->root));
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadFileBytes(copies[0]), before);

    // What is left cannot be repaired.
    const CardCheckReport again = CardCheck::Run(card->root).value;
    EXPECT_EQ(again.Repairable(), 0u);
    EXPECT_EQ(again.problems.size(), 3u);
}

TEST_F(FaultyCard, RepairSkipsWhatNoLongerHolds) {
    const CardCheckReport report = CardCheck::Run(card->root).value;
    card->AddFile("K72_0004.AVI", "back again");
    CPadBankStore store;
    ASSERT_TRUE(store.OpenCardRoot(card->root));
    ASSERT_TRUE(CardCheck::Repair(store, report));
    EXPECT_EQ(store.Bank(), -1);
    EXPECT_FALSE(store.SelectionValid());
    store.Close();
    EXPECT_EQ(GetLE32(card->PadBytes(), RecordAt(0, 0, 1)), 1u);
}

TEST(CardCheck, APadFileOfTheWrongSizeOrNoneIsTheOnlyProblem) {
    TempDir dir;
    TestCard card(dir.Path(), std::vector<std::uint8_t>(kPadFileBytes + 1, 0));
    card.AddFile("K72_0001.AVI");
    CardCheckReport report = CardCheck::Run(card.root).value;
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].kind, CardProblemKind::PadFileSize);
    EXPECT_NE(report.problems[0].text.find("1178497 bytes"), std::string::npos) << report.problems[0].text;

    std::filesystem::remove(card.padFile);
    report = CardCheck::Run(card.root).value;
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].kind, CardProblemKind::PadFileSize);
}

TEST(PadFileSnapshot, ReadsWhatThePadFileReadsEvenWhileItIsLocked) {
    TempDir dir;
    auto bytes = RandomBytes(kPadFileBytes, 99);
    // Make plenty of movie and still records among the random ones.
    for (std::size_t record = 0; record < kPadFileBytes / kRecordBytes; record += 3) {
        PutLE32(bytes, record * kRecordBytes, 1);
        PutLE32(bytes, record * kRecordBytes + 4, static_cast<std::uint32_t>(record % 2));
    }
    TestCard card(dir.Path(), bytes);
    CPadFile file;
    ASSERT_TRUE(file.Open(card.padFile)); // holds the lock
    PadFileSnapshot snapshot;
    const StoreResult read = snapshot.Read(card.padFile);
    ASSERT_TRUE(read) << read.text;
    EXPECT_EQ(snapshot.Attempts(), 1);
    EXPECT_EQ(snapshot.Bytes(), bytes);
    for (int bank = 0; bank < 6; ++bank) {
        ASSERT_TRUE(file.LoadBank(bank));
        const auto entries = snapshot.Bank(bank);
        ASSERT_EQ(entries.size(), 144u);
        for (int i = 0; i < 144; ++i) {
            const PadEntry& a = entries[static_cast<std::size_t>(i)];
            const PadEntry* b = file.EntryAt(i / 12, i % 12);
            ASSERT_NE(b, nullptr);
            ASSERT_EQ(a.used, b->used);
            ASSERT_EQ(a.kindCode, b->kindCode);
            ASSERT_EQ(a.movie.has_value(), b->movie.has_value());
            ASSERT_EQ(a.stills.has_value(), b->stills.has_value());
            if (a.movie) {
                const MovieRecord& x = *a.movie;
                const MovieRecord& y = *b->movie;
                ASSERT_EQ(
                    std::tie(x.fileName, x.deviceValue1, x.deviceValue2, x.frameCount, x.audioFileName,
                             x.deviceValue3, x.deviceValue4, x.deviceByte1, x.deviceByte2, x.deviceByte3),
                    std::tie(y.fileName, y.deviceValue1, y.deviceValue2, y.frameCount, y.audioFileName,
                             y.deviceValue3, y.deviceValue4, y.deviceByte1, y.deviceByte2, y.deviceByte3))
                    << bank << " " << i;
            }
            if (a.stills) {
                ASSERT_EQ(a.stills->stillNames, b->stills->stillNames);
                ASSERT_EQ(a.stills->stillCount, b->stills->stillCount);
                ASSERT_EQ(a.stills->audioFileName, b->stills->audioFileName);
                ASSERT_EQ(a.stills->deviceBytes, b->stills->deviceBytes);
                ASSERT_EQ(std::tie(a.stills->deviceValue1, a.stills->deviceValue2, a.stills->deviceValue3,
                                   a.stills->deviceByte4, a.stills->deviceByte2),
                          std::tie(b->stills->deviceValue1, b->stills->deviceValue2, b->stills->deviceValue3,
                                   b->stills->deviceByte4, b->stills->deviceByte2));
            }
        }
    }
    EXPECT_TRUE(snapshot.Bank(6).empty());
}

struct Writer {
    std::filesystem::path path;
    int writes = 0;
};

TEST(PadFileSnapshot, ReadsAgainWhenTheFileChangesWhileBeingRead) {
    TempDir dir;
    TestCard card(dir.Path(), std::vector<std::uint8_t>(kPadFileBytes, 0));
    Writer writer{card.padFile};
    PadFileSnapshot snapshot;
    // The lock holder writes a bank during the first two attempts.
    snapshot.SetBetweenReads(
        [](void* context, int attempt) {
            auto* w = static_cast<Writer*>(context);
            if (attempt <= 2) {
                auto bytes = ReadFileBytes(w->path);
                PutLE32(bytes, RecordAt(2, 0, 0), static_cast<std::uint32_t>(attempt));
                WriteFileBytes(w->path, bytes);
                ++w->writes;
            }
        },
        &writer);
    const StoreResult read = snapshot.Read(card.padFile);
    ASSERT_TRUE(read) << read.text;
    EXPECT_EQ(snapshot.Attempts(), 3);
    EXPECT_EQ(GetLE32(snapshot.Bytes(), RecordAt(2, 0, 0)), 2u);

    // One that never settles is refused rather than half read.
    snapshot.SetBetweenReads(
        [](void* context, int attempt) {
            auto* w = static_cast<Writer*>(context);
            auto bytes = ReadFileBytes(w->path);
            PutLE32(bytes, RecordAt(3, 0, 0), static_cast<std::uint32_t>(attempt + 10));
            WriteFileBytes(w->path, bytes);
        },
        &writer);
    const StoreResult unsettled = snapshot.Read(card.padFile);
    EXPECT_FALSE(unsettled);
    EXPECT_NE(unsettled.text.find("kept changing"), std::string::npos);
    EXPECT_TRUE(snapshot.Bytes().empty());
}

} // namespace
} // namespace k72
