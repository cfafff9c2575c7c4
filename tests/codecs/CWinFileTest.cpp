// The re-interleaver's file object: open modes, exact reads and writes, and the write buffer that
// must never reorder or lose bytes.

#include "codecs/CWinFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace k72test {
namespace {

using k72::CWinFile;

TEST(CWinFile, OpenModesCreateTruncateAppendAndRequireTheFile) {
    TempDir dir;
    const auto path = dir / "file.bin";
    CWinFile file;
    try {
        file.Open(path, CWinFile::ModeRead);
        FAIL() << "a missing file opened for reading";
    } catch (const CWinFile::Error& error) {
        EXPECT_EQ(error.cause(), CWinFile::Cause::FileNotFound);
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    ASSERT_TRUE(file.Open(path, CWinFile::ModeCreate | CWinFile::ModeWrite));
    file.WriteExact("abcdef", 6);
    file.Close();
    ASSERT_TRUE(file.Open(path, CWinFile::ModeCreate | CWinFile::ModeAppend | CWinFile::ModeWrite));
    EXPECT_EQ(file.GetPosition(), 6u);
    file.WriteExact("gh", 2);
    file.Close();
    EXPECT_EQ(ReadFileText(path), "abcdefgh");
    ASSERT_TRUE(file.Open(path, CWinFile::ModeCreate | CWinFile::ModeWrite)); // truncates
    EXPECT_EQ(file.GetLength(), 0u);
    file.Close();

    WriteFileBytes(path, {1, 2, 3});
    ASSERT_TRUE(file.Open(path, CWinFile::ModeRead));
    std::uint8_t bytes[4] = {};
    EXPECT_EQ(file.Read(bytes, 4), 3u);
    EXPECT_EQ(file.Read(bytes, 4), 0u);
    EXPECT_EQ(file.ReadAt(1, bytes, 4), 2u);
    EXPECT_EQ(bytes[0], 2);
    file.Seek(0, CWinFile::Begin);
    EXPECT_THROW(file.ReadExact(bytes, 4), CWinFile::Error);
    try {
        file.Seek(-10, CWinFile::Begin);
        FAIL() << "a seek before the start succeeded";
    } catch (const CWinFile::Error& error) {
        EXPECT_EQ(error.cause(), CWinFile::Cause::BadSeek);
    }
    EXPECT_FALSE(file.Write(bytes, 1)); // opened for reading only
}

TEST(CWinFile, BufferedWritesKeepTheirOrderAcrossSeeksAndLengths) {
    TempDir dir;
    const auto path = dir / "buffered.bin";
    std::vector<std::uint8_t> expected;
    {
        CWinFile file;
        file.Open(path, CWinFile::ModeCreate | CWinFile::ModeWrite);
        file.SetWriteBuffer(64);
        for (int i = 0; i < 50; ++i) {
            const std::vector<std::uint8_t> piece(static_cast<std::size_t>(i % 7 == 0 ? 100 : i % 13),
                                                  static_cast<std::uint8_t>(i));
            ASSERT_TRUE(file.Write(piece.data(), piece.size()));
            expected.insert(expected.end(), piece.begin(), piece.end());
        }
        EXPECT_EQ(file.GetLength(), expected.size());
        // A patch after a seek lands where it belongs, and the next write follows it.
        file.Seek(3, CWinFile::Begin);
        file.WriteExact("XY", 2);
        file.Seek(0, CWinFile::End);
        file.WriteExact("Z", 1);
        file.Flush();
        expected[3] = 'X';
        expected[4] = 'Y';
        expected.push_back('Z');
    }
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST(CWinFile, AFailingBufferedWriteIsReported) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    CWinFile file;
    file.Open("/dev/full", CWinFile::ModeWrite);
    file.SetWriteBuffer(16);
    const std::uint8_t bytes[10] = {};
    EXPECT_TRUE(file.Write(bytes, 10));  // held in the buffer
    EXPECT_FALSE(file.Write(bytes, 10)); // the buffer goes out and fails
    file.WriteExact(bytes, 10);
    EXPECT_THROW(file.Flush(), CWinFile::Error);
}

} // namespace
} // namespace k72test
