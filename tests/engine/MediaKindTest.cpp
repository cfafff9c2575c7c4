// What a file is, by its content first: misnamed files are still recognised, content nobody knows keeps
// its name's kind (its converter then refuses it), and the shared list of extensions covers what people
// carry.

#include "engine/MediaKind.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using k72::KindOfExtension;
using k72::KindOfFile;
using k72::MediaKind;
using namespace k72test;

TEST(MediaKind, ContentDecidesWithTheNameAsFirstGuess) {
    TempDir dir;
    const std::string picture = "-f lavfi -i testsrc2=size=64x48 -frames:v 1 ";
    const std::string movie =
        "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.2 -c:v libx264 -f matroska ";
    const std::string sound = "-f lavfi -i sine=duration=0.2 ";
    ASSERT_TRUE(MakeMedia(dir / "photo.JPG", picture + "-f mjpeg"));
    ASSERT_TRUE(MakeMedia(dir / "photo-named.mp4", picture + "-f mjpeg"));
    ASSERT_TRUE(MakeMedia(dir / "clip.webm", movie));
    ASSERT_TRUE(MakeMedia(dir / "clip-named.jpg", movie));
    ASSERT_TRUE(MakeMedia(dir / "song.mp3", sound));
    ASSERT_TRUE(MakeMedia(dir / "song-named.avi", sound + "-f wav"));
    // A sound with a cover picture is a sound, not a movie.
    ASSERT_TRUE(MakeMedia(dir / "covered.mp3", sound + "-i " + Quote(dir / "photo.JPG") +
                                                   " -map 0 -map 1 -c:v mjpeg -disposition:v attached_pic"));
    ASSERT_TRUE(MakeMedia(dir / "still.gif", picture + "-f gif"));
    const std::string text = "a shopping list, not a movie\n";
    WriteFileBytes(dir / "list.mkv", std::vector<std::uint8_t>(text.begin(), text.end()));
    WriteFileBytes(dir / "list.txt", std::vector<std::uint8_t>(text.begin(), text.end()));

    const struct {
        const char* name;
        MediaKind kind;
    } cases[] = {{"photo.JPG", MediaKind::Picture},  {"photo-named.mp4", MediaKind::Picture},
                 {"clip.webm", MediaKind::Movie},    {"clip-named.jpg", MediaKind::Movie},
                 {"song.mp3", MediaKind::Sound},     {"song-named.avi", MediaKind::Sound},
                 {"covered.mp3", MediaKind::Sound},  {"still.gif", MediaKind::Picture},
                 {"list.mkv", MediaKind::Movie},     {"list.txt", MediaKind::Unknown},
                 {"missing.M2TS", MediaKind::Movie}, {"missing.txt", MediaKind::Unknown}};
    for (const auto& item : cases) {
        EXPECT_EQ(KindOfFile(dir / item.name), item.kind) << item.name;
    }
}

TEST(MediaKind, OneListOfExtensionsInAnyLetterCase) {
    for (const char* name :
         {"a.avi", "a.MKV", "a.WebM", "a.m2ts", "a.mts", "a.3g2", "a.ogv", "a.mxf", "a.vob"}) {
        EXPECT_EQ(KindOfExtension(name), MediaKind::Movie) << name;
    }
    for (const char* name : {"a.jpeg", "a.Heic", "a.avif", "a.tif", "a.TIFF", "a.webp", "a.gif"}) {
        EXPECT_EQ(KindOfExtension(name), MediaKind::Picture) << name;
    }
    for (const char* name : {"a.wav", "a.MP3", "a.flac", "a.ogg", "a.m4a"}) {
        EXPECT_EQ(KindOfExtension(name), MediaKind::Sound) << name;
    }
    for (const char* name : {"a.txt", "noextension", "a.jpg/b"}) {
        EXPECT_EQ(KindOfExtension(name), MediaKind::Unknown) << name;
    }
    // No extension is in two lists.
    for (MediaKind kind : {MediaKind::Movie, MediaKind::Picture, MediaKind::Sound}) {
        for (std::string_view extension : k72::KnownExtensions(kind)) {
            EXPECT_EQ(KindOfExtension("x." + std::string(extension)), kind) << extension;
        }
    }
}

} // namespace
