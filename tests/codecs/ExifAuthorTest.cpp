// The device picture file, byte for byte: the 448-byte header read back with a TIFF walker of its own,
// the APP1 length and pad byte, the main picture from its third byte, and writes that fail cleanly.

#include "codecs/CExifAuthor.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using k72::CExifAuthor;
using namespace k72test;

constexpr std::size_t kTiff = 12;

std::uint32_t LE16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}
std::uint32_t LE32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return LE16(b, at) | (LE16(b, at + 2) << 16);
}
std::uint32_t Chars(const char (&four)[5]) {
    return std::uint32_t(std::uint8_t(four[0])) | (std::uint32_t(std::uint8_t(four[1])) << 8) |
           (std::uint32_t(std::uint8_t(four[2])) << 16) | (std::uint32_t(std::uint8_t(four[3])) << 24);
}

struct Entry {
    std::uint32_t tag, type, count, value;
    bool operator==(const Entry&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << std::hex << "{tag " << e.tag << " type " << e.type << " count " << e.count << " value "
               << e.value << "}";
}

std::vector<Entry> ReadIfd(const std::vector<std::uint8_t>& file, std::uint32_t tiffPosition,
                           std::uint32_t& next) {
    const std::size_t at = kTiff + tiffPosition;
    std::vector<Entry> entries;
    for (std::uint32_t i = 0; i < LE16(file, at); ++i) {
        const std::size_t e = at + 2 + 12 * i;
        entries.push_back({LE16(file, e), LE16(file, e + 2), LE32(file, e + 4), LE32(file, e + 8)});
    }
    next = LE32(file, at + 2 + 12 * entries.size());
    return entries;
}

std::string TextAt(const std::vector<std::uint8_t>& file, std::uint32_t tiffPosition, std::size_t count) {
    return std::string(file.begin() + kTiff + tiffPosition, file.begin() + kTiff + tiffPosition + count);
}

// Stand-ins for the two JPEG streams: the writer copies them, it does not read them.
std::vector<std::uint8_t> PatternBytes(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    bytes[0] = 0xFF;
    bytes[1] = 0xD8;
    return bytes;
}

class ExifAuthorTest : public ::testing::Test {
protected:
    std::vector<std::uint8_t> WriteWith(std::size_t thumbLength) {
        thumb = PatternBytes(thumbLength, 3);
        author.SetImages(main.data(), static_cast<std::int32_t>(main.size()), thumb.data(),
                         static_cast<std::int32_t>(thumb.size()));
        EXPECT_EQ(author.Write((dir / "out.jpg").string()), 0);
        return ReadFileBytes(dir / "out.jpg");
    }
    bool OnlyFileIs(const std::filesystem::path& folder, const std::string& name) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        return names == std::vector<std::string>{name};
    }
    TempDir dir;
    CExifAuthor author;
    std::vector<std::uint8_t> main = PatternBytes(5000, 11);
    std::vector<std::uint8_t> thumb;
};

TEST_F(ExifAuthorTest, HeaderIsTheFixedDeviceLayout) {
    const auto file = WriteWith(1000);
    ASSERT_EQ(file.size(), 448u + 1000 + 5000 - 2);
    const std::vector<std::uint8_t> start = {0xFF, 0xD8, 0xFF, 0xE1, 0x05, 0xA4, 'E', 'x', 'i', 'f',
                                             0,    0,    'I',  'I',  0x2A, 0,    8,   0,   0,   0};
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin(), file.begin() + 20), start);

    std::uint32_t next = 0;
    EXPECT_EQ(ReadIfd(file, 8, next), (std::vector<Entry>{{0x010F, 2, 7, 122},
                                                          {0x0110, 2, 5, 129},
                                                          {0x0112, 3, 1, 1},
                                                          {0x011A, 5, 1, 134},
                                                          {0x011B, 5, 1, 142},
                                                          {0x0128, 3, 1, 2},
                                                          {0x0131, 2, 8, 150},
                                                          {0x0213, 3, 1, 2},
                                                          {0x8769, 4, 1, 158}}));
    EXPECT_EQ(next, 342u);
    EXPECT_EQ(TextAt(file, 122, 7), std::string("KAVELO\0", 7));
    EXPECT_EQ(TextAt(file, 129, 5), std::string("K-72\0", 5));
    EXPECT_EQ(TextAt(file, 150, 8), std::string("Ver1.00\0", 8));
    for (std::uint32_t rational : {134u, 142u, 420u, 428u}) {
        EXPECT_EQ(LE32(file, kTiff + rational), 72u);
        EXPECT_EQ(LE32(file, kTiff + rational + 4), 1u);
    }

    EXPECT_EQ(ReadIfd(file, 158, next), (std::vector<Entry>{{0x9000, 7, 4, Chars("0210")},
                                                            {0x9003, 2, 20, 272},
                                                            {0x9004, 2, 20, 292},
                                                            {0x9101, 7, 4, 0x00030201},
                                                            {0xA000, 7, 4, Chars("0100")},
                                                            {0xA001, 3, 1, 1},
                                                            {0xA002, 4, 1, 640},
                                                            {0xA003, 4, 1, 480},
                                                            {0xA005, 4, 1, 312}}));
    EXPECT_EQ(next, 0u);
    EXPECT_EQ(TextAt(file, 272, 20), std::string("2000:01:01 00:03:24\0", 20));
    EXPECT_EQ(TextAt(file, 292, 20), std::string("2000:01:01 00:03:24\0", 20));

    EXPECT_EQ(ReadIfd(file, 312, next),
              (std::vector<Entry>{{0x0001, 2, 4, Chars("R98\0")}, {0x0002, 7, 4, Chars("0100")}}));
    EXPECT_EQ(next, 0u);

    EXPECT_EQ(ReadIfd(file, 342, next), (std::vector<Entry>{{0x0103, 3, 1, 6},
                                                            {0x011A, 5, 1, 420},
                                                            {0x011B, 5, 1, 428},
                                                            {0x0128, 3, 1, 2},
                                                            {0x0201, 4, 1, 436},
                                                            {0x0202, 4, 1, 1000}}));
    EXPECT_EQ(next, 0u);

    // The thumbnail whole at 448, then the main picture from its third byte: no second FF D8.
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 448, file.begin() + 1448), thumb);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 1448, file.end()),
              std::vector<std::uint8_t>(main.begin() + 2, main.end()));
}

TEST_F(ExifAuthorTest, OddThumbnailGetsOnePadByte) {
    auto file = WriteWith(1001);
    ASSERT_EQ(file.size(), 448u + 1001 + 1 + 5000 - 2);
    EXPECT_EQ(file[4], 0x05);
    EXPECT_EQ(file[5], 0xA6); // 444 + 1001 + 1
    EXPECT_EQ(LE32(file, kTiff + 342 + 2 + 5 * 12 + 8), 1001u);
    EXPECT_EQ(file[448 + 1001], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 1450, file.end()),
              std::vector<std::uint8_t>(main.begin() + 2, main.end()));

    // The next file starts afresh: no pad byte, and the header is the same 448 bytes.
    const auto even = WriteWith(38);
    ASSERT_EQ(even.size(), 448u + 38 + 5000 - 2);
    EXPECT_EQ(even[4], 0x01);
    EXPECT_EQ(even[5], 0xE2); // 444 + 38
    // Only the thumbnail length (file offset 424) differs.
    EXPECT_TRUE(std::equal(even.begin() + 6, even.begin() + 424, file.begin() + 6));
    EXPECT_TRUE(std::equal(even.begin() + 428, even.begin() + 448, file.begin() + 428));
    EXPECT_EQ(LE32(even, 424), 38u);
}

TEST_F(ExifAuthorTest, ReplacesAnExistingFileWhole) {
    WriteFileBytes(dir / "out.jpg", std::vector<std::uint8_t>(100000, 0xAB));
    const auto file = WriteWith(500);
    EXPECT_EQ(file.size(), 448u + 500 + 5000 - 2);
    EXPECT_TRUE(OnlyFileIs(dir.Path(), "out.jpg"));
}

TEST_F(ExifAuthorTest, FailedWritesReportFailureAndLeaveNoFile) {
    thumb = PatternBytes(300, 1);
    author.SetImages(main.data(), static_cast<std::int32_t>(main.size()), thumb.data(), 300);

    // Missing folder; a folder in the way.
    EXPECT_EQ(author.Write((dir / "missing" / "out.jpg").string()), k72::rc::Fail);
    std::filesystem::create_directory(dir / "taken.jpg");
    EXPECT_EQ(author.Write((dir / "taken.jpg").string()), k72::rc::Fail);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.jpg"));
    EXPECT_TRUE(OnlyFileIs(dir.Path(), "taken.jpg")) << "no temporary file left behind";

    // No permission to create files there (root passes permission bits, but not /proc).
    if (::geteuid() == 0) {
        EXPECT_EQ(author.Write("/proc/k72-still-test.jpg"), k72::rc::Fail);
    } else {
        std::filesystem::create_directory(dir / "locked");
        std::filesystem::permissions(dir / "locked",
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_EQ(author.Write((dir / "locked" / "out.jpg").string()), k72::rc::Fail);
    }

    // A disk that fills up half way: the old file stays as it was and no partial file appears.
    const std::vector<std::uint8_t> old(64, 0x5A);
    WriteFileBytes(dir / "full.jpg", old);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 2000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const k72::ResultCode full = author.Write((dir / "full.jpg").string());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(full, k72::rc::Fail);
    EXPECT_EQ(ReadFileBytes(dir / "full.jpg"), old);
    std::filesystem::remove_all(dir / "taken.jpg");
    EXPECT_TRUE(OnlyFileIs(dir.Path(), "full.jpg"));

    // Nothing to write.
    CExifAuthor empty;
    EXPECT_EQ(empty.Write((dir / "none.jpg").string()), k72::rc::Fail);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.jpg"));
}

} // namespace
