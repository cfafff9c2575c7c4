// The transcoder's AVI writer answers a failed write with its result code and the reason, and keeps
// the file it was asked not to overwrite.

#include "codecs/CAviWriter.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace k72test {
namespace {

using k72::CAviWriter;

TEST(AviWriter, CreateKeepsAnExistingFileAndAFullDiskFailsTheWrites) {
    TempDir dir;
    const auto existing = dir / "movie.avi";
    WriteFileBytes(existing, {1, 2, 3});
    CAviWriter kept{CAviWriter::Format{}};
    EXPECT_EQ(kept.Create(existing.string(), false), k72::rc::FileExists);
    EXPECT_NE(kept.FailureReason().find(existing.string()), std::string::npos);
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<std::uint8_t>{1, 2, 3}));
    CAviWriter missingFolder{CAviWriter::Format{}};
    EXPECT_EQ(missingFolder.Create((dir / "no" / "movie.avi").string(), true), k72::rc::CannotOpenFile);

    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    CAviWriter full{CAviWriter::Format{}};
    ASSERT_EQ(full.Create("/dev/full", true), 0); // held in the writer's buffer so far
    // A chunk larger than the buffer goes to the disk at once.
    const std::vector<std::uint8_t> picture(2 << 20, 0x55);
    EXPECT_EQ(full.WriteChunk(CAviWriter::Stream::Video, picture.data(), picture.size()), k72::rc::Error);
    EXPECT_NE(full.FailureReason().find("cannot write"), std::string::npos);
    EXPECT_EQ(full.Finish(), k72::rc::Error);
}

} // namespace
} // namespace k72test
