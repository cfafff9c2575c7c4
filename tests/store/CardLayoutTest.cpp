#include "store/CardLayout.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace k72 {
namespace {

using k72test::TempDir;

TEST(CardLayout, WildcardIgnoresCaseAndLetsMarksBeforeTheDotMatchNothing) {
    const std::string_view movie = cardlayout::kMoviePattern;
    EXPECT_TRUE(WildcardMatchNoCase(movie, "K72_0001.AVI"));
    EXPECT_TRUE(WildcardMatchNoCase(movie, "k72_0020.avi"));
    EXPECT_TRUE(WildcardMatchNoCase(movie, "K72_ABCD.Avi"));
    EXPECT_TRUE(WildcardMatchNoCase(movie, "K72_12.AVI"));
    EXPECT_TRUE(WildcardMatchNoCase(movie, "K72_.AVI"));
    EXPECT_FALSE(WildcardMatchNoCase(movie, "K72_12345.AVI"));
    EXPECT_FALSE(WildcardMatchNoCase(movie, "K72_0001.AVIX"));
    EXPECT_FALSE(WildcardMatchNoCase(movie, "K72_0001.JPG"));
    EXPECT_FALSE(WildcardMatchNoCase(movie, "X72_0001.AVI"));
    EXPECT_FALSE(WildcardMatchNoCase(movie, "K72_0001AVI"));
    EXPECT_TRUE(WildcardMatchNoCase(cardlayout::kStillPattern, "K72_-001.JPG"));
}

TEST(CardLayout, FileNumberIsTheLeadingDigitsAfterTheUnderscore) {
    EXPECT_EQ(FileNumberOfName("K72_0012.JPG"), 12u);
    EXPECT_EQ(FileNumberOfName("k72_0020.avi"), 20u);
    EXPECT_EQ(FileNumberOfName("K72_9999.AVI"), 9999u);
    EXPECT_EQ(FileNumberOfName("K72_ABCD.JPG"), 0u);
    EXPECT_EQ(FileNumberOfName("K72_12.AVI"), 12u);
    // A sign is not a number part: K72_-001 must not read as a huge unsigned value.
    EXPECT_EQ(FileNumberOfName("K72_-001.JPG"), 0u);
    EXPECT_EQ(FileNumberOfName("K72_+001.JPG"), 0u);
    EXPECT_EQ(FileNumberOfName("K72_.AVI"), 0u);
}

TEST(CardLayout, CardFileNamesUseFourDigits) {
    EXPECT_EQ(MakeCardFileName(1, "AVI"), "K72_0001.AVI");
    EXPECT_EQ(MakeCardFileName(13, "JPG"), "K72_0013.JPG");
    EXPECT_EQ(MakeCardFileName(9999, "JPG"), "K72_9999.JPG");
}

TEST(CardLayout, OnlyPlainNamesLeadIntoTheCardFolder) {
    for (const char* name : {"K72_0001.AVI", "SOUND.WAV", "LONGSO~1.WAV", "A", "a b.wav"}) {
        EXPECT_TRUE(IsPlainCardName(name)) << name;
    }
    for (const char* name : {"", ".", "..", "../PAD.SYS", "..\\X.AVI", "/etc/passwd", "A/B.AVI", "A\\B.AVI",
                             "ABCDEFGHIJKLM", "K72..AVI", "A\nB", "\x7f"}) {
        EXPECT_FALSE(IsPlainCardName(name)) << name;
    }
}

TEST(CardLayout, CardIsFoundWhateverTheCaseOfItsNames) {
    TempDir dir;
    const auto exact = dir / "exact";
    std::filesystem::create_directories(exact / "DCIM" / "000KAVLO");
    k72test::WriteFileBytes(exact / "DCIM" / "000KAVLO" / "K72_PAD.SYS", {1});
    auto paths = FindCardPaths(exact);
    EXPECT_EQ(paths.cardFolder, exact / "DCIM" / "000KAVLO");
    EXPECT_EQ(paths.padFilePath, exact / "DCIM" / "000KAVLO" / "K72_PAD.SYS");

    const auto lower = dir / "lower";
    std::filesystem::create_directories(lower / "dcim" / "000kavlo");
    k72test::WriteFileBytes(lower / "dcim" / "000kavlo" / "k72_pad.sys", {1});
    paths = FindCardPaths(lower);
    EXPECT_EQ(paths.cardFolder, lower / "dcim" / "000kavlo");
    EXPECT_EQ(paths.padFilePath, lower / "dcim" / "000kavlo" / "k72_pad.sys");

    // Nothing there: the usual spelling, so that opening fails.
    paths = FindCardPaths(dir / "none");
    EXPECT_EQ(paths.padFilePath, dir / "none" / "DCIM" / "000KAVLO" / "K72_PAD.SYS");

    // Two spellings side by side (only possible off the card): the exact one wins.
    std::filesystem::create_directories(lower / "DCIM");
    EXPECT_EQ(FindEntryNoCase(lower, "DCIM"), lower / "DCIM");
    EXPECT_EQ(FindEntryNoCase(lower, "Dcim"), lower / "DCIM") << "the smallest spelling, not directory order";
    EXPECT_FALSE(FindEntryNoCase(lower, "DCIMX"));
}

} // namespace
} // namespace k72
