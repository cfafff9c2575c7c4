#include "store/CPadFile.h"

#include "tests/store/CardFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace k72 {
namespace {

using namespace k72test;

MovieRecord NewMovie(const std::string& name, std::uint32_t frames) {
    MovieRecord record;
    EXPECT_TRUE(SetNameText(record.fileName, name));
    record.frameCount = frames;
    record.deviceByte2 = 4;
    record.deviceByte3 = 1;
    return record;
}

// Byte ranges of a record that hold fields; the rest of the record belongs to the device.
struct Range {
    std::size_t begin, end;
};
const std::vector<Range> kHeader = {{0, 8}};
const std::vector<Range> kMovieFields = {{0, 8}, {8, 21}, {24, 36}, {36, 49}, {52, 61}, {61, 62}, {64, 65}};
const std::vector<Range> kStillFields = {{0, 8},       {8, 1308},    {1308, 1312},
                                         {1312, 1325}, {1328, 1345}, {1360, 1362}};

bool InRanges(const std::vector<Range>& ranges, std::size_t offsetInRecord) {
    for (const Range& r : ranges) {
        if (offsetInRecord >= r.begin && offsetInRecord < r.end) {
            return true;
        }
    }
    return false;
}

TEST(PadFile, OpensOnlyAnExistingFileOfTheExactLength) {
    TempDir dir;
    CPadFile padFile;
    EXPECT_FALSE(padFile.Open(dir / "K72_PAD.SYS")); // never created
    EXPECT_FALSE(std::filesystem::exists(dir / "K72_PAD.SYS"));
    EXPECT_FALSE(padFile.Open(dir.Path())); // a folder

    for (std::size_t size : {kPadFileBytes - 1, kPadFileBytes + 1, std::size_t{0}}) {
        const auto bytes = RandomBytes(size, 7);
        WriteFileBytes(dir / "K72_PAD.SYS", bytes);
        EXPECT_FALSE(padFile.Open(dir / "K72_PAD.SYS")) << size;
        EXPECT_FALSE(padFile.IsOpen());
        EXPECT_EQ(ReadFileBytes(dir / "K72_PAD.SYS"), bytes) << "a refused file is never changed";
    }

    WriteFileBytes(dir / "K72_PAD.SYS", std::vector<std::uint8_t>(kPadFileBytes, 0));
    ASSERT_TRUE(padFile.Open(dir / "K72_PAD.SYS"));
    for (int bank = 0; bank < 6; ++bank) {
        ASSERT_TRUE(padFile.LoadBank(bank));
        for (int n = 0; n < 12; ++n) {
            for (int p = 0; p < 12; ++p) {
                EXPECT_EQ(padFile.EntryAt(n, p)->Kind(), PadKindEmpty);
            }
        }
    }
    EXPECT_FALSE(padFile.LoadBank(6));
    EXPECT_FALSE(padFile.LoadBank(-1));
    EXPECT_TRUE(padFile.Loaded()) << "a refused bank index changes nothing";
    EXPECT_EQ(padFile.LoadedBank(), 5);
}

TEST(PadFile, NewMovieRecordHasTheDeviceLayoutAndKeepsGaps) {
    TempDir dir;
    const auto before = RandomBytes(kPadFileBytes, 1);
    TestCard card(dir.Path(), before);
    CPadFile padFile;
    ASSERT_TRUE(padFile.Open(card.padFile));
    ASSERT_TRUE(padFile.LoadBank(0));
    ASSERT_TRUE(padFile.SetMovieRecord(0, 0, NewMovie("K72_0001.AVI", 300)));
    ASSERT_TRUE(padFile.SaveBank());
    padFile.Close();

    const auto after = card.PadBytes();
    ASSERT_EQ(after.size(), kPadFileBytes);
    const std::vector<std::uint8_t> header = {1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin(), after.begin() + 8), header);
    EXPECT_EQ(std::string(after.begin() + 8, after.begin() + 20), "K72_0001.AVI");
    EXPECT_EQ(after[20], 0);
    const std::vector<std::uint8_t> frames = {0x2C, 0x01, 0, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(after.begin() + 32, after.begin() + 36), frames);
    EXPECT_EQ(after[61], 4);
    EXPECT_EQ(after[64], 1);
    for (std::size_t i : {24, 28, 36, 52, 56}) {
        EXPECT_EQ(GetLE32(after, i), 0u) << i;
    }
    for (std::size_t i = 36; i < 49; ++i) {
        EXPECT_EQ(after[i], 0) << i;
    }
    EXPECT_EQ(after[60], 0);
    // Gaps of the record and every other byte of the file stay as they were.
    for (std::size_t i = 0; i < kPadFileBytes; ++i) {
        if (i < kRecordBytes && InRanges(kMovieFields, i)) {
            continue;
        }
        ASSERT_EQ(after[i], before[i]) << "byte " << i << " changed";
    }
}

TEST(PadFile, StillRecordLandsAtItsOffsetInBankB) {
    TempDir dir;
    TestCard card(dir.Path(), RandomBytes(kPadFileBytes, 2));
    CPadFile padFile;
    ASSERT_TRUE(padFile.Open(card.padFile));
    ASSERT_TRUE(padFile.LoadBank(1));
    StillRecord record;
    SetNameText(record.stillNames[0], "K72_0002.JPG");
    SetNameText(record.stillNames[1], "K72_0003.JPG");
    record.stillCount = 2;
    SetNameText(record.audioFileName, "LONGSO~1.WAV");
    record.deviceValue1 = 0x11223344;
    record.deviceValue3 = 7;
    record.deviceBytes = {1, 2, 3, 4, 5};
    record.deviceByte4 = 9;
    record.deviceByte2 = 4;
    ASSERT_TRUE(padFile.SetStillRecord(11, 11, record));
    ASSERT_TRUE(padFile.SaveBank());
    padFile.Close();

    const auto bytes = card.PadBytes();
    const std::size_t at = RecordAt(1, 11, 11);
    ASSERT_EQ(at, 391468u);
    EXPECT_EQ(GetLE32(bytes, at), 1u);
    EXPECT_EQ(GetLE32(bytes, at + 4), 1u);
    EXPECT_EQ(GetName(bytes, at + 8), "K72_0002.JPG");
    EXPECT_EQ(GetName(bytes, at + 21), "K72_0003.JPG");
    for (std::size_t i = at + 34; i < at + 1308; ++i) {
        ASSERT_EQ(bytes[i], 0) << "empty slots are written as zeros";
    }
    EXPECT_EQ(GetLE32(bytes, 392776), 2u);
    EXPECT_EQ(GetName(bytes, at + 1312), "LONGSO~1.WAV");
    EXPECT_EQ(GetLE32(bytes, at + 1328), 0x11223344u);
    EXPECT_EQ(GetLE32(bytes, at + 1332), 0u);
    EXPECT_EQ(GetLE32(bytes, at + 1336), 7u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + static_cast<long>(at) + 1340,
                                        bytes.begin() + static_cast<long>(at) + 1345),
              (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(bytes[at + 1360], 9);
    EXPECT_EQ(bytes[at + 1361], 4);

    // And it reads back as the same record.
    ASSERT_TRUE(padFile.Open(card.padFile));
    ASSERT_TRUE(padFile.LoadBank(1));
    const auto loaded = padFile.GetStillRecord(11, 11);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->stillCount, 2u);
    EXPECT_EQ(NameText(loaded->stillNames[1]), "K72_0003.JPG");
    EXPECT_EQ(loaded->deviceBytes, record.deviceBytes);
    EXPECT_EQ(loaded->deviceByte4, 9);
    EXPECT_FALSE(padFile.GetMovieRecord(11, 11));
}

// A bank as the device might leave it: random bytes everywhere, with movie, still, unknown-kind and
// empty-with-a-kind headers among them.
std::vector<std::uint8_t> DeviceBankFile() {
    auto bytes = RandomBytes(kPadFileBytes, 3);
    for (int i = 0; i < 144; ++i) {
        const std::size_t at = RecordAt(2, i / 12, i % 12);
        switch (i % 5) {
        case 0: // movie
            PutLE32(bytes, at, 1);
            PutLE32(bytes, at + 4, 0);
            bytes[at + 48] = 0; // the audio name ends within its field, as the device writes it
            break;
        case 1: // still images
            PutLE32(bytes, at, 1);
            PutLE32(bytes, at + 4, 1);
            bytes[at + 1324] = 0;
            break;
        case 2: // a kind this program does not know
            PutLE32(bytes, at, 1);
            PutLE32(bytes, at + 4, 2 + static_cast<std::uint32_t>(i));
            break;
        case 3: // empty, with a still kind left over
            PutLE32(bytes, at, 0);
            PutLE32(bytes, at + 4, 1);
            break;
        default: // whatever the random header says (used is not 1)
            break;
        }
    }
    return bytes;
}

TEST(PadFile, SavingBankCWritesOnlyItsHeadersAndFields) {
    TempDir dir;
    const auto before = DeviceBankFile();
    TestCard card(dir.Path(), before);
    CPadFile padFile;
    ASSERT_TRUE(padFile.Open(card.padFile));
    ASSERT_TRUE(padFile.LoadBank(2));

    // Unchanged, a round trip reproduces the file exactly: every record type keeps its bytes.
    ASSERT_TRUE(padFile.SaveBank());
    ASSERT_EQ(card.PadBytes(), before);

    EXPECT_EQ(padFile.EntryAt(0, 0)->Kind(), PadKindMovie);
    EXPECT_EQ(padFile.EntryAt(0, 1)->Kind(), PadKindStill);
    EXPECT_EQ(padFile.EntryAt(0, 2)->Kind(), PadKindEmpty) << "an unknown kind shows as an empty pad";
    EXPECT_EQ(padFile.EntryAt(0, 3)->kindCode, 1);

    // Change pads of every kind: a movie pad becomes a still pad, a still pad a movie pad, an unknown
    // one is cleared, and an empty one gets a movie.
    StillRecord stills;
    SetNameText(stills.stillNames[0], "K72_0100.JPG");
    stills.stillCount = 1;
    ASSERT_TRUE(padFile.SetStillRecord(0, 0, stills));
    ASSERT_TRUE(padFile.SetMovieRecord(0, 1, NewMovie("K72_0101.AVI", 5)));
    padFile.ClearPad(0, 2);
    ASSERT_TRUE(padFile.SetMovieRecord(0, 4, NewMovie("K72_0102.AVI", 6)));
    ASSERT_TRUE(padFile.SaveBank());
    const auto after = card.PadBytes();

    const std::size_t bankStart = 2 * kBankBytes;
    for (std::size_t i = 0; i < kPadFileBytes; ++i) {
        if (i < bankStart || i >= bankStart + kBankBytes) {
            ASSERT_EQ(after[i], before[i]) << "byte " << i << " outside bank C changed";
            continue;
        }
        const std::size_t record = (i - bankStart) / kRecordBytes;
        const std::size_t offset = (i - bankStart) % kRecordBytes;
        const std::vector<Range>* written = &kHeader;
        if (record == 0) {
            written = &kStillFields;
        } else if (record == 1 || record == 4) {
            written = &kMovieFields;
        } else if (record % 5 == 0) {
            written = &kMovieFields;
        } else if (record % 5 == 1) {
            written = &kStillFields;
        }
        if (!InRanges(*written, offset)) {
            ASSERT_EQ(after[i], before[i]) << "gap byte " << offset << " of record " << record << " changed";
        } else if (record > 4) {
            ASSERT_EQ(after[i], before[i]) << "field byte " << offset << " of untouched record " << record;
        }
    }
    // The cleared unknown-kind pad is written as used 0, kind 0.
    EXPECT_EQ(GetLE32(after, RecordAt(2, 0, 2)), 0u);
    EXPECT_EQ(GetLE32(after, RecordAt(2, 0, 2) + 4), 0u);
    EXPECT_EQ(GetName(after, RecordAt(2, 0, 0) + 8), "K72_0100.JPG");
    EXPECT_EQ(GetName(after, RecordAt(2, 0, 1) + 8), "K72_0101.AVI");
}

TEST(PadFile, ThirteenByteAudioNameIsCutToTwelve) {
    TempDir dir;
    auto bytes = std::vector<std::uint8_t>(kPadFileBytes, 0);
    const std::size_t movie = RecordAt(0, 0, 0);
    PutLE32(bytes, movie, 1);
    PutName(bytes, movie + 8, "K72_0001.AVI");
    std::memcpy(bytes.data() + movie + 36, "ABCDEFGHIJKLM", 13);
    const std::size_t still = RecordAt(0, 0, 1);
    PutLE32(bytes, still, 1);
    PutLE32(bytes, still + 4, 1);
    std::memcpy(bytes.data() + still + 1312, "NOPQRSTUVWXYZ", 13);
    TestCard card(dir.Path(), bytes);

    CPadFile padFile;
    ASSERT_TRUE(padFile.Open(card.padFile));
    ASSERT_TRUE(padFile.LoadBank(0));
    EXPECT_EQ(NameText(padFile.GetMovieRecord(0, 0)->audioFileName), "ABCDEFGHIJKL");
    EXPECT_EQ(NameText(padFile.GetStillRecord(0, 1)->audioFileName), "NOPQRSTUVWXY");
    ASSERT_TRUE(padFile.SaveBank());
    const auto after = card.PadBytes();
    EXPECT_EQ(after[movie + 48], 0);
    EXPECT_EQ(after[still + 1324], 0);
}

TEST(PadFile, RecordsAreCopiesAndNeedALoadedBank) {
    TempDir dir;
    TestCard card(dir.Path(), std::vector<std::uint8_t>(kPadFileBytes, 0));
    CPadFile padFile;
    ASSERT_TRUE(padFile.Open(card.padFile));
    EXPECT_FALSE(padFile.SetMovieRecord(0, 0, NewMovie("K72_0001.AVI", 1))) << "no bank loaded";
    EXPECT_FALSE(padFile.SaveBank());
    EXPECT_EQ(padFile.EntryAt(0, 0), nullptr);

    ASSERT_TRUE(padFile.LoadBank(0));
    EXPECT_FALSE(padFile.SetMovieRecord(12, 0, NewMovie("K72_0001.AVI", 1)));
    EXPECT_FALSE(padFile.SetMovieRecord(0, -1, NewMovie("K72_0001.AVI", 1)));
    ASSERT_TRUE(padFile.SetMovieRecord(3, 4, NewMovie("K72_0001.AVI", 1)));
    auto copy = padFile.GetMovieRecord(3, 4);
    ASSERT_TRUE(copy);
    copy->frameCount = 99;
    EXPECT_EQ(padFile.GetMovieRecord(3, 4)->frameCount, 1u);
    EXPECT_FALSE(padFile.GetStillRecord(3, 4));

    padFile.ClearAll();
    EXPECT_FALSE(padFile.Loaded());
    EXPECT_EQ(padFile.EntryAt(3, 4), nullptr);
    EXPECT_EQ(card.PadBytes(), std::vector<std::uint8_t>(kPadFileBytes, 0)) << "setters never write";
}

TEST(PadFile, SecondOpenerIsRefusedUntilClose) {
    TempDir dir;
    TestCard card(dir.Path(), std::vector<std::uint8_t>(kPadFileBytes, 0));
    CPadFile first;
    CPadFile second;
    ASSERT_TRUE(first.Open(card.padFile));
    EXPECT_FALSE(second.Open(card.padFile));

    // Another process is refused too.
    if (HaveProgram("flock")) {
        EXPECT_EQ(RunCommand("flock -n " + Quote(card.padFile) + " true").exitCode, 1);
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CPadFile other;
        _exit(other.Open(card.padFile) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1)
        << "the other process opened a locked pad file";

    first.Close();
    if (HaveProgram("flock")) {
        EXPECT_EQ(RunCommand("flock -n " + Quote(card.padFile) + " true").exitCode, 0);
    }
    EXPECT_TRUE(second.Open(card.padFile));
}

TEST(PadFile, FileLockedByAnotherProgramIsRefused) {
    TempDir dir;
    TestCard card(dir.Path(), std::vector<std::uint8_t>(kPadFileBytes, 0));
    int toChild[2];
    int toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(card.padFile.c_str(), O_RDONLY);
        const char ok = (fd >= 0 && flock(fd, LOCK_EX) == 0) ? 'L' : 'E';
        (void)!write(toParent[1], &ok, 1);
        char done = 0;
        (void)!read(toChild[0], &done, 1); // hold the lock until the parent has tried
        _exit(0);
    }
    char state = 0;
    ASSERT_EQ(read(toParent[0], &state, 1), 1);
    ASSERT_EQ(state, 'L');
    CPadFile padFile;
    EXPECT_FALSE(padFile.Open(card.padFile));
    const char done = 'D';
    ASSERT_EQ(write(toChild[1], &done, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(padFile.Open(card.padFile)) << "the lock ends with the other program";
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) {
        close(fd);
    }
}

// A command that only reads holds a shared lock for a moment: a writer waits for it instead of failing,
// and a writer's hold keeps failing the next writer at once, whether or not readers come and go.
TEST(PadFile, AWriterWaitsForReadersButNotForAnotherWriter) {
    TempDir dir;
    TestCard card(dir.Path(), std::vector<std::uint8_t>(kPadFileBytes, 0));
    const FileHandle reader(::open(card.padFile.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(flock(reader.get(), LOCK_SH), 0);
    std::thread letGo([&reader] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        flock(reader.get(), LOCK_UN);
    });
    CPadFile writer;
    const auto started = std::chrono::steady_clock::now();
    const CardOpenResult opened = writer.Open(card.padFile);
    letGo.join();
    EXPECT_TRUE(opened) << static_cast<int>(opened.failure);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));

    // While the writer holds it, a reader still reads it, and a second writer is told "in use" at once.
    CPadFile looker;
    EXPECT_TRUE(looker.Open(card.padFile, CardAccess::Snapshot));
    EXPECT_TRUE(looker.ReadOnly());
    EXPECT_FALSE(looker.SaveBank());
    CPadFile second;
    const auto tried = std::chrono::steady_clock::now();
    EXPECT_EQ(second.Open(card.padFile).failure, CardOpenFailure::Locked);
    EXPECT_LT(std::chrono::steady_clock::now() - tried, std::chrono::seconds(1));
}

} // namespace
} // namespace k72
