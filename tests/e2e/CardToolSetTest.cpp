// k72-card fill, plan and apply on real conversions: a number filled from a folder, a plan applied,
// told again and applied again.
#include "tests/e2e/CardToolSupport.h"

#include <QJsonArray>

#include <fcntl.h>
#include <sys/stat.h>

namespace k72test {
namespace {

class CardToolSetTest : public CardToolTest {
protected:
    std::filesystem::path Movie(const std::filesystem::path& path) const {
        std::filesystem::create_directories(path.parent_path());
        MakeMedia(path, "-f lavfi -i testsrc2=size=160x120:rate=30:duration=1 -f lavfi -i "
                        "sine=frequency=440:duration=1 -c:v mpeg4 -q:v 10 -c:a aac -shortest");
        return path;
    }
    std::filesystem::path Picture(const std::filesystem::path& path,
                                  const std::string& colour = "red") const {
        std::filesystem::create_directories(path.parent_path());
        MakeMedia(path, "-f lavfi -i color=" + colour + ":size=64x48 -frames:v 1");
        return path;
    }
    std::filesystem::path Sound(const std::filesystem::path& path) const {
        MakeMedia(path, "-f lavfi -i sine=frequency=220:duration=1");
        return path;
    }
    // Pictures of one colour each: a folder of pictures that differ.
    void Pictures(const std::filesystem::path& folder, const std::vector<std::string>& colours) const {
        for (std::size_t i = 0; i < colours.size(); ++i) {
            Picture(folder / ("p" + std::to_string(i + 1) + ".png"), colours[i]);
        }
    }
    void WritePlan(const std::string& pads) const {
        std::ofstream(dir / "plan.json") << "{\"k72-plan\": 1, \"pads\": {" << pads << "}}";
    }
    CardRun Apply(const std::string& options = "") const {
        return Run("apply " + Root() + " " + Quote(dir / "plan.json") + " --json " + options);
    }
    // The files a pad names, as show tells them.
    static std::vector<std::string> Files(const QJsonObject& pads, const char* pad) {
        return Strings(pads.value(pad).toObject().value("files"));
    }
    std::string PadFileBytes() const { return ReadFileText(card.folder / "K72_PAD.SYS"); }
};

// A folder of movies, pictures, a picture folder and a sound filled from pad 9 on: the occupied pad is
// skipped, the sound goes with its movie, a picture that cannot be converted leaves its pad empty and is
// named, and what finds no free pad is listed without being converted.
TEST_F(CardToolSetTest, FillPlacesInNameOrderAndReportsWhatFailedOrDidNotFit) {
    const auto set = dir / "set";
    Movie(set / "a.mp4");
    Sound(set / "a.wav");
    std::filesystem::create_directories(set);
    std::ofstream(set / "broken.png") << "\x89PNG\r\n\x1a\n" << std::string(200, 'x');
    Pictures(set / "night", {"red", "green", "blue"});
    Movie(set / "z.mp4");
    ASSERT_EQ(Run("import " + Root() + " A-1-10 " + Quote(Picture(dir / "old.png", "white"))).status, 0);

    CardRun dry = Run("fill " + Root() + " A-1-9 " + Quote(set) + " --dry-run");
    EXPECT_EQ(dry.status, 1);
    EXPECT_NE(dry.out.find("A-1-9  " + (set / "a.mp4").string() + "  movie"), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("A-1-12  " + (set / "night").string() + "  pictures"), std::string::npos)
        << dry.out;
    EXPECT_EQ(Pads().size(), 1);

    const CardRun run = Run("fill " + Root() + " A-1-9 " + Quote(set) + " --json");
    EXPECT_EQ(run.status, 1) << run.err;
    const QJsonObject result = Json(run);
    EXPECT_FALSE(result["ok"].toBool());
    std::vector<std::string> states;
    for (const auto& placement : result["placements"].toArray()) {
        states.push_back(placement.toObject()["pad"].toString().toStdString() + " " +
                         placement.toObject()["state"].toString().toStdString());
    }
    EXPECT_EQ(states, (std::vector<std::string>{"A-1-9 done", "A-1-11 failed", "A-1-12 done"}));
    ASSERT_EQ(result["leftOver"].toArray().size(), 1);
    EXPECT_EQ(result["leftOver"][0]["source"].toString().toStdString(), (set / "z.mp4").string());

    const QJsonObject pads = Pads();
    EXPECT_EQ(pads["A-1-9"]["kind"].toString(), "movie");
    EXPECT_EQ(pads["A-1-9"]["audio"].toString(), "A.WAV");
    EXPECT_EQ(pads["A-1-10"]["files"].toArray().size(), 1);
    EXPECT_FALSE(pads.contains("A-1-11"));
    EXPECT_EQ(pads["A-1-12"]["files"].toArray().size(), 3);
    // Only what is on a pad was converted: no file for the failed picture or the movie left over.
    EXPECT_EQ(CardFiles().size(), 1 + 1 + 1 + 3 + 1); // the pad file, old.png, a.mp4, night, a.wav
    EXPECT_TRUE(TempIsEmpty());
}

// plan -> apply -> plan tells the same plan; the second apply changes nothing and reads no source (a
// source changed behind the same size and time is not noticed); a changed source converts its pad only;
// a source named on two pads is one file; null empties a pad and deletes the files no pad names.
TEST_F(CardToolSetTest, ApplyConvertsOnlyWhatChangedAndSharesOneSource) {
    Pictures(dir / "night", {"red", "green"});
    const auto one = Picture(dir / "one.png", "white");
    const auto movie = Movie(dir / "intro.mp4");
    WritePlan("\"A-1-1\": {\"movie\": \"intro.mp4\", \"sound\": \"tone.wav\"},"
              "\"A-1-2\": {\"pictures\": \"night/\"},"
              "\"A-1-3\": {\"pictures\": [\"one.png\"]},"
              "\"B-2-1\": {\"pictures\": [\"one.png\"]}");
    Sound(dir / "tone.wav");
    CardRun run = Apply();
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_EQ(Json(run)["conversions"].toInt(), 1 + 1 + 2 + 1);
    QJsonObject pads = Pads();
    EXPECT_EQ(Files(pads, "A-1-3"), Files(pads, "B-2-1"));

    const CardRun plan = Run("plan " + Root());
    ASSERT_EQ(plan.status, 0) << plan.err;
    std::ofstream(dir / "plan.json") << plan.out;
    run = Apply();
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Json(run)["changes"].toArray().size(), 0) << run.out;
    EXPECT_EQ(Run("plan " + Root()).out, plan.out);

    // Other bytes behind the same size and time: not read, so not noticed.
    const std::string padFile = PadFileBytes();
    struct stat before {};
    ASSERT_EQ(::stat(one.c_str(), &before), 0);
    const std::string bytes = ReadFileText(one);
    std::ofstream(one, std::ios::binary) << std::string(bytes.size(), '\0');
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, one.c_str(), times, 0), 0);
    run = Apply();
    EXPECT_EQ(Json(run)["changes"].toArray().size(), 0) << run.out;
    EXPECT_EQ(PadFileBytes(), padFile);

    // A picture of the folder changed: that pad alone, one conversion.
    Picture(dir / "night" / "p2.png", "yellow");
    run = Apply();
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonObject changed = Json(run);
    EXPECT_EQ(changed["conversions"].toInt(), 1);
    ASSERT_EQ(changed["changes"].toArray().size(), 1);
    EXPECT_EQ(changed["changes"][0]["pad"].toString(), "A-1-2");
    const QJsonObject after = Pads();
    EXPECT_EQ(after["A-1-1"], pads["A-1-1"]);
    ASSERT_EQ(Files(after, "A-1-2").size(), 2);
    EXPECT_EQ(Files(after, "A-1-2")[0], Files(pads, "A-1-2")[0]);
    EXPECT_NE(Files(after, "A-1-2")[1], Files(pads, "A-1-2")[1]);
    const std::string replaced = Files(pads, "A-1-2")[1];
    EXPECT_FALSE(std::filesystem::exists(card.folder / replaced));

    // Emptied: A-1-3's file stays while B-2-1 names it, and goes with the last pad that did.
    const std::string shared = Files(pads, "A-1-3").at(0);
    WritePlan("\"A-1-3\": null");
    ASSERT_EQ(Apply().status, 0);
    EXPECT_TRUE(std::filesystem::exists(card.folder / shared));
    WritePlan("\"B-2-1\": null");
    ASSERT_EQ(Apply().status, 0);
    EXPECT_FALSE(std::filesystem::exists(card.folder / shared));
    EXPECT_FALSE(Pads().contains("B-2-1"));
}

// A movie, pictures and a sound put onto pads one by one are told by their sources, with the settings
// they were converted with, and applying that plan converts nothing again.
TEST_F(CardToolSetTest, SingleImportsAreToldByTheirSourcesAndNotConvertedAgain) {
    const auto movie = Movie(dir / "Beach Day.mp4");
    const auto red = Picture(dir / "red.png", "red");
    const auto blue = Picture(dir / "blue.png", "blue");
    const auto tone = Sound(dir / "tone.wav");
    ASSERT_EQ(Run("import " + Root() + " A-1-1 " + Quote(movie) + " --fps pal --quality 3").status, 0);
    ASSERT_EQ(Run("add-still " + Root() + " A-1-2 " + Quote(red) + " " + Quote(blue)).status, 0);
    ASSERT_EQ(Run("audio " + Root() + " A-1-1 " + Quote(tone) + " --convert").status, 0);

    const CardRun plan = Run("plan " + Root());
    ASSERT_EQ(plan.status, 0) << plan.err;
    for (const char* told : {"Beach Day.mp4", "red.png", "blue.png", "tone.wav", "\"fps\": \"pal\""}) {
        EXPECT_NE(plan.out.find(told), std::string::npos) << told << "\n" << plan.out;
    }
    EXPECT_EQ(plan.out.find("card-"), std::string::npos) << plan.out;

    std::ofstream(dir / "plan.json") << plan.out;
    const std::string padFile = PadFileBytes();
    const CardRun run = Apply();
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_EQ(Json(run)["conversions"].toInt(), 0);
    EXPECT_EQ(Json(run)["changes"].toArray().size(), 0) << run.out;
    EXPECT_EQ(PadFileBytes(), padFile);
}

// A picture of a pad the plan empties, which the plan puts on another pad, is taken from the card as it
// is and stays there: nothing else gets its file number.
TEST_F(CardToolSetTest, AFileAnEmptiedPadGivesToAnotherPadStays) {
    const auto red = Picture(dir / "red.png", "red");
    Picture(dir / "blue.png", "blue");
    ASSERT_EQ(Run("import " + Root() + " A-1-3 " + Quote(red)).status, 0);
    const std::string file = Files(Pads(), "A-1-3").at(0);
    WritePlan("\"A-1-1\": {\"pictures\": [\"blue.png\"]}, \"A-1-2\": {\"pictures\": [\"red.png\"]},"
              "\"A-1-3\": null");
    const CardRun run = Apply();
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_EQ(Json(run)["conversions"].toInt(), 1);
    const QJsonObject pads = Pads();
    EXPECT_EQ(Files(pads, "A-1-2"), std::vector<std::string>{file});
    EXPECT_NE(Files(pads, "A-1-1"), std::vector<std::string>{file});
    EXPECT_TRUE(std::filesystem::exists(card.folder / file));
    EXPECT_EQ(Run("check " + Root()).status, 0);
}

// A plan with a mistake anywhere changes nothing and says where.
TEST_F(CardToolSetTest, WrongPlanChangesNothing) {
    Picture(dir / "one.png");
    WritePlan("\"A-1-1\": {\"pictures\": [\"one.png\"]}, \"A-1-2\": {\"movie\": 5}");
    const CardRun run = Apply();
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("A-1-2"), std::string::npos) << run.err;
    EXPECT_TRUE(Pads().isEmpty());
    EXPECT_FALSE(Json(run)["ok"].toBool());
}

} // namespace
} // namespace k72test
