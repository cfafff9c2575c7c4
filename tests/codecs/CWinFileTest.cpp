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
    EXPECT_FALSE(file.Open(path, CWinFile::ModeRead));
    EXPECT_EQ(file.LastCause(), CWinFile::Cause::FileNotFound);
    EXPECT_NE(file.LastError().find(path.string()), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path));

    ASSERT_TRUE(file.Open(path, CWinFile::ModeCreate | CWinFile::ModeWrite));
    ASSERT_TRUE(file.WriteExact("abcdef", 6));
    file.Close();
    ASSERT_TRUE(file.Open(path, CWinFile::ModeCreate | CWinFile::ModeAppend | CWinFile::ModeWrite));
    EXPECT_EQ(file.GetPosition(), 6u);
    ASSERT_TRUE(file.WriteExact("gh", 2));
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
    ASSERT_TRUE(file.Seek(0, CWinFile::Begin));
    EXPECT_FALSE(file.ReadExact(bytes, 4));
    EXPECT_EQ(file.LastCause(), CWinFile::Cause::EndOfFile);
    EXPECT_FALSE(file.Seek(-10, CWinFile::Begin));
    EXPECT_EQ(file.LastCause(), CWinFile::Cause::BadSeek);
    EXPECT_FALSE(file.Write(bytes, 1)); // opened for reading only
}

TEST(CWinFile, BufferedWritesKeepTheirOrderAcrossSeeksAndLengths) {
    TempDir dir;
    const auto path = dir / "buffered.bin";
    std::vector<std::uint8_t> expected;
    {
        CWinFile file;
        ASSERT_TRUE(file.Open(path, CWinFile::ModeCreate | CWinFile::ModeWrite));
        ASSERT_TRUE(file.SetWriteBuffer(64));
        for (int i = 0; i < 50; ++i) {
            const std::vector<std::uint8_t> piece(static_cast<std::size_t>(i % 7 == 0 ? 100 : i % 13),
                                                  static_cast<std::uint8_t>(i));
            ASSERT_TRUE(file.Write(piece.data(), piece.size()));
            expected.insert(expected.end(), piece.begin(), piece.end());
        }
        EXPECT_EQ(file.GetLength(), expected.size());
        // A patch after a seek lands where it belongs, and the next write follows it.
        ASSERT_TRUE(file.Seek(3, CWinFile::Begin));
        ASSERT_TRUE(file.WriteExact("XY", 2));
        ASSERT_TRUE(file.Seek(0, CWinFile::End));
        ASSERT_TRUE(file.WriteExact("Z", 1));
        ASSERT_TRUE(file.Flush());
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
    ASSERT_TRUE(file.Open("/dev/full", CWinFile::ModeWrite));
    ASSERT_TRUE(file.SetWriteBuffer(16));
    const std::uint8_t bytes[10] = {};
    EXPECT_TRUE(file.Write(bytes, 10));  // held in the buffer
    EXPECT_FALSE(file.Write(bytes, 10)); // the buffer goes out and fails
    EXPECT_TRUE(file.WriteExact(bytes, 10));
    EXPECT_FALSE(file.Flush());
    EXPECT_EQ(file.LastCause(), CWinFile::Cause::WriteFailed);
}

} // namespace
} // namespace k72test
