#pragma once
// The transcoder's own AVI writer. Its layout is what the re-interleaver reads: the headers fill bytes
// 0 … 499 (RIFF, hdrl with avih and one strl per stream, a JUNK pad), "LIST" with the movi list's length
// and "movi" at 500, 504 and 508, the chunks "00dc" (MJPEG pictures) and "01wb" (PCM sound), and idx1
// right after the movi list with offsets counted from the "movi" id. The header's counts are written
// with their final values when the file is finished.

#include "base/DeviceFormat.h"
#include "base/FileHandle.h"
#include "codecs/ResultCodes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace k72 {

// Where the fixed parts of the device's AVI lie. The writer lays the file out this way; the
// re-interleaver and its index entries read and patch it by the same numbers.
namespace avilayout {
constexpr std::size_t kHeaderSize = 500;         // "RIFF" … the JUNK filler: bytes 0 … 499
constexpr std::uint64_t kTotalFramesOffset = 48; // the main header's total frame count
constexpr std::uint64_t kMoviLengthOffset = 504; // the length of the movi list
constexpr std::uint64_t kMoviIdOffset = 508;     // "movi": index entries count their offsets from here
constexpr std::uint64_t kMoviDataStart = 512;    // the first chunk of the movi list
// The chunk ids of the two streams and of the index.
constexpr char kVideoChunkId[] = "00dc";
constexpr char kSoundChunkId[] = "01wb";
constexpr char kIndexId[] = "idx1";
} // namespace avilayout

class CAviWriter {
public:
    struct Format {
        int width = device::kPictureWidth;
        int height = device::kPictureHeight;
        int frameRateNum = 30000;
        int frameRateDen = 1001;
        bool hasAudio = true;
        int sampleRate = device::kSoundRate;
        int channels = 2; // 16-bit samples
    };

    enum class Stream { Video, Audio };

    static constexpr std::size_t kHeaderSize = avilayout::kHeaderSize;

    explicit CAviWriter(const Format& format);
    ~CAviWriter();
    CAviWriter(const CAviWriter&) = delete;
    CAviWriter& operator=(const CAviWriter&) = delete;

    // Creates the file and writes the provisional headers and the movi list's start: 0, or
    // rc::FileExists (the file is there and overwrite is off), rc::CannotOpenFile.
    [[nodiscard]] ResultCode Create(const std::string& path, bool overwrite);

    // Appends one chunk (header, data and the even-size pad byte): 0, or rc::Error when it cannot be
    // written. Size() tells how many bytes the file has grown by.
    [[nodiscard]] ResultCode WriteChunk(Stream stream, const std::uint8_t* data, std::size_t size);

    // The size the finished file would have if one more chunk of this many bytes were written.
    std::uint64_t FinishedSizeWith(std::size_t size) const;

    // Writes idx1, puts the final counts into the headers and closes the file: 0, or rc::Error.
    [[nodiscard]] ResultCode Finish();

    // Why the last call failed, for the diagnostic log.
    const std::string& FailureReason() const { return failure_; }

    std::uint32_t VideoFrames() const { return videoFrames_; }
    std::uint64_t Size() const { return size_; }

    // The 500 header bytes for the counts so far.
    std::vector<std::uint8_t> Header() const;

private:
    bool Append(const void* data, std::size_t size);
    bool Flush();
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);

    Format format_;
    std::string path_;
    FileHandle handle_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t size_ = 0;    // bytes written or buffered
    std::uint64_t flushed_ = 0; // bytes on disk
    std::vector<std::uint8_t> index_;
    std::uint32_t videoFrames_ = 0;
    std::uint64_t audioBytes_ = 0;
    std::uint32_t largestVideoChunk_ = 0;
    std::uint32_t largestAudioChunk_ = 0;
    bool finished_ = false;
    std::string failure_;
};

} // namespace k72
