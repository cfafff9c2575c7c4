// Plans of a card: pad names, reading with every mistake told by its place, writing and reading back
// the same plan, and a card told as a plan from the record of sources.

#include "store/PadLocationText.h"
#include "store/PlanReader.h"
#include "store/PlanWriter.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace k72 {
namespace {

namespace fs = std::filesystem;

TEST(PadLocationText, WrittenFormsOfPadsAndOfAFillsFirstPad) {
    struct Case {
        const char* text;
        std::optional<PadLocation> pad;
        std::optional<PadLocation> start;
    };
    const Case cases[] = {
        {"A-1-1", PadLocation{0, 0, 0}, PadLocation{0, 0, 0}},
        {"f-12-12", PadLocation{5, 11, 11}, PadLocation{5, 11, 11}},
        {"B-03-07", PadLocation{1, 2, 6}, PadLocation{1, 2, 6}},
        {"C-4", std::nullopt, PadLocation{2, 3, 0}},
        {"G-1-1", std::nullopt, std::nullopt},
        {"A-13-1", std::nullopt, std::nullopt},
        {"A-1-0", std::nullopt, std::nullopt},
        {"A-1-1-1", std::nullopt, std::nullopt},
        {"A-1-", std::nullopt, std::nullopt},
        {"A--1", std::nullopt, std::nullopt},
        {"A-+1-1", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParsePadLocation(c.text), c.pad) << c.text;
        EXPECT_EQ(ParseFillStart(c.text), c.start) << c.text;
    }
    EXPECT_EQ(PadLocation({5, 11, 11}).Text(), "F-12-12");
}

TEST(PlanReader, ReadsEveryKindOfPadWithPathsFromThePlansFolder) {
    const PlanReadResult read = ReadPlan(R"({ "k72-plan": 1,
        "settings": { "fps": "ntsc", "quality": 2, "deinterlace": false, "fit": "letterbox" },
        "pads": {
          "A-1-1": { "movie": "clips/intro.mp4", "sound": "clips/intro.wav", "fit": "crop" },
          "a-1-2": { "pictures": ["stills/a.jpg", "/elsewhere/b.heic"] },
          "A-1-3": { "pictures": "stills/night/", "quality": 4 },
          "A-1-4": null,
          "B-2-5": { "card-movie": "K72_0005.AVI", "card-sound": "DRUMS.WAV" },
          "A-1-6": { "card-pictures": ["K72_0006.JPG", "K72_0007.JPG"], "sound": "../up.wav" } } })",
                                         "/show/plan");
    ASSERT_TRUE(read.Ok()) << ::testing::PrintToString(read.errors);
    const CardPlan& plan = *read.plan;
    EXPECT_EQ(plan.settings, (PlanSettings{0, 2, false, FitMode::Letterbox}));
    ASSERT_EQ(plan.pads.size(), 6u);
    const PlanPad& movie = plan.pads[0];
    EXPECT_EQ(movie.kind, PadKindMovie);
    EXPECT_EQ(movie.sources, std::vector<fs::path>{"/show/plan/clips/intro.mp4"});
    EXPECT_EQ(movie.sound, fs::path("/show/plan/clips/intro.wav"));
    EXPECT_EQ(movie.settings, (PlanSettings{std::nullopt, std::nullopt, std::nullopt, FitMode::Crop}));
    EXPECT_EQ(movie.settings.Over(plan.settings.Over(Settings{})).fit, FitMode::Crop);
    EXPECT_EQ(plan.pads[1].where, (PadLocation{0, 0, 1}));
    EXPECT_EQ(plan.pads[1].sources, (std::vector<fs::path>{"/show/plan/stills/a.jpg", "/elsewhere/b.heic"}));
    EXPECT_EQ(plan.pads[2].pictureFolder, fs::path("/show/plan/stills/night"));
    EXPECT_TRUE(plan.pads[3].clear);
    EXPECT_EQ(plan.pads[4].where, (PadLocation{0, 0, 5})) << "pads come in pad order";
    EXPECT_EQ(plan.pads[4].cardFiles, (std::vector<std::string>{"K72_0006.JPG", "K72_0007.JPG"}));
    EXPECT_EQ(plan.pads[4].sound, fs::path("/show/up.wav"));
    EXPECT_EQ(plan.pads[5].cardFiles, std::vector<std::string>{"K72_0005.AVI"});
    EXPECT_EQ(plan.pads[5].cardSound, "DRUMS.WAV");
}

TEST(PlanReader, EachMistakeIsToldWithItsPlaceAndNothingIsTakenFromAWrongPlan) {
    struct Case {
        std::string text;
        std::string error;
    };
    const std::string head = R"({"k72-plan": 1, "pads": )";
    std::string hundredAndOne = "[";
    for (int i = 0; i < 101; ++i) {
        hundredAndOne += std::string(i ? "," : "") + "\"p.jpg\"";
    }
    hundredAndOne += "]";
    const Case cases[] = {
        {"{\"k72-plan\": 1, \"pads\": {", "the plan is not valid JSON: parse error at line 1, column 26"},
        {"[]", "the plan: must be a JSON object"},
        {R"({"pads": {}})", "k72-plan: missing"},
        {R"({"k72-plan": 2, "pads": {}})", "k72-plan: must be 1"},
        {R"({"k72-plan": 1})", "pads: missing"},
        {R"({"k72-plan": 1, "pads": {}, "pad": {}})", "pad: unknown key"},
        {R"({"k72-plan": 1, "pads": {}, "settings": {"fps": "secam"}})", "settings.fps: must be \"ntsc\""},
        {R"({"k72-plan": 1, "pads": {}, "settings": {"quality": 5}})",
         "settings.quality: must be a whole number"},
        {R"({"k72-plan": 1, "pads": {}, "settings": {"quality": 2.5}})", "settings.quality: must be a whole"},
        {R"({"k72-plan": 1, "pads": {}, "settings": {"deinterlace": 1}})",
         "settings.deinterlace: must be true"},
        {R"({"k72-plan": 1, "pads": {}, "settings": {"fit": "zoom"}})", "settings.fit: must be \"stretch\""},
        {R"({"k72-plan": 1, "pads": {}, "settings": {"speed": 1}})", "settings.speed: unknown setting"},
        {head + R"({"A-1-9": {"movie": 7}}})", "pads.A-1-9: \"movie\" must be a string path"},
        {head + R"({"A-1-9": {"movie": ""}}})", "pads.A-1-9: \"movie\" must be a string path"},
        {head + R"({"A-1-13": null}})", "pads.A-1-13: not a pad; pads are named BANK-NUMBER-PAD"},
        {head + R"({"A-1-1": null, "a-01-1": null}})", "pads.a-01-1: the same pad as A-1-1"},
        {head + R"({"A-1-1": null, "A-1-1": {"movie": "x"}}})", "pads.A-1-1: given twice"},
        {head + R"({"A-1-1": "clip.mp4"}})", "pads.A-1-1: must be an object such as"},
        {head + R"({"A-1-1": {}}})", "pads.A-1-1: give \"movie\" or \"pictures\""},
        {head + R"({"A-1-1": {"movie": "a", "pictures": ["b"]}}})", "pads.A-1-1: give only one of"},
        {head + R"({"A-1-1": {"pictures": []}}})",
         "pads.A-1-1: \"pictures\" must be a folder path or a list"},
        {head + R"({"A-1-1": {"pictures": ["a", 3]}}})", "pads.A-1-1: \"pictures\"[1] must be a string path"},
        {head + R"({"A-1-1": {"pictures": )" + hundredAndOne + "}}}",
         "pads.A-1-1: \"pictures\" lists 101 pictures; a pad holds at most 100"},
        {head + R"({"A-1-1": {"card-movie": "../K72_0001.AVI"}}})",
         "pads.A-1-1: \"card-movie\" must be the name of a file in the card folder"},
        {head + R"({"A-1-1": {"card-pictures": "K72_0001.JPG"}}})",
         "pads.A-1-1: \"card-pictures\" must be a list"},
        {head + R"({"A-1-1": {"movie": "a", "sound": "s", "card-sound": "S.WAV"}}})",
         "pads.A-1-1: give \"sound\" or \"card-sound\", not both"},
        {head + R"({"A-1-1": {"card-movie": "K72_0001.AVI", "fit": "crop"}}})",
         "pads.A-1-1: settings have no effect on files kept"},
        {head + R"({"A-1-1": {"movie": "a", "fit": "wide"}}})", "pads.A-1-1.fit: must be \"stretch\""},
        {head + R"({"A-1-1": {"movie": "a", "audio": "b"}}})", "pads.A-1-1.audio: unknown key; a pad has"},
    };
    for (const Case& c : cases) {
        const PlanReadResult read = ReadPlan(c.text, "/show");
        EXPECT_FALSE(read.Ok()) << c.text;
        ASSERT_FALSE(read.errors.empty()) << c.text;
        EXPECT_NE(read.errors.front().find(c.error), std::string::npos)
            << c.text << "\n  told: " << read.errors.front() << "\n  want: " << c.error;
    }
    const PlanReadResult several =
        ReadPlan(head + R"({"A-1-1": {"movie": 1}, "A-1-2": {"pictures": 2}, "A-1-3": null}})", "/");
    EXPECT_EQ(several.errors.size(), 2u) << "every mistake is told at once";
    EXPECT_FALSE(ReadPlanFile("/no/such/plan.json").Ok());
}

TEST(PlanWriter, APlanWrittenReadsBackTheSameWithPathsInsideItsFolderRelative) {
    CardPlan plan;
    plan.settings = PlanSettings::Of(Settings{});
    const auto pad = [](PadLocation where, PadKind kind) {
        PlanPad made;
        made.where = where;
        made.kind = kind;
        return made;
    };
    PlanPad movie = pad({0, 0, 0}, PadKindMovie);
    movie.sources = {"/show/clips/intro.mp4"};
    movie.sound = "/show/clips/intro.wav";
    movie.settings.fit = FitMode::Crop;
    PlanPad list = pad({0, 0, 1}, PadKindStill);
    list.sources = {"/show/stills/a.jpg", "/elsewhere/b.heic"};
    PlanPad folder = pad({0, 0, 2}, PadKindStill);
    folder.pictureFolder = "/show/stills/night";
    folder.settings.quality = 1;
    PlanPad cleared = pad({0, 0, 3}, PadKindEmpty);
    cleared.clear = true;
    PlanPad kept = pad({1, 1, 4}, PadKindMovie);
    kept.cardFiles = {"K72_0005.AVI"};
    kept.cardSound = "DRUMS.WAV";
    plan.pads = {movie, list, folder, cleared, kept};

    const std::string text = PlanText(plan, "/show");
    EXPECT_EQ(text, R"({
  "k72-plan": 1,
  "settings": {
    "fps": "ntsc",
    "quality": 4,
    "deinterlace": true,
    "fit": "stretch"
  },
  "pads": {
    "A-1-1": {
      "movie": "clips/intro.mp4",
      "sound": "clips/intro.wav",
      "fit": "crop"
    },
    "A-1-2": {
      "pictures": [
        "stills/a.jpg",
        "/elsewhere/b.heic"
      ]
    },
    "A-1-3": {
      "pictures": "stills/night/",
      "quality": 1
    },
    "A-1-4": null,
    "B-2-5": {
      "card-movie": "K72_0005.AVI",
      "card-sound": "DRUMS.WAV"
    }
  }
}
)");
    const PlanReadResult read = ReadPlan(text, "/show");
    ASSERT_TRUE(read.Ok()) << ::testing::PrintToString(read.errors);
    EXPECT_EQ(*read.plan, plan);
}

TEST(PlanWriter, ACardIsToldBySourcesWhereTheRecordKnowsThemAndByCardFilesElsewhere) {
    Settings planSettings;
    planSettings.quality = 2;
    const auto entry = [&](SourceKind kind, const std::string& source, std::uint64_t size,
                           Settings settings) {
        SourceEntry made;
        made.kind = kind;
        made.source.path = source;
        made.settings = RecordedSettings::For(kind, settings);
        made.cardFile = {size, 1};
        return made;
    };
    SourceRecord record;
    CardFileStamps card;
    Settings pal = planSettings;
    pal.fps = 1;
    record.Put("K72_0001.AVI", entry(SourceKind::Movie, "/show/a.mp4", 10, pal));
    record.Put("A.WAV", entry(SourceKind::Sound, "/show/a.wav", 11, planSettings));
    for (int i = 0; i < 3; ++i) {
        SourceEntry picture =
            entry(SourceKind::Picture, "/show/night/" + std::to_string(i) + ".jpg", 20 + i, pal);
        picture.folder = "/show/night";
        picture.folderIndex = static_cast<std::size_t>(i);
        picture.folderCount = 3;
        record.Put("K72_000" + std::to_string(2 + i) + ".JPG", picture);
        card["K72_000" + std::to_string(2 + i) + ".JPG"] = {20u + i, 1};
    }
    card["K72_0001.AVI"] = {10, 1};
    card["A.WAV"] = {11, 1};
    card["K72_0009.AVI"] = {30, 1};
    const std::vector<PadFiles> pads = {
        {{0, 0, 0}, PadKindMovie, {"K72_0001.AVI"}, "A.WAV"},
        {{0, 0, 1}, PadKindStill, {"K72_0002.JPG", "K72_0003.JPG", "K72_0004.JPG"}, ""},
        {{0, 0, 2}, PadKindStill, {"K72_0003.JPG", "K72_0002.JPG"}, ""}, // reordered: a list now
        {{0, 0, 3}, PadKindMovie, {"K72_0009.AVI"}, "OTHER.WAV"},        // filled elsewhere
        {{0, 0, 4}, PadKindEmpty, {}, ""},
    };
    const CardPlan plan = DescribeCard(pads, record, card, planSettings);
    ASSERT_EQ(plan.pads.size(), 4u);
    EXPECT_EQ(plan.pads[0].sources, std::vector<fs::path>{"/show/a.mp4"});
    EXPECT_EQ(plan.pads[0].sound, fs::path("/show/a.wav"));
    EXPECT_EQ(plan.pads[0].settings, (PlanSettings{1, std::nullopt, std::nullopt, std::nullopt}))
        << "only what differs from the plan's settings, and matters for a movie";
    EXPECT_EQ(plan.pads[1].pictureFolder, fs::path("/show/night"));
    EXPECT_EQ(plan.pads[1].settings, PlanSettings{}) << "the frame rate does not matter for pictures";
    EXPECT_EQ(plan.pads[2].sources, (std::vector<fs::path>{"/show/night/1.jpg", "/show/night/0.jpg"}));
    EXPECT_EQ(plan.pads[3].cardFiles, std::vector<std::string>{"K72_0009.AVI"});
    EXPECT_EQ(plan.pads[3].cardSound, "OTHER.WAV");
    // A card file written again since it was recorded is no longer known by its source.
    card["K72_0001.AVI"] = {99, 1};
    EXPECT_EQ(DescribeCard(pads, record, card, planSettings).pads[0].cardFiles,
              std::vector<std::string>{"K72_0001.AVI"});
}

} // namespace
} // namespace k72
