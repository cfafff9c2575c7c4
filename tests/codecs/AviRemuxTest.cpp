// The re-interleave of the movie converter's second phase, on hand-made inputs: the one-second steps,
// the regrouped sound, the padding of pictures to 512-byte boundaries, the new index and header
// fields, and every way an input can be refused.

#include "codecs/CVideoConverter.h"
#include "codecs/ResultCodes.h"
#include "tests/codecs/MovieTestSupport.h"
#include "tests/support/AviStructure.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace k72test {
namespace {

using k72::CVideoConverter;
namespace rc = k72::rc;

struct Remuxed {
    k72::ResultCode result = 0;
    std::string log;
    std::vector<std::uint8_t> output;
    AviLayout layout;
};

// Runs the converter with phase 1 replaced by a copy of the given input.
Remuxed Remux(const std::vector<std::uint8_t>& input, const std::string& standard = "pal",
              std::uint64_t freeSpace = std::uint64_t{1} << 40) {
    TempDir dir;
    CVideoConverter converter;
    converter.SetWorkFolder(dir.Path());
    converter.SetFrameRateStandard(standard);
    converter.SetFreeSpaceProbe([freeSpace](const std::filesystem::path&) { return freeSpace; });
    converter.SetTranscoder(WritesFile(input));
    LogCapture log;
    Remuxed remuxed;
    remuxed.result = converter.Convert("in.mov", (dir / "out.avi").string());
    remuxed.log = log.Text();
    if (std::filesystem::exists(dir / "out.avi")) {
        remuxed.output = ReadFileBytes(dir / "out.avi");
        remuxed.layout = ReadAviLayout(dir / "out.avi", false);
        EXPECT_TRUE(remuxed.result != 0 || CheckDeviceLayout(dir / "out.avi", standard, false).empty())
            << ::testing::PrintToString(CheckDeviceLayout(dir / "out.avi", standard, false));
    }
    for (const auto& file : FilesIn(dir.Path())) {
        EXPECT_EQ(file.filename(), "out.avi") << "temporary file left";
    }
    return remuxed;
}

std::vector<std::uint8_t> Payload(const Remuxed& remuxed, const AviChunk& chunk) {
    const auto begin = remuxed.output.begin() + static_cast<std::ptrdiff_t>(chunk.offset + 8);
    return {begin, begin + chunk.size};
}

// The bytes chunk n of a BuildIntermediateAvi input holds.
std::vector<std::uint8_t> InputPayload(std::size_t n, std::uint32_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = TestChunkByte(n, i);
    }
    return bytes;
}

std::vector<AviChunk> ChunksOf(const Remuxed& remuxed, const std::string& id) {
    std::vector<AviChunk> chunks;
    for (const AviChunk& chunk : remuxed.layout.chunks) {
        if (chunk.id == id) {
            chunks.push_back(chunk);
        }
    }
    return chunks;
}

TEST(AviRemux, PicturesOnlyMakeStepsOfPicturesPaddedToBoundaries) {
    std::vector<TestChunk> chunks;
    for (int i = 0; i < 70; ++i) {
        chunks.push_back({true, static_cast<std::uint32_t>(1000 + 37 * i)});
    }
    for (const std::string standard : {"pal", "ntsc"}) {
        SCOPED_TRACE(standard);
        const Remuxed remuxed = Remux(BuildIntermediateAvi(chunks), standard);
        ASSERT_EQ(remuxed.result, 0) << remuxed.log;
        const auto pictures = ChunksOf(remuxed, "00dc");
        ASSERT_EQ(pictures.size(), 70u);
        EXPECT_TRUE(ChunksOf(remuxed, "01wb").empty());
        EXPECT_EQ(remuxed.layout.totalFrames, 70u);
        for (std::size_t n = 0; n < pictures.size(); ++n) {
            // The picture's bytes, then zeros up to the boundary.
            std::vector<std::uint8_t> expected = InputPayload(n, chunks[n].size);
            expected.resize(pictures[n].size, 0);
            EXPECT_EQ(Payload(remuxed, pictures[n]), expected) << "picture " << n;
            EXPECT_EQ((pictures[n].offset + 8 + pictures[n].size) % 512, 0u);
        }
        // The output's index: pictures keep their input flags.
        EXPECT_EQ(remuxed.layout.index.front().flags, 0x10u);
    }
}

TEST(AviRemux, PaddingIsNeverZeroBytes) {
    // 1000 bytes at movi position 0: 512 − (1008 mod 512) = 16 bytes of padding, the next chunk at 1536.
    // 504 bytes end exactly on a boundary and get a whole 512-byte block.
    const Remuxed remuxed = Remux(BuildIntermediateAvi({{true, 1000}, {true, 504}, {true, 2}}));
    ASSERT_EQ(remuxed.result, 0) << remuxed.log;
    const auto& chunks = remuxed.layout.chunks;
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].offset, 512u);
    EXPECT_EQ(chunks[0].size, 1016u);
    EXPECT_EQ(chunks[1].offset, 1536u);
    EXPECT_EQ(chunks[1].size, 504u + 512u);
    EXPECT_EQ(chunks[2].offset, 1536u + 8 + 1016);
    // Offsets 4, 48 and 504 carry the whole file's length, the pictures and the movi list's length.
    EXPECT_EQ(remuxed.layout.riffSize, remuxed.output.size());
    EXPECT_EQ(remuxed.layout.totalFrames, 3u);
    EXPECT_EQ(remuxed.layout.moviSize, 4u + (8 + 1016) + (8 + 1016) + chunks[2].size + 8);
}

TEST(AviRemux, SoundOnlyBecomesWholeStepsAndAShorterLast) {
    std::vector<TestChunk> chunks(10, TestChunk{false, 50000});
    const Remuxed remuxed = Remux(BuildIntermediateAvi(chunks), "pal");
    ASSERT_EQ(remuxed.result, 0) << remuxed.log;
    const auto sound = ChunksOf(remuxed, "01wb");
    ASSERT_EQ(sound.size(), 3u);
    EXPECT_EQ(sound[0].size, 176400u);
    EXPECT_EQ(sound[1].size, 176400u);
    EXPECT_EQ(sound[2].size, 500000u - 2 * 176400);
    std::vector<std::uint8_t> expected;
    for (std::size_t n = 0; n < chunks.size(); ++n) {
        const auto part = InputPayload(n, 50000);
        expected.insert(expected.end(), part.begin(), part.end());
    }
    std::vector<std::uint8_t> joined;
    for (const AviChunk& chunk : sound) {
        const auto part = Payload(remuxed, chunk);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, expected);
    EXPECT_EQ(remuxed.layout.totalFrames, 0u);
    EXPECT_EQ(remuxed.layout.index[0].flags, 0u);
}

TEST(AviRemux, SoundPacketsAreSplitAcrossSteps) {
    // 4608-byte packets with pal: the first step's sound is 38 whole packets and 1296 bytes of the
    // 39th; the next step starts with its other 3312 bytes. Pictures and sound interleave in steps.
    std::vector<TestChunk> chunks;
    for (int i = 0; i < 80; ++i) {
        chunks.push_back({false, 4608});
        if (i < 50) {
            chunks.push_back({true, 3000});
        }
    }
    const Remuxed remuxed = Remux(BuildIntermediateAvi(chunks), "pal");
    ASSERT_EQ(remuxed.result, 0) << remuxed.log;
    // Input chunk numbers of the sound packets, in order.
    std::vector<std::size_t> soundChunks;
    for (std::size_t n = 0; n < chunks.size(); ++n) {
        if (!chunks[n].video) {
            soundChunks.push_back(n);
        }
    }
    std::vector<std::uint8_t> all;
    for (const std::size_t n : soundChunks) {
        const auto part = InputPayload(n, 4608);
        all.insert(all.end(), part.begin(), part.end());
    }
    const auto sound = ChunksOf(remuxed, "01wb");
    ASSERT_EQ(sound.size(), 3u);
    EXPECT_EQ(38u * 4608 + 1296, 176400u);
    const auto first = Payload(remuxed, sound[0]);
    const auto second = Payload(remuxed, sound[1]);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), all.begin()));
    const auto packet38 = InputPayload(soundChunks[38], 4608);
    EXPECT_TRUE(std::equal(packet38.begin() + 1296, packet38.end(), second.begin()));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), all.begin() + 176400));
    EXPECT_EQ(sound[2].size, 80u * 4608 - 2 * 176400);
    // 25 pictures, sound, 25 pictures, sound, then the last sound alone.
    const auto& layout = remuxed.layout.chunks;
    EXPECT_EQ(layout[25].id, "01wb");
    EXPECT_EQ(layout[51].id, "01wb");
    EXPECT_EQ(layout[52].id, "01wb");
}

TEST(AviRemux, NtscStepsHoldThirtyPicturesAndNowAndThenTwentyNine) {
    std::vector<TestChunk> chunks;
    for (int i = 0; i < 34 * 30; ++i) {
        chunks.push_back({true, 100});
        chunks.push_back({false, 5884});
    }
    const Remuxed remuxed = Remux(BuildIntermediateAvi(chunks), "ntsc");
    ASSERT_EQ(remuxed.result, 0) << remuxed.log;
    // The checker follows the 30/29 pattern; count pictures before the 34th sound chunk here too.
    std::size_t pictures = 0;
    std::size_t sounds = 0;
    for (const AviChunk& chunk : remuxed.layout.chunks) {
        if (chunk.id == "01wb" && ++sounds == 34) {
            break;
        }
        pictures += chunk.id == "00dc" ? 1 : 0;
    }
    EXPECT_EQ(pictures, 33u * 30 + 29);
    EXPECT_EQ(ChunksOf(remuxed, "01wb").front().size, 176520u);
}

TEST(AviRemux, AnEmptyIndexGivesAnEmptyMovie) {
    const Remuxed remuxed = Remux(BuildIntermediateAvi({}));
    ASSERT_EQ(remuxed.result, 0) << remuxed.log;
    EXPECT_EQ(remuxed.output.size(), 520u);
    EXPECT_EQ(remuxed.layout.moviSize, 4u);
    EXPECT_EQ(remuxed.layout.riffSize, 520u);
    EXPECT_EQ(remuxed.layout.totalFrames, 0u);
    EXPECT_TRUE(remuxed.layout.index.empty());
}

void ExpectRefused(const Remuxed& remuxed, k72::ResultCode code, const std::string& message) {
    EXPECT_EQ(remuxed.result, code);
    EXPECT_NE(remuxed.log.find(message), std::string::npos) << remuxed.log;
}

TEST(AviRemux, RefusesInputsThatAreNotItsLayout) {
    const std::vector<std::uint8_t> good = BuildIntermediateAvi({{true, 100}, {false, 400}, {true, 100}});
    const std::size_t indexAt = 508 + ReadLE32(good, 504);
    auto changed = [&good](std::size_t at, const char* bytes) {
        auto copy = good;
        std::copy(bytes, bytes + 4, copy.begin() + static_cast<std::ptrdiff_t>(at));
        return copy;
    };
    ExpectRefused(Remux(changed(500, "JUNK")), rc::MigrationFailed,
                  "movie converter: no LIST chunk after the header\n");
    ExpectRefused(Remux(changed(508, "move")), rc::MigrationFailed, "movie converter: no movi list\n");
    ExpectRefused(Remux(changed(indexAt, "idx2")), rc::MigrationFailed,
                  "movie converter: no idx1 index after the movi list\n");
    auto oddIndex = good;
    WriteLE32(oddIndex, indexAt + 4, 40);
    ExpectRefused(Remux(oddIndex), rc::MigrationFailed,
                  "movie converter: the index is not whole entries or runs past the end of the file\n");
    ExpectRefused(Remux(good, "secam"), rc::MigrationFailed,
                  "movie converter: the frame rate is neither 29.97 nor 25 frames per second\n");
    // A chunk whose header does not say what the index says.
    ExpectRefused(Remux(changed(512, "01wb")), rc::MigrationFailed,
                  "AVI chunk: the chunk is not of the stream its index entry names\n");
    auto wrongSize = good;
    WriteLE32(wrongSize, 516, 99);
    ExpectRefused(Remux(wrongSize), rc::MigrationFailed,
                  "AVI chunk: the chunk length differs from its index entry\n");
    // Shorter than the headers.
    ExpectRefused(Remux(std::vector<std::uint8_t>(good.begin(), good.begin() + 300)), rc::FileError, "");
}

TEST(AviRemux, ADamagedIndexIsRefusedBeforeAnythingIsRead) {
    const std::vector<std::uint8_t> good = BuildIntermediateAvi({{true, 100}, {false, 400}, {true, 100}});
    const std::size_t indexAt = 508 + ReadLE32(good, 504);
    const std::size_t firstEntry = indexAt + 8;
    for (const auto& [field, value] : std::vector<std::pair<std::size_t, std::uint32_t>>{
             {8, 0x7FFFFFF0},  // an offset far beyond the file
             {12, 0xFFFFFFF0}, // a length no file of this size can hold
             {8, 0},           // an offset before the first chunk
         }) {
        SCOPED_TRACE(value);
        auto damaged = good;
        WriteLE32(damaged, firstEntry + field, value);
        // The matching chunk header claims the same size, so only the bounds can tell.
        if (field == 12) {
            WriteLE32(damaged, 516, value);
        }
        ExpectRefused(Remux(damaged), rc::MigrationFailed,
                      "movie converter: an index entry points outside the file\n");
    }
    auto hugeIndex = good;
    WriteLE32(hugeIndex, indexAt + 4, 0xFFFFFFF0);
    ExpectRefused(Remux(hugeIndex), rc::MigrationFailed,
                  "movie converter: the index is not whole entries or runs past the end of the file\n");
    auto pastTheEnd = good;
    WriteLE32(pastTheEnd, 504, 0x10000000); // the movi list's length sends the index past the end
    ExpectRefused(Remux(pastTheEnd), rc::MigrationFailed,
                  "movie converter: no idx1 index after the movi list\n");
}

TEST(AviRemux, SizeChecksOfTheConvertedFile) {
    // Sparse files of the limit's size: the limit itself passes the size check (and the content is
    // then refused), one byte more fails it and latches its code.
    TempDir dir;
    for (const std::uint64_t size : {std::uint64_t{2097152000}, std::uint64_t{2097152001}}) {
        SCOPED_TRACE(size);
        CVideoConverter converter;
        converter.SetWorkFolder(dir.Path());
        converter.SetFreeSpaceProbe([](const std::filesystem::path&) { return std::uint64_t{1} << 40; });
        converter.SetTranscoder(
            [size](k72::ConverterCallback callback, void* context, int argc, char** argv) {
                EXPECT_EQ(::truncate(argv[argc - 1], static_cast<off_t>(size)), 0);
                callback(context, k72::ReportResult, 0);
                return 0;
            });
        LogCapture log;
        const auto result = converter.Convert("in.mov", (dir / "out.avi").string());
        if (size == 2097152000) {
            ExpectRefused({result, log.Text(), {}, {}}, rc::MigrationFailed,
                          "no LIST chunk after the header\n");
        } else {
            ExpectRefused({result, log.Text(), {}, {}}, rc::FileSizeOverLimit,
                          "movie converter: the interleaved movie would pass the size limit\n");
            EXPECT_FALSE(std::filesystem::exists(dir / "out.avi"));
        }
        std::filesystem::remove(dir / "out.avi");
        EXPECT_TRUE(FilesIn(dir.Path()).empty());
    }
    // The destination's free space must hold the whole converted file.
    const std::vector<std::uint8_t> input = BuildIntermediateAvi({{true, 100}});
    ExpectRefused(Remux(input, "pal", input.size() - 1), rc::DiscSpaceInsufficient,
                  "movie converter: not enough free space for the interleaved movie\n");
    EXPECT_EQ(Remux(input, "pal", input.size()).result, 0);
}

TEST(AviRemux, FileErrorsBecomeTheirOwnCode) {
    TempDir dir;
    LogCapture log;
    CVideoConverter converter;
    converter.SetWorkFolder(dir.Path());
    // Phase 1 leaves no file behind.
    converter.SetTranscoder([](k72::ConverterCallback callback, void* context, int argc, char** argv) {
        std::filesystem::remove(argv[argc - 1]);
        callback(context, k72::ReportResult, 0);
        return 0;
    });
    EXPECT_EQ(converter.Convert("in.mov", (dir / "out.avi").string()), rc::FileError);
    EXPECT_NE(log.Text().find("movie converter: the transcoded movie is missing\n"), std::string::npos);
    // The destination folder does not exist.
    converter.SetTranscoder(WritesFile(BuildIntermediateAvi({{true, 100}})));
    EXPECT_EQ(converter.Convert("in.mov", (dir / "gone" / "out.avi").string()), rc::FileError);
    EXPECT_TRUE(FilesIn(dir.Path()).empty());
}

} // namespace
} // namespace k72test
