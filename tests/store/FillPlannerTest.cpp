// The rules of a fill: name order, picture folders, sounds by base name, occupied pads, overflow and
// replace, and what is left aside. Files are empty; their kind is taken from their names.

#include "store/FillPlanner.h"
#include "store/NaturalOrder.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace k72 {
namespace {

namespace fs = std::filesystem;

TEST(NaturalOrder, NumbersByValueCaseAsideThenBytes) {
    std::vector<std::string> names = {"clip10.mov",
                                      "Clip2.mov",
                                      "clip2.mov",
                                      "clip1.mov",
                                      "clip02.mov",
                                      "a b",
                                      "a",
                                      "ab",
                                      "é.jpg",
                                      "z.jpg",
                                      "x99999999999999999999",
                                      "x100"};
    std::sort(names.begin(), names.end(), NaturalLess);
    const std::vector<std::string> expected = {
        "a",          "a b",       "ab",         "clip1.mov", "Clip2.mov",
        "clip02.mov", "clip2.mov", "clip10.mov", "x100",      "x99999999999999999999",
        "z.jpg",      "é.jpg"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(NaturalCompare("same", "same"), 0);
    // Folder by folder: everything in "a" before "a b", whatever the names inside.
    EXPECT_TRUE(NaturalPathLess("A/z.jpg", "a b/a.jpg"));
    EXPECT_TRUE(NaturalPathLess("A/x", "a/y"));
    EXPECT_TRUE(NaturalPathLess("a/x", "a/x/y"));
}

// A folder tree made from names ("x/" is a folder), and the plan told in lines a test can compare.
class FillPlannerTest : public ::testing::Test {
protected:
    void Make(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            if (name.back() == '/') {
                fs::create_directories(root_ / name);
            } else {
                fs::create_directories((root_ / name).parent_path());
                k72test::WriteFileBytes(root_ / name, {});
            }
        }
    }

    FillPlan Plan(const std::vector<std::string>& paths, int startPad = 0, std::vector<int> occupied = {},
                  bool replace = false) {
        FillRequest request;
        for (const std::string& path : paths) {
            request.paths.push_back(root_ / path);
        }
        request.startPad = startPad;
        for (int pad : occupied) {
            request.occupied[static_cast<std::size_t>(pad)] = true;
        }
        request.replace = replace;
        return PlanFill(request, [](const fs::path& file) { return KindOfExtension(file); });
    }

    std::string Name(const fs::path& path) const { return path.lexically_relative(root_).generic_string(); }

    // "3 clips/c.mov movie +clips/c.wav", "4 night pictures x12", "left night x50", "a.txt: <why>".
    std::vector<std::string> Lines(const FillPlan& plan) const {
        std::vector<std::string> lines;
        for (const FillPlacement& p : plan.placements) {
            std::string line =
                std::to_string(p.pad + 1) + " " + Name(p.source) + " " + std::string(FillKindWord(p.kind));
            if (p.kind == FillItemKind::PictureFolder) {
                line += " x" + std::to_string(p.pictures.size()) + " " + Name(p.pictures.front());
                line += p.parts > 1 ? " " + std::to_string(p.part) + "/" + std::to_string(p.parts) : "";
            }
            line += p.sound ? " +" + Name(*p.sound) : "";
            line += p.replaces ? " replaces" : "";
            lines.push_back(line);
        }
        for (const FillLeftOver& left : plan.leftOver) {
            lines.push_back("left " + Name(left.source) + " x" + std::to_string(left.pictures.size()) +
                            (left.sound ? " +" + Name(*left.sound) : ""));
        }
        for (const FillIgnored& ignored : plan.ignored) {
            lines.push_back(Name(ignored.path) + ": " + std::string(FillIgnoreText(ignored.reason)));
        }
        return lines;
    }

    k72test::TempDir dir_;
    fs::path root_ = dir_.Path();
};

TEST_F(FillPlannerTest, SourcesInNameOrderFolderPicturesInOnePadSoundsByBaseName) {
    Make({"show/clip10.mov",      "show/clip2.MP4",       "show/Clip1.mkv",     "show/clip1.WAV",
          "show/b.jpg",           "show/night/n10.jpg",   "show/night/n2.png",  "show/night/N1.jpg",
          "show/night/film.mov",  "show/night/music.wav", "show/night/deeper/", "show/night.mp3",
          "show/lonely.wav",      "show/notes.txt",       "show/.DS_Store",     "show/empty/",
          "show/docs/readme.txt", "show/c.mov",           "show/c.flac",        "show/c.wav"});
    EXPECT_EQ(Lines(Plan({"show"})),
              (std::vector<std::string>{
                  "1 show/b.jpg picture",
                  "2 show/c.mov movie +show/c.flac",
                  "3 show/Clip1.mkv movie +show/clip1.WAV",
                  "4 show/clip2.MP4 movie",
                  "5 show/clip10.mov movie",
                  "6 show/night pictures x3 show/night/N1.jpg +show/night.mp3",
                  "show/.DS_Store: hidden file",
                  "show/notes.txt: not a movie, picture or sound",
                  "show/docs: no pictures in this folder",
                  "show/empty: empty folder",
                  "show/night/deeper: a folder inside a picture folder is not looked into",
                  "show/night/film.mov: a picture folder takes only pictures",
                  "show/night/music.wav: a picture folder takes only pictures",
                  "show/c.wav: another sound of the same name goes with it",
                  "show/lonely.wav: no movie, picture or picture folder has this sound's name",
              }));
}

TEST_F(FillPlannerTest, PadsFromTheStartSkipOccupiedOnesUnlessReplacingAndWhatDoesNotFitIsListed) {
    Make({"a.mov", "b.mov", "c.mov", "c.wav", "d.mov"});
    struct Case {
        int start;
        std::vector<int> occupied;
        bool replace;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {0, {0, 2}, false, {"2 a.mov movie", "4 b.mov movie", "5 c.mov movie +c.wav", "6 d.mov movie"}},
        {0,
         {0, 2},
         true,
         {"1 a.mov movie replaces", "2 b.mov movie", "3 c.mov movie +c.wav replaces", "4 d.mov movie"}},
        {9, {10}, false, {"10 a.mov movie", "12 b.mov movie", "left c.mov x0 +c.wav", "left d.mov x0"}},
        {0,
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         false,
         {"left a.mov x0", "left b.mov x0", "left c.mov x0 +c.wav", "left d.mov x0"}},
    };
    for (const Case& c : cases) {
        const FillPlan plan =
            Plan({"d.mov", "c.mov", "b.mov", "a.mov", "c.wav"}, c.start, c.occupied, c.replace);
        EXPECT_EQ(Lines(plan), c.lines) << "start " << c.start << " replace " << c.replace;
        EXPECT_EQ(plan.AllPlaced(), plan.leftOver.empty());
    }
}

TEST_F(FillPlannerTest, AFolderOfMoreThanAHundredPicturesTakesMorePadsAndItsRestIsListed) {
    std::vector<std::string> names = {"big.wav", "set/big.wav"};
    for (int i = 1; i <= 250; ++i) {
        names.push_back("set/big/p" + std::to_string(i) + ".jpg");
    }
    Make(names);
    // The sound beside the folder goes with each of its pads; one elsewhere with the same name does not.
    EXPECT_EQ(
        Lines(Plan({"set", "big.wav"}, 8)),
        (std::vector<std::string>{"9 set/big pictures x100 set/big/p1.jpg 1/3 +set/big.wav",
                                  "10 set/big pictures x100 set/big/p101.jpg 2/3 +set/big.wav",
                                  "11 set/big pictures x50 set/big/p201.jpg 3/3 +set/big.wav",
                                  "big.wav: no movie, picture or picture folder has this sound's name"}));
    const FillPlan full = Plan({"set"}, 10);
    EXPECT_EQ(Lines(full),
              (std::vector<std::string>{"11 set/big pictures x100 set/big/p1.jpg 1/3 +set/big.wav",
                                        "12 set/big pictures x100 set/big/p101.jpg 2/3 +set/big.wav",
                                        "left set/big x50 +set/big.wav"}));
    EXPECT_EQ(Name(full.leftOver.front().pictures.front()), "set/big/p201.jpg");
}

TEST_F(FillPlannerTest, FilesGivenOneByOneAreSortedAndTakenOnce) {
    Make({"x/clip10.mov", "x/clip9.mov", "y/clip1.mov", "x/clip9.wav", "x/shot.jpg"});
    // As a shell's glob gives them (clip10 before clip9), one twice, one missing, a folder of a file.
    EXPECT_EQ(Lines(Plan({"x/clip10.mov", "x/clip9.mov", "x/./clip9.mov", "y", "gone.mov", "x/clip9.wav",
                          "x/shot.jpg"})),
              (std::vector<std::string>{"1 x/clip9.mov movie +x/clip9.wav", "2 x/clip10.mov movie",
                                        "3 x/shot.jpg picture", "4 y/clip1.mov movie",
                                        "x/./clip9.mov: given twice", "gone.mov: does not exist"}));
}

} // namespace
} // namespace k72
