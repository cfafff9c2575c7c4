#pragma once
// A structural reader of the AVI files this program makes, independent of the code that writes them:
// the chunk list of the movi list, the idx1 entries and the header fields the device reads, with
// checks of the intermediate layout (what the transcoder writes) and of the device's layout (what the
// re-interleaver writes). Also builds small hand-made inputs for the re-interleaver.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace k72test {

struct AviChunk {
    std::string id;
    std::uint64_t offset = 0; // file offset of the chunk's id
    std::uint32_t size = 0;   // the chunk's size field
    bool jpeg = false;        // the data starts with a JPEG start-of-image marker
};

struct AviIndexEntry {
    std::string id;
    std::uint32_t flags = 0;
    std::uint32_t offset = 0; // from the "movi" id
    std::uint32_t size = 0;
};

struct AviLayout {
    std::uint64_t fileSize = 0;
    std::uint32_t riffSize = 0;    // offset 4
    std::uint32_t totalFrames = 0; // offset 48
    std::uint32_t moviSize = 0;    // offset 504
    std::uint32_t streams = 0;     // avih dwStreams
    std::uint32_t videoLength = 0; // the video strh's dwLength
    std::uint32_t audioLength = 0; // the audio strh's dwLength (sample frames), 0 without sound
    std::vector<AviChunk> chunks;  // the movi list in file order
    std::uint64_t indexOffset = 0; // file offset of "idx1", 0 when missing
    std::vector<AviIndexEntry> index;
    std::vector<std::string> problems; // what could not be read
};

// Reads the layout: headers in bytes 0 … 499, LIST/movi at 500, chunks walked from 512 (with the RIFF
// even-size pad byte when evenPad is true), idx1 right after the movi list.
AviLayout ReadAviLayout(const std::filesystem::path& path, bool evenPad);

// Everything wrong with a file as the transcoder must leave it (empty when all is well).
// Every picture chunk must hold a JPEG picture (none empty).
std::vector<std::string> CheckIntermediateLayout(const std::filesystem::path& path);

// Everything wrong with a file as the device must get it ("ntsc" or "pal"); empty when all is well.
// With picturesAreJpeg every picture chunk must hold a JPEG picture.
std::vector<std::string> CheckDeviceLayout(const std::filesystem::path& path, const std::string& standard,
                                           bool picturesAreJpeg = true);

// What an independent reader (ffprobe) sees in a movie.
struct ProbedMovie {
    bool ok = false;
    std::string error;
    int videoStreams = 0;
    int audioStreams = 0;
    std::string videoCodec;
    std::string pixelFormat;
    int width = 0;
    int height = 0;
    std::string frameRate;    // r_frame_rate, e.g. "30000/1001"
    std::int64_t frames = -1; // frames actually read
    double videoDuration = 0; // frames / rate
    std::string audioCodec;
    int sampleRate = 0;
    int channels = 0;
    double audioDuration = 0; // seconds of decoded sound
};
ProbedMovie ProbeMovie(const std::filesystem::path& path);

// How long a source's picture and sound last in seconds (0 when absent), from the streams' common start
// to the end of the last decoded picture and sound, as ffprobe decodes them.
struct SourceDurations {
    double video = 0;
    double audio = 0;
};
SourceDurations ProbeSourceDurations(const std::filesystem::path& path);

// A hand-made AVI in the transcoder's layout: chunk i is video ("00dc") or audio ("01wb") of the given
// size, filled with bytes that tell chunks apart. Chunks are padded to even sizes.
struct TestChunk {
    bool video = true;
    std::uint32_t size = 0;
};
std::vector<std::uint8_t> BuildIntermediateAvi(const std::vector<TestChunk>& chunks);
// The byte at position i of chunk n in a BuildIntermediateAvi file.
std::uint8_t TestChunkByte(std::size_t chunk, std::size_t i);

std::uint32_t ReadLE32(const std::vector<std::uint8_t>& bytes, std::size_t offset);
void WriteLE32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);

} // namespace k72test
