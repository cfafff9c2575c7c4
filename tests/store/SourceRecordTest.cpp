// The record of sources: written atomically at the card's root and read back the same, read
// tolerantly when damaged, believed only while its card file is unchanged, and the decision whether
// a source is still what was converted (the file read only when its stamp disagrees).

#include "store/SourceRecord.h"

#include "store/WriteFaults.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace k72 {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kHour = 3600ll * 1'000'000'000;

SourceEntry MovieEntry(const std::string& source) {
    SourceEntry entry;
    entry.kind = SourceKind::Movie;
    entry.source = {source, {1234, 1'700'000'000'123'456'789}, std::string(32, 'a')};
    Settings settings;
    settings.fps = 1;
    settings.quality = 7; // behaves as 2, and is recorded so
    settings.fit = FitMode::Crop;
    entry.settings = RecordedSettings::For(SourceKind::Movie, settings);
    entry.originalName = "Intro Clip.mp4";
    entry.cardFile = {5000, 1'700'000'100'000'000'000};
    return entry;
}

// A probe that counts what it reads.
class CountingProbe : public SourceProbe {
public:
    int stamps = 0;
    int hashes = 0;

protected:
    std::optional<FileStamp> ReadStamp(const fs::path& path) override {
        ++stamps;
        return SourceProbe::ReadStamp(path);
    }
    std::optional<std::string> ReadHash(const fs::path& path) override {
        ++hashes;
        return SourceProbe::ReadHash(path);
    }
};

TEST(SourceRecord, SavedAtTheRootAndReadBackTheSameWithoutATemporaryFileLeft) {
    k72test::TempDir card;
    SourceRecord record;
    record.Put("k72_0001.avi", MovieEntry("/home/me/clips/intro clip.mp4"));
    SourceEntry picture = MovieEntry("/home/me/stills/night/a.jpg");
    picture.kind = SourceKind::Picture;
    picture.settings = RecordedSettings::For(SourceKind::Picture, Settings{});
    picture.folder = "/home/me/stills/night";
    picture.folderIndex = 3;
    picture.folderCount = 12;
    record.Put("K72_0002.JPG", picture);
    record.SetPlanSettings(Settings{});
    record.SetDeleting({"K72_0009.JPG"});
    ASSERT_TRUE(record.Save(card.Path()));

    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(card.Path()), {}),
              std::vector<fs::path>{card / "K72_SRC.JSN"});
    const SourceRecord read = SourceRecord::Load(card.Path());
    EXPECT_EQ(read.Text(), record.Text());
    ASSERT_EQ(read.Entries().size(), 2u);
    EXPECT_EQ(read.Entries().at("K72_0001.AVI"), MovieEntry("/home/me/clips/intro clip.mp4"));
    EXPECT_EQ(read.Entries().at("K72_0001.AVI").settings.quality, 2);
    EXPECT_EQ(read.Entries().at("K72_0002.JPG"), picture);
    EXPECT_TRUE(read.PlanSettings().has_value());
    EXPECT_EQ(read.Deleting(), std::set<std::string>{"K72_0009.JPG"});
}

TEST(SourceRecord, AFailedWriteKeepsTheOldRecord) {
    k72test::TempDir card;
    SourceRecord record;
    record.Put("K72_0001.AVI", MovieEntry("/a.mp4"));
    ASSERT_TRUE(record.Save(card.Path()));
    const std::string before = k72test::ReadFileText(card / "K72_SRC.JSN");
    record.Put("K72_0002.AVI", MovieEntry("/b.mp4"));
    for (int point = 1; point <= 3; ++point) { // the write, the flush, the rename
        writefault::FailAt(point);
        EXPECT_FALSE(record.Save(card.Path())) << point;
        writefault::FailAt(0);
        EXPECT_EQ(k72test::ReadFileText(card / "K72_SRC.JSN"), before) << point;
        EXPECT_FALSE(fs::exists(card / "K72_SRC.TMP")) << point;
    }
}

TEST(SourceRecord, AMissingOrDamagedRecordIsEmptyAndADamagedEntryIsLeftAside) {
    k72test::TempDir card;
    EXPECT_TRUE(SourceRecord::Load(card.Path()).Entries().empty());
    SourceRecord good;
    good.Put("K72_0001.AVI", MovieEntry("/a.mp4"));
    const std::string text = good.Text();
    const std::string damaged[] = {"",
                                   "\x89PNG",
                                   "{\"k72-sources\": 2, \"files\": {}}",
                                   "[1, 2]",
                                   "{\"k72-sources\": \"1\", \"files\": {}}",
                                   text.substr(0, text.size() / 2)};
    for (const std::string& bytes : damaged) {
        k72test::WriteFileBytes(card / "K72_SRC.JSN", std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        EXPECT_TRUE(SourceRecord::Load(card.Path()).Entries().empty()) << bytes;
    }
    // One entry without its hash, one under a name that is no card file: only those go.
    std::string mixed = text;
    mixed.insert(mixed.find("\"files\": {") + 10,
                 "\"K72_0009.AVI\": {\"kind\": \"movie\"}, \"../../etc/passwd\": {\"kind\": \"movie\"},");
    // Names to delete: only names of files in the card folder are taken.
    mixed.insert(mixed.find("\"files\": {"), "\"deleting\": [\"../K72_PAD.SYS/..\", \"k72_0003.jpg\", 7], ");
    const SourceRecord partly = SourceRecord::Parse(mixed);
    EXPECT_EQ(partly.Deleting(), std::set<std::string>{"K72_0003.JPG"});
    ASSERT_EQ(partly.Entries().size(), 1u);
    EXPECT_EQ(partly.Entries().begin()->first, "K72_0001.AVI");
}

TEST(SourceRecord, AnEntryIsBelievedOnlyWhileItsCardFileIsUnchanged) {
    SourceRecord record;
    record.Put("K72_0001.AVI", MovieEntry("/a.mp4"));
    const FileStamp written{5000, 1'700'000'100'000'000'000};
    struct Case {
        const char* what;
        CardFileStamps card;
        bool believed;
    };
    const Case cases[] = {
        {"as written", {{"K72_0001.AVI", written}}, true},
        {"read in another time zone", {{"K72_0001.AVI", {5000, written.modified - 2 * kHour}}}, true},
        {"half an hour and a quarter", {{"K72_0001.AVI", {5000, written.modified + 3 * kHour / 4}}}, true},
        {"written again the same length",
         {{"K72_0001.AVI", {5000, written.modified + 7'000'000'000}}},
         false},
        {"another length", {{"K72_0001.AVI", {5001, written.modified}}}, false},
        {"gone", {}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(record.Find("k72_0001.avi", c.card) != nullptr, c.believed) << c.what;
        EXPECT_EQ(record.OriginalName("k72_0001.avi", c.card), c.believed ? "Intro Clip.mp4" : "") << c.what;
        SourceRecord pruned = record;
        pruned.Prune(c.card);
        EXPECT_EQ(pruned.Entries().size(), c.believed ? 1u : 0u) << c.what;
    }
}

// A run holding the record saves it again: what another writer entered meanwhile stays when it is true
// of its card file and the run's own entry for that file is not.
TEST(SourceRecord, ASaveTakesTheOtherWritersEntriesThatAreTrue) {
    k72test::TempDir folder;
    const auto entryOf = [&](const std::string& name, const std::string& original) {
        if (!fs::exists(folder / name)) {
            k72test::WriteFileBytes(folder / name, std::vector<std::uint8_t>(100));
        }
        SourceEntry entry = MovieEntry("/" + original);
        entry.originalName = original;
        entry.cardFile = *StampOfFile(folder / name);
        return entry;
    };
    const auto stale = [](SourceEntry entry) {
        entry.cardFile.size += 1;
        return entry;
    };
    struct Case {
        const char* name;
        std::optional<SourceEntry> mine;
        SourceEntry written;
        std::string kept; // the original name the record has afterwards
    };
    const std::vector<Case> cases = {
        {"K72_0001.AVI", std::nullopt, entryOf("K72_0001.AVI", "new.mp4"), "new.mp4"},
        {"K72_0002.AVI", std::nullopt, stale(entryOf("K72_0002.AVI", "gone.mp4")), ""},
        {"K72_0003.AVI", entryOf("K72_0003.AVI", "mine.mp4"), stale(entryOf("K72_0003.AVI", "old.mp4")),
         "mine.mp4"},
        {"K72_0004.AVI", stale(entryOf("K72_0004.AVI", "old.mp4")), entryOf("K72_0004.AVI", "new.mp4"),
         "new.mp4"},
    };
    SourceRecord mine;
    SourceRecord written;
    for (const Case& c : cases) {
        if (c.mine) {
            mine.Put(c.name, *c.mine);
        }
        written.Put(c.name, c.written);
    }
    mine.TakeNewer(written, folder.Path());
    const CardFileStamps card = ListCardFileStamps(folder.Path());
    for (const Case& c : cases) {
        EXPECT_EQ(mine.OriginalName(c.name, card), c.kept) << c.name;
    }
}

TEST(SourceRecord, ASourceIsUnchangedByItsStampOrElseByItsContent) {
    k72test::TempDir dir;
    const fs::path clip = dir / "clip.mp4";
    k72test::WriteFileBytes(clip, {1, 2, 3, 4});
    SourceIdentity recorded = *CountingProbe().Identify(clip);

    CountingProbe same;
    EXPECT_TRUE(same.Unchanged(recorded, clip));
    EXPECT_EQ(same.hashes, 0) << "the same path, size and time need no reading";

    // Touched, or found under another path (the card on another machine): the content decides.
    const fs::path copy = dir / "copy.mp4";
    fs::copy_file(clip, copy);
    CountingProbe moved;
    EXPECT_TRUE(moved.Unchanged(recorded, copy));
    EXPECT_EQ(moved.hashes, 1);
    EXPECT_TRUE(moved.Unchanged(recorded, copy));
    EXPECT_EQ(moved.hashes, 1) << "each file is read once per run";

    k72test::WriteFileBytes(clip, {1, 2, 3, 5});
    CountingProbe edited;
    EXPECT_FALSE(edited.Unchanged(recorded, clip));
    k72test::WriteFileBytes(clip, {1, 2, 3});
    CountingProbe shorter;
    EXPECT_FALSE(shorter.Unchanged(recorded, clip));
    EXPECT_EQ(shorter.hashes, 0) << "another size is another file";
    fs::remove(clip);
    EXPECT_FALSE(CountingProbe().Unchanged(recorded, clip));
}

} // namespace
} // namespace k72
