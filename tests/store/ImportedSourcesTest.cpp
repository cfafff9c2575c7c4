// What an import of single files leaves in the card's record of sources: for each file it put onto the
// card, the entry an apply of a plan would have written; the record stays honest through undo, redo and
// a deleted pad whose file number comes back; and a record that cannot be read or written never fails
// the import.
#include "store/PadCommands.h"

#include "store/CardHistory.h"
#include "store/SourceRecord.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"
#include "tests/support/StillTestPictures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

std::string MovieOf(const PadEntry* entry) {
    return entry != nullptr && entry->movie ? NameText(entry->movie->fileName) : std::string();
}

class ImportedSources : public OpenCardTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(OpenCard(std::vector<std::uint8_t>(kPadFileBytes, 0), {}));
        settings.fps = 1;
        settings.quality = 3;
        settings.fit = FitMode::Letterbox;
        commands.SetSettings(settings);
    }

    fs::path Movie(const std::string& name) const {
        const fs::path path = dir / name;
        EXPECT_TRUE(MakeMedia(path, "-f lavfi -i testsrc2=size=96x64:rate=25 -t 0.4 -c:v mpeg4"));
        return path;
    }
    std::string OriginalName(const std::string& cardName) const {
        return SourceRecord::Load(card->root).OriginalName(cardName, ListCardFileStamps(card->folder));
    }

    Settings settings;
    PadCommands commands{store};
};

TEST_F(ImportedSources, EachSingleImportRecordsTheEntryAnApplyWouldHaveWritten) {
    const fs::path movie = Movie("Beach Day.mp4");
    WriteRgbPng(dir / "Sunset.png", SmoothPicture(40, 30));
    WriteRgbPng(dir / "Dune.png", SmoothPicture(30, 40));
    MakeWav(dir / "Rain Drops.wav");
    struct Case {
        const char* what;
        fs::path source;
        SourceKind kind;
        std::function<bool()> import;
        std::function<std::string()> cardName; // the file the pad names for it afterwards
    };
    const auto lastPicture = [this] {
        const PadEntry* entry = store.Entry(1);
        return NameText(entry->stills->stillNames[entry->stills->stillCount - 1]);
    };
    const std::vector<Case> cases = {
        {"a movie onto an empty pad", movie, SourceKind::Movie,
         [&] {
             return commands.Import({0, PadKindMovie, {movie}}).Ok();
         },
         [&] { return MovieOf(store.Entry(0)); }},
        {"a picture onto an empty pad", dir / "Sunset.png", SourceKind::Picture,
         [&] {
             return commands.Import({1, PadKindStill, {dir / "Sunset.png"}}).Ok();
         },
         lastPicture},
        {"a picture added to a still image pad", dir / "Dune.png", SourceKind::Picture,
         [&] {
             return commands.Import({1, PadKindStill, {dir / "Dune.png"}, true}).Ok();
         },
         lastPicture},
        {"a sound attached", dir / "Rain Drops.wav", SourceKind::Sound,
         [&] { return commands.AttachSound(0, dir / "Rain Drops.wav").Ok(); },
         [&] { return NameText(store.Entry(0)->movie->audioFileName); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.import());
        const std::string cardName = c.cardName();
        const SourceRecord record = SourceRecord::Load(card->root);
        const SourceEntry* entry = record.Find(cardName, ListCardFileStamps(card->folder));
        ASSERT_NE(entry, nullptr) << cardName;
        EXPECT_EQ(entry->kind, c.kind);
        EXPECT_EQ(entry->originalName, c.source.filename().string());
        EXPECT_EQ(entry->source.path, SourcePathKey(c.source));
        EXPECT_EQ(entry->source.stamp, StampOfFile(c.source));
        EXPECT_EQ(entry->source.hash, HashOfFile(c.source));
        EXPECT_EQ(entry->settings, RecordedSettings::For(c.kind, settings));
        EXPECT_EQ(entry->cardFile, StampOfFile(card->folder / cardName));
    }
    EXPECT_EQ(SourceRecord::Load(card->root).Entries().size(), 4u);
}

// The record believes an entry only while its card file is as recorded, so the names follow the files.
TEST_F(ImportedSources, UndoRedoAndAReusedFileNumberKeepTheNamesHonest) {
    ASSERT_TRUE(commands.Import({0, PadKindMovie, {Movie("Beach Day.mp4")}}));
    const std::string first = MovieOf(store.Entry(0));
    EXPECT_EQ(OriginalName(first), "Beach Day.mp4");
    ASSERT_TRUE(CardHistory(store).Undo());
    EXPECT_EQ(OriginalName(first), "") << "the undone import's file is gone";
    ASSERT_TRUE(CardHistory(store).Redo());
    EXPECT_EQ(OriginalName(first), "Beach Day.mp4");

    // The pad deleted with its file: its number is given to the next import, which is another movie.
    ASSERT_TRUE(commands.DeletePad(0, true));
    CardHistory(store).Forget();
    EXPECT_EQ(OriginalName(first), "");
    ASSERT_TRUE(commands.Import({3, PadKindMovie, {Movie("Harbour.mov")}}));
    ASSERT_EQ(MovieOf(store.Entry(3)), first);
    EXPECT_EQ(OriginalName(first), "Harbour.mov");
}

TEST_F(ImportedSources, ARecordThatCannotBeReadOrWrittenLeavesTheImportSuccessful) {
    WriteRgbPng(dir / "Sunset.png", SmoothPicture(40, 30));
    const struct {
        const char* what;
        std::function<void(const fs::path&)> spoil;
        bool writable;
    } cases[] = {
        {"damaged", [](const fs::path& path) { std::ofstream(path) << "{not a record"; }, true},
        {"a folder in its place", [](const fs::path& path) { fs::create_directories(path / "x"); }, false},
    };
    int pad = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path path = card->root / SourceRecord::kFileName;
        fs::remove_all(path);
        c.spoil(path);
        ASSERT_TRUE(commands.Import({pad, PadKindStill, {dir / "Sunset.png"}}));
        const std::string picture = NameText(store.Entry(pad)->stills->stillNames[0]);
        EXPECT_TRUE(fs::is_regular_file(card->folder / picture));
        EXPECT_EQ(OriginalName(picture), c.writable ? "Sunset.png" : "");
        ++pad;
    }
    EXPECT_TRUE(fs::is_directory(card->root / SourceRecord::kFileName)) << "nothing else was touched";
}

} // namespace
} // namespace k72
