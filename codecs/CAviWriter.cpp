#include "codecs/CAviWriter.h"

#include "base/ByteOrder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace k72 {
namespace {

constexpr std::size_t kBufferSize = 1 << 20;
using avilayout::kMoviIdOffset;
constexpr std::uint32_t kIndexKeyFrame = 0x10; // AVIIF_KEYFRAME
// AVIF_HASINDEX | AVIF_ISINTERLEAVED | AVIF_TRUSTCKTYPE
constexpr std::uint32_t kMainHeaderFlags = 0x10 | 0x100 | 0x800;

class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    void Tag(const char* tag) { bytes_.insert(bytes_.end(), tag, tag + 4); }
    void U32(std::uint32_t value) { byteorder::AppendLE32(bytes_, value); }
    void U16(std::uint16_t value) { byteorder::AppendLE16(bytes_, value); }
    std::size_t Here() const { return bytes_.size(); }
    void PatchU32(std::size_t at, std::uint32_t value) { byteorder::StoreLE32(&bytes_[at], value); }

private:
    std::vector<std::uint8_t>& bytes_;
};

// The numbers the headers carry, worked out once from the format and the counts so far.
struct HeaderFigures {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t frameRateNum;
    std::uint32_t frameRateDen;
    bool hasAudio;
    std::uint32_t sampleRate;
    std::uint16_t channels;
    std::uint32_t blockAlign;
    std::uint32_t byteRate;
    std::uint32_t videoFrames;
    std::uint32_t soundFrames;
    std::uint32_t bytesPerSecond;
    std::uint32_t videoBuffer;
    std::uint32_t audioBuffer;
};

// "avih": the frame duration, the data rate, the flags, the total frame count at offset 48, the stream
// count, the largest chunk and the picture size.
void WriteMainHeader(ByteWriter& out, const HeaderFigures& f) {
    out.Tag("avih");
    out.U32(56);
    out.U32(static_cast<std::uint32_t>(std::lround(1e6 * f.frameRateDen / f.frameRateNum)));
    out.U32(f.bytesPerSecond);
    out.U32(0); // padding granularity
    out.U32(kMainHeaderFlags);
    out.U32(f.videoFrames); // offset 48: the total frame count
    out.U32(0);             // initial frames
    out.U32(f.hasAudio ? 2 : 1);
    out.U32(std::max(f.videoBuffer, f.audioBuffer) + 8);
    out.U32(f.width);
    out.U32(f.height);
    for (int i = 0; i < 4; ++i) {
        out.U32(0);
    }
}

// What a stream's "strh" says: its type and handler ("MJPG"; none for PCM), the units of its length
// (scale / rate per second), its length and largest chunk, the size of its samples (0: they differ)
// and its frame rectangle (0 x 0 for sound).
struct StreamHeader {
    const char* type;
    const char* handler;
    std::uint32_t scale;
    std::uint32_t rate;
    std::uint32_t length;
    std::uint32_t bufferSize;
    std::uint32_t sampleSize;
    std::uint32_t width;
    std::uint32_t height;
};

// A stream's list up to its format: "LIST" "strl", the "strh", and the "strf" header of a format of
// formatSize bytes, which the caller writes next.
void WriteStreamListHead(ByteWriter& out, const StreamHeader& h, std::uint32_t formatSize) {
    out.Tag("LIST");
    out.U32(4 + 8 + 56 + 8 + formatSize);
    out.Tag("strl");
    out.Tag("strh");
    out.U32(56);
    out.Tag(h.type);
    if (h.handler != nullptr) {
        out.Tag(h.handler);
    } else {
        out.U32(0);
    }
    out.U32(0); // flags
    out.U16(0); // priority
    out.U16(0); // language
    out.U32(0); // initial frames
    out.U32(h.scale);
    out.U32(h.rate);
    out.U32(0); // start
    out.U32(h.length);
    out.U32(h.bufferSize);
    out.U32(0xFFFFFFFF); // quality: the default
    out.U32(h.sampleSize);
    out.U16(0);
    out.U16(0);
    out.U16(static_cast<std::uint16_t>(h.width));
    out.U16(static_cast<std::uint16_t>(h.height));
    out.Tag("strf");
    out.U32(formatSize);
}

// The picture stream's list: "strh" for MJPEG pictures at the frame rate, "strf" with its bitmap header.
void WriteVideoStreamList(ByteWriter& out, const HeaderFigures& f) {
    WriteStreamListHead(
        out,
        {"vids", "MJPG", f.frameRateDen, f.frameRateNum, f.videoFrames, f.videoBuffer, 0, f.width, f.height},
        40);
    out.U32(40);
    out.U32(f.width);
    out.U32(f.height);
    out.U16(1);  // planes
    out.U16(24); // bits per pixel
    out.Tag("MJPG");
    out.U32(f.width * f.height * 3);
    out.U32(0);
    out.U32(0);
    out.U32(0);
    out.U32(0);
}

// The sound stream's list: "strh" counting sample frames (scale and rate count sample frames per
// second), "strf" with the 16-bit PCM format.
void WriteSoundStreamList(ByteWriter& out, const HeaderFigures& f) {
    WriteStreamListHead(
        out, {"auds", nullptr, f.blockAlign, f.byteRate, f.soundFrames, f.audioBuffer, f.blockAlign, 0, 0},
        16);
    out.U16(1); // PCM
    out.U16(f.channels);
    out.U32(f.sampleRate);
    out.U32(f.byteRate);
    out.U16(static_cast<std::uint16_t>(f.blockAlign));
    out.U16(16);
}

} // namespace

CAviWriter::CAviWriter(const Format& format) : format_(format) {}

CAviWriter::~CAviWriter() = default;

std::vector<std::uint8_t> CAviWriter::Header() const {
    HeaderFigures f{};
    f.width = static_cast<std::uint32_t>(format_.width);
    f.height = static_cast<std::uint32_t>(format_.height);
    f.frameRateNum = static_cast<std::uint32_t>(format_.frameRateNum);
    f.frameRateDen = static_cast<std::uint32_t>(format_.frameRateDen);
    f.hasAudio = format_.hasAudio;
    f.sampleRate = static_cast<std::uint32_t>(format_.sampleRate);
    f.channels = static_cast<std::uint16_t>(format_.channels);
    f.blockAlign = static_cast<std::uint32_t>(format_.channels) * 2;
    f.byteRate = f.sampleRate * f.blockAlign;
    f.videoFrames = videoFrames_;
    f.soundFrames = static_cast<std::uint32_t>(audioBytes_ / f.blockAlign);
    const double seconds = static_cast<double>(videoFrames_) * format_.frameRateDen / format_.frameRateNum;
    const std::uint64_t movieBytes = size_ > kHeaderSize ? size_ - kHeaderSize : 0;
    f.bytesPerSecond =
        seconds > 0 ? static_cast<std::uint32_t>(static_cast<double>(movieBytes) / seconds) : 0;
    // The headers stay with the file through the re-interleave, which pads every picture by up to 512
    // bytes and regroups the sound into chunks of about a second: the suggested buffer sizes cover
    // those chunks too, so a player that trusts them never gets a chunk larger than its buffer.
    f.videoBuffer = largestVideoChunk_ + 512;
    f.audioBuffer = format_.hasAudio ? std::max(largestAudioChunk_,
                                                (f.sampleRate + f.sampleRate / 1000 + 1) * f.blockAlign)
                                     : 0;

    std::vector<std::uint8_t> bytes;
    bytes.reserve(kHeaderSize);
    ByteWriter out(bytes);
    out.Tag("RIFF");
    out.U32(static_cast<std::uint32_t>(finished_ ? size_ - 8 : 0));
    out.Tag("AVI ");
    out.Tag("LIST");
    const std::size_t hdrlSize = out.Here();
    out.U32(0);
    out.Tag("hdrl");
    WriteMainHeader(out, f);
    WriteVideoStreamList(out, f);
    if (f.hasAudio) {
        WriteSoundStreamList(out, f);
    }
    out.PatchU32(hdrlSize, static_cast<std::uint32_t>(out.Here() - hdrlSize - 4));

    // The pad that makes the headers exactly 500 bytes long.
    out.Tag("JUNK");
    out.U32(static_cast<std::uint32_t>(kHeaderSize - out.Here() - 4));
    bytes.resize(kHeaderSize, 0);
    return bytes;
}

ResultCode CAviWriter::Create(const std::string& path, bool overwrite) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL);
    FileHandle handle;
    do {
        handle.reset(::open(path.c_str(), flags, 0644));
    } while (!handle && errno == EINTR);
    if (!handle) {
        const int error = errno;
        failure_ = "cannot create " + path + ": " + std::strerror(error);
        return error == EEXIST ? rc::FileExists : rc::CannotOpenFile;
    }
    handle_ = std::move(handle);
    path_ = path;
    buffer_.reserve(kBufferSize);
    const std::vector<std::uint8_t> header = Header();
    return Append(header.data(), header.size()) && Append("LIST\0\0\0\0movi", 12) ? 0 : rc::Error;
}

ResultCode CAviWriter::WriteChunk(Stream stream, const std::uint8_t* data, std::size_t size) {
    const bool video = stream == Stream::Video;
    const std::uint64_t offset = size_ - kMoviIdOffset;
    std::uint8_t header[8];
    std::memcpy(header, video ? avilayout::kVideoChunkId : avilayout::kSoundChunkId, 4);
    const std::uint32_t length = static_cast<std::uint32_t>(size);
    byteorder::StoreLE32(header + 4, length);
    // Chunks start on even offsets.
    if (!Append(header, sizeof header) || !Append(data, size) || (size % 2 != 0 && !Append("", 1))) {
        return rc::Error;
    }

    std::uint8_t entry[16];
    std::memcpy(entry, header, 4);
    const std::uint32_t fields[3] = {kIndexKeyFrame, static_cast<std::uint32_t>(offset), length};
    for (int f = 0; f < 3; ++f) {
        byteorder::StoreLE32(entry + 4 + 4 * f, fields[f]);
    }
    index_.insert(index_.end(), entry, entry + sizeof entry);
    if (video) {
        ++videoFrames_;
        largestVideoChunk_ = std::max(largestVideoChunk_, length);
    } else {
        audioBytes_ += size;
        largestAudioChunk_ = std::max(largestAudioChunk_, length);
    }
    return 0;
}

std::uint64_t CAviWriter::FinishedSizeWith(std::size_t size) const {
    return size_ + 8 + size + (size % 2) + 8 + index_.size() + 16;
}

ResultCode CAviWriter::Finish() {
    const std::uint64_t moviEnd = size_;
    std::uint8_t sizeBytes[4];
    byteorder::StoreLE32(sizeBytes, static_cast<std::uint32_t>(index_.size()));
    if (!Append(avilayout::kIndexId, 4) || !Append(sizeBytes, 4) || !Append(index_.data(), index_.size()) ||
        !Flush()) {
        return rc::Error;
    }
    finished_ = true;

    const std::vector<std::uint8_t> header = Header();
    std::uint8_t moviBytes[4];
    byteorder::StoreLE32(moviBytes, static_cast<std::uint32_t>(moviEnd - kMoviIdOffset));
    if (!WriteAt(0, header.data(), header.size()) || !WriteAt(avilayout::kMoviLengthOffset, moviBytes, 4)) {
        return rc::Error;
    }
    if (handle_.close() != 0) {
        failure_ = "cannot finish " + path_ + ": " + std::strerror(errno);
        return rc::Error;
    }
    return 0;
}

bool CAviWriter::Append(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (buffer_.size() + size > kBufferSize && !Flush()) {
        return false;
    }
    if (size >= kBufferSize) {
        if (!WriteAt(flushed_, bytes, size)) {
            return false;
        }
        flushed_ += size;
    } else {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
    size_ += size;
    return true;
}

bool CAviWriter::Flush() {
    if (buffer_.empty()) {
        return true;
    }
    if (!WriteAt(flushed_, buffer_.data(), buffer_.size())) {
        return false;
    }
    flushed_ += buffer_.size();
    buffer_.clear();
    return true;
}

bool CAviWriter::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put =
            ::pwrite(handle_.get(), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            failure_ = "cannot write " + path_ + ": " + std::strerror(put < 0 ? errno : ENOSPC);
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace k72
