// Applying a plan: what is converted and what is left alone, run against a card folder in which a
// small stand-in commits each change the way a card does (a new numbered file per conversion, the
// record of sources kept, old files deleted once no pad names them).

#include "store/ApplySchedule.h"
#include "store/ApplyRun.h"
#include "store/PlanReader.h"
#include "store/PlanWriter.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace k72 {
namespace {

namespace fs = std::filesystem;

class HashCountingProbe : public SourceProbe {
public:
    int hashes = 0;

protected:
    std::optional<std::string> ReadHash(const fs::path& path) override {
        ++hashes;
        return SourceProbe::ReadHash(path);
    }
};

// The card: a folder of files, its pads and its record.
class FakeCard {
public:
    explicit FakeCard(fs::path folder) : folder_(std::move(folder)) { fs::create_directories(folder_); }

    // Makes the first `limit` changes as an apply does; returns how many files it converted.
    int Apply(const ApplySchedule& schedule, std::size_t limit = SIZE_MAX) {
        std::vector<std::string> made(schedule.conversions.size());
        int converted = 0;
        SourceProbe probe;
        for (std::size_t c = 0; c < std::min(limit, schedule.changes.size()); ++c) {
            const PadUpdate& change = schedule.changes[c];
            const auto name = [&](const ScheduledFile& file) {
                if (!file.conversion) {
                    return file.cardName;
                }
                std::string& done = made[*file.conversion];
                if (done.empty()) {
                    const PlannedConversion& conversion = schedule.conversions[*file.conversion];
                    done = Convert(conversion);
                    record_.Put(done, conversion.Entry(*probe.Identify(conversion.source),
                                                       *StampOfFile(folder_ / done)));
                    ++converted;
                }
                return done;
            };
            PadFiles after{change.where, change.kind, {}, change.sound ? name(*change.sound) : ""};
            for (const ScheduledFile& file : change.media) {
                after.files.push_back(name(file));
            }
            std::erase_if(pads_, [&](const PadFiles& pad) { return pad.where == change.where; });
            if (!change.clear) {
                pads_.push_back(after);
            }
            std::vector<std::string> before = change.before.files;
            before.push_back(change.before.sound);
            for (const std::string& gone : FilesNoPadNames(before, pads_)) {
                fs::remove(folder_ / gone);
                record_.Remove(gone);
            }
        }
        record_.SetPlanSettings(schedule.planSettings);
        return converted;
    }

    ApplySchedule Schedule(const CardPlan& plan, SourceProbe& probe) const {
        return ScheduleApply(plan, Settings{}, pads_, record_, ListCardFileStamps(folder_), probe,
                             [](const fs::path& file) { return KindOfExtension(file); });
    }

    std::string Told(const fs::path& planFolder) const {
        return PlanText(DescribeCard(pads_, record_, ListCardFileStamps(folder_), *record_.PlanSettings()),
                        planFolder);
    }

    const PadFiles* Pad(PadLocation where) const {
        for (const PadFiles& pad : pads_) {
            if (pad.where == where) {
                return &pad;
            }
        }
        return nullptr;
    }
    bool Has(const std::string& name) const { return fs::exists(folder_ / name); }

private:
    std::string Convert(const PlannedConversion& conversion) {
        char name[32];
        std::snprintf(name, sizeof name, "K72_%04d.%s", ++lastNumber_,
                      conversion.kind == SourceKind::Movie     ? "AVI"
                      : conversion.kind == SourceKind::Picture ? "JPG"
                                                               : "WAV");
        const std::string settings = conversion.settings.fps + std::to_string(conversion.settings.quality);
        std::vector<std::uint8_t> bytes = k72test::ReadFileBytes(conversion.source);
        bytes.insert(bytes.end(), settings.begin(), settings.end());
        k72test::WriteFileBytes(folder_ / name, bytes);
        return name;
    }

    fs::path folder_;
    std::vector<PadFiles> pads_;
    SourceRecord record_;
    int lastNumber_ = 0;
};

class ApplyScheduleTest : public ::testing::Test {
protected:
    ApplyScheduleTest() {
        for (const char* name :
             {"clips/intro.mp4", "clips/outro.mp4", "clips/intro.wav", "stills/a.jpg", "stills/b.png",
              "stills/night/n1.jpg", "stills/night/n2.jpg", "stills/night/n10.jpg"}) {
            Write(name, name);
        }
    }

    void Write(const std::string& name, const std::string& content) {
        fs::create_directories((dir_ / name).parent_path());
        k72test::WriteFileBytes(dir_ / name, std::vector<std::uint8_t>(content.begin(), content.end()));
    }

    CardPlan Plan(const std::string& pads) {
        const PlanReadResult read =
            ReadPlan(R"({"k72-plan": 1, "settings": {"quality": 2}, "pads": {)" + pads + "}}", dir_.Path());
        EXPECT_TRUE(read.Ok()) << ::testing::PrintToString(read.errors);
        return read.plan.value_or(CardPlan{});
    }

    k72test::TempDir dir_;
    FakeCard card_{dir_ / "card/DCIM/000KAVLO"};
};

const std::string kShow = R"(
    "A-1-1": {"movie": "clips/intro.mp4", "sound": "clips/intro.wav", "fit": "crop"},
    "A-1-2": {"movie": "clips/outro.mp4"},
    "A-1-3": {"pictures": ["stills/b.png", "stills/a.jpg"]},
    "A-1-4": {"pictures": "stills/night/"})";

TEST_F(ApplyScheduleTest, ASecondApplyOfAnUnchangedPlanChangesNothingAndReadsNoSource) {
    const CardPlan plan = Plan(kShow);
    SourceProbe first;
    const ApplySchedule schedule = card_.Schedule(plan, first);
    EXPECT_EQ(schedule.changes.size(), 4u);
    EXPECT_EQ(schedule.conversions.size(), 8u);
    EXPECT_EQ(card_.Apply(schedule), 8);
    EXPECT_EQ(card_.Pad({0, 0, 3})->files.size(), 3u);

    HashCountingProbe again;
    const ApplySchedule second = card_.Schedule(plan, again);
    EXPECT_TRUE(second.NothingToDo());
    EXPECT_EQ(second.unchanged.size(), 4u);
    EXPECT_EQ(again.hashes, 0);
}

TEST_F(ApplyScheduleTest, AChangedSourceConvertsOnlyItsPadAndATouchedOneNothing) {
    const CardPlan plan = Plan(kShow);
    SourceProbe first;
    card_.Apply(card_.Schedule(plan, first));
    const std::string oldOutro = card_.Pad({0, 0, 1})->files.front();

    Write("clips/outro.mp4", "clips/outro.mp5"); // same length, new content
    fs::last_write_time(dir_ / "clips/intro.mp4",
                        fs::last_write_time(dir_ / "clips/intro.mp4") + std::chrono::hours(1));
    HashCountingProbe probe;
    const ApplySchedule schedule = card_.Schedule(plan, probe);
    ASSERT_EQ(schedule.changes.size(), 1u);
    EXPECT_EQ(schedule.changes[0].where, (PadLocation{0, 0, 1}));
    EXPECT_EQ(schedule.conversions.size(), 1u);
    EXPECT_EQ(probe.hashes, 2) << "the touched and the changed source are read, nothing else";
    EXPECT_EQ(card_.Apply(schedule), 1);
    EXPECT_FALSE(card_.Has(oldOutro)) << "the old conversion goes once no pad names it";
}

TEST_F(ApplyScheduleTest, ASourceWithTheSameSettingsOnSeveralPadsIsConvertedOnce) {
    SourceProbe probe;
    const ApplySchedule shared = card_.Schedule(Plan(R"(
        "A-1-1": {"movie": "clips/intro.mp4"}, "A-1-2": {"movie": "clips/intro.mp4"},
        "A-1-3": {"movie": "clips/intro.mp4", "fit": "crop"},
        "A-1-4": {"pictures": ["stills/a.jpg", "stills/a.jpg"]}, "B-1-1": {"pictures": ["stills/a.jpg"]})"),
                                                probe);
    ASSERT_EQ(shared.conversions.size(), 3u) << "the movie twice (one fit each) and the picture once";
    EXPECT_EQ(shared.conversions[0].pads, (std::vector<PadLocation>{{0, 0, 0}, {0, 0, 1}}));
    EXPECT_EQ(shared.conversions[2].pads, (std::vector<PadLocation>{{0, 0, 3}, {1, 0, 0}}));
    card_.Apply(shared);
    EXPECT_EQ(card_.Pad({0, 0, 0})->files, card_.Pad({0, 0, 1})->files);
    EXPECT_NE(card_.Pad({0, 0, 0})->files, card_.Pad({0, 0, 2})->files);

    // A new pad asking for what the card holds already takes that file; with another fit it does not.
    const ApplySchedule more = card_.Schedule(
        Plan(
            R"("C-1-1": {"movie": "clips/intro.mp4"}, "C-1-2": {"movie": "clips/intro.mp4", "fit": "letterbox"})"),
        probe);
    ASSERT_EQ(more.changes.size(), 2u);
    EXPECT_EQ(more.changes[0].media.front().cardName, card_.Pad({0, 0, 0})->files.front());
    ASSERT_EQ(more.conversions.size(), 1u);
    EXPECT_EQ(more.conversions[0].pads, (std::vector<PadLocation>{{2, 0, 1}}));
}

TEST_F(ApplyScheduleTest, APadThatCannotBeMadeIsToldAndLeftAsItIsWhileTheOthersGoOn) {
    fs::create_directories(dir_ / "empty");
    SourceProbe probe;
    const ApplySchedule schedule = card_.Schedule(Plan(R"(
        "A-1-1": {"movie": "clips/missing.mp4"}, "A-1-2": {"movie": "clips/outro.mp4"},
        "A-1-3": {"pictures": "empty/"}, "A-1-4": {"movie": "clips/intro.mp4", "sound": "gone.wav"},
        "A-1-5": {"card-movie": "K72_0077.AVI"})"),
                                                  probe);
    EXPECT_EQ(schedule.problems.size(), 4u);
    EXPECT_NE(schedule.problems[0].text.find("pads.A-1-1: "), std::string::npos);
    EXPECT_NE(schedule.problems[0].text.find("missing.mp4 does not exist"), std::string::npos);
    EXPECT_NE(schedule.problems[1].text.find("holds no pictures"), std::string::npos);
    EXPECT_NE(schedule.problems[2].text.find("gone.wav does not exist"), std::string::npos);
    EXPECT_EQ(schedule.problems[3].text, "pads.A-1-5: the card has no file K72_0077.AVI");
    ASSERT_EQ(schedule.changes.size(), 1u);
    EXPECT_EQ(schedule.changes[0].where, (PadLocation{0, 0, 1}));
    EXPECT_EQ(schedule.conversions.size(), 1u) << "nothing is converted for a pad that cannot be made";
}

TEST_F(ApplyScheduleTest, AnEmptiedPadsFilesGoUnlessAnotherPadNamesThem) {
    SourceProbe probe;
    card_.Apply(card_.Schedule(Plan(R"("A-1-1": {"movie": "clips/intro.mp4", "sound": "clips/intro.wav"},
                                       "A-1-2": {"movie": "clips/intro.mp4"})"),
                               probe));
    const std::string movie = card_.Pad({0, 0, 0})->files.front();
    const std::string sound = card_.Pad({0, 0, 0})->sound;
    card_.Apply(card_.Schedule(Plan(R"("A-1-1": null, "A-1-3": null)"), probe));
    EXPECT_EQ(card_.Pad({0, 0, 0}), nullptr);
    EXPECT_TRUE(card_.Has(movie)) << "A-1-2 still shows it";
    EXPECT_FALSE(card_.Has(sound));
    const ApplySchedule again = card_.Schedule(Plan(R"("A-1-1": null, "A-1-2": null)"), probe);
    EXPECT_EQ(again.unchanged, (std::vector<PadLocation>{PadLocation{0, 0, 0}}));
    card_.Apply(again);
    EXPECT_FALSE(card_.Has(movie));
}

TEST_F(ApplyScheduleTest, PlanApplyPlanGivesTheSamePlanAndKeptFilesStay) {
    SourceProbe probe;
    card_.Apply(card_.Schedule(Plan(kShow), probe));
    const std::string kept = card_.Pad({0, 0, 1})->files.front();
    const std::string told = card_.Told(dir_.Path());
    // The plan told, with one pad turned into a file kept as it is, applied again: nothing to do.
    std::string edited = told;
    const std::string outro = "\"movie\": \"clips/outro.mp4\"";
    edited.replace(edited.find(outro), outro.size(), "\"card-movie\": \"" + kept + "\"");
    const PlanReadResult read = ReadPlan(edited, dir_.Path());
    ASSERT_TRUE(read.Ok()) << edited;
    EXPECT_TRUE(card_.Schedule(*read.plan, probe).NothingToDo());
    EXPECT_EQ(card_.Told(dir_.Path()), told);
    EXPECT_NE(told.find("\"pictures\": \"stills/night/\""), std::string::npos) << told;
    EXPECT_NE(told.find("\"fit\": \"crop\""), std::string::npos) << told;
    EXPECT_NE(told.find("\"quality\": 2"), std::string::npos) << told;

    // The same plan on a fresh card gives the same text again.
    FakeCard other(dir_ / "other");
    other.Apply(other.Schedule(*ReadPlan(told, dir_.Path()).plan, probe));
    EXPECT_EQ(other.Told(dir_.Path()), told);
}

TEST_F(ApplyScheduleTest, AnApplyStoppedHalfWayIsFinishedByTheNext) {
    const CardPlan plan = Plan(kShow);
    SourceProbe probe;
    card_.Apply(card_.Schedule(plan, probe), 2);
    const ApplySchedule rest = card_.Schedule(plan, probe);
    EXPECT_EQ(rest.unchanged, (std::vector<PadLocation>{{0, 0, 0}, {0, 0, 1}}));
    ASSERT_EQ(rest.changes.size(), 2u);
    EXPECT_EQ(rest.conversions.size(), 5u);
    card_.Apply(rest);
    EXPECT_TRUE(card_.Schedule(plan, probe).NothingToDo());
}

} // namespace
} // namespace k72

namespace k72 {

// A fill is applied as a plan of its number: a folder that fits on one pad is named as the folder, so
// that the card is told as that folder again; the parts of a larger one list their pictures.
TEST(PlanOfFill, EachPlacementIsAPadOfTheNumber) {
    FillPlan fill;
    fill.placements.push_back({0, FillItemKind::Movie, "b.mkv", {}, fs::path("b.wav")});
    fill.placements.push_back({1, FillItemKind::Picture, "c.jpg", {"c.jpg"}, std::nullopt});
    fill.placements.push_back({2, FillItemKind::PictureFolder, "night", {"night/1.jpg"}, std::nullopt});
    fill.placements.push_back({3, FillItemKind::PictureFolder, "many", {"many/1.jpg"}, std::nullopt, 1, 2});
    const CardPlan plan = PlanOfFill(fill, 2, 5);
    ASSERT_EQ(plan.pads.size(), 4u);
    EXPECT_EQ(plan.pads[0].where, (PadLocation{2, 5, 0}));
    EXPECT_EQ(plan.pads[0].kind, PadKindMovie);
    EXPECT_EQ(plan.pads[0].sources, std::vector<fs::path>{"b.mkv"});
    EXPECT_EQ(plan.pads[0].sound, fs::path("b.wav"));
    EXPECT_EQ(plan.pads[1].kind, PadKindStill);
    EXPECT_EQ(plan.pads[1].sources, std::vector<fs::path>{"c.jpg"});
    EXPECT_EQ(plan.pads[2].pictureFolder, fs::path("night"));
    EXPECT_TRUE(plan.pads[2].sources.empty());
    EXPECT_FALSE(plan.pads[3].pictureFolder.has_value());
    EXPECT_EQ(plan.pads[3].sources, std::vector<fs::path>{"many/1.jpg"});
}

} // namespace k72
