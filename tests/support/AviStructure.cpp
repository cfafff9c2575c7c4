#include "tests/support/AviStructure.h"

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

namespace k72test {
namespace {

constexpr std::uint64_t kMoviId = 508;

std::string Tag(const std::vector<std::uint8_t>& bytes, std::uint64_t offset) {
    if (offset + 4 > bytes.size()) {
        return "";
    }
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset), 4);
}

// One "key=value|key=value" line of ffprobe's compact output per stream.
std::vector<std::map<std::string, std::string>> CompactSections(const std::string& output) {
    std::vector<std::map<std::string, std::string>> sections;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::map<std::string, std::string> fields;
        std::istringstream parts(line);
        std::string part;
        while (std::getline(parts, part, '|')) {
            const auto equals = part.find('=');
            if (equals != std::string::npos) {
                fields[part.substr(0, equals)] = part.substr(equals + 1);
            }
        }
        if (!fields.empty()) {
            sections.push_back(std::move(fields));
        }
    }
    return sections;
}

double Number(const std::map<std::string, std::string>& fields, const std::string& key) {
    const auto found = fields.find(key);
    if (found == fields.end() || found->second == "N/A" || found->second.empty()) {
        return 0;
    }
    return std::strtod(found->second.c_str(), nullptr);
}

double RateValue(const std::string& rate) {
    const auto slash = rate.find('/');
    if (slash == std::string::npos) {
        return std::strtod(rate.c_str(), nullptr);
    }
    const double den = std::strtod(rate.c_str() + slash + 1, nullptr);
    return den == 0 ? 0 : std::strtod(rate.c_str(), nullptr) / den;
}

} // namespace

std::uint32_t ReadLE32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    if (offset + 4 > bytes.size()) {
        return 0;
    }
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

void WriteLE32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

AviLayout ReadAviLayout(const std::filesystem::path& path, bool evenPad) {
    AviLayout layout;
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    layout.fileSize = bytes.size();
    if (bytes.size() < 512) {
        layout.problems.push_back("file of " + std::to_string(bytes.size()) + " bytes is too short");
        return layout;
    }
    if (Tag(bytes, 0) != "RIFF" || Tag(bytes, 8) != "AVI ") {
        layout.problems.push_back("no RIFF/AVI header");
    }
    layout.riffSize = ReadLE32(bytes, 4);
    layout.totalFrames = ReadLE32(bytes, 48);
    layout.streams = ReadLE32(bytes, 56);
    if (Tag(bytes, 24) != "avih") {
        layout.problems.push_back("no avih at 24");
    }
    // Stream headers: the first "vids" and "auds" strh in the 500 header bytes.
    for (std::uint64_t at = 12; at + 48 < 500; ++at) {
        if (Tag(bytes, at) == "strh") {
            const std::string type = Tag(bytes, at + 8);
            const std::uint32_t length = ReadLE32(bytes, at + 8 + 32);
            if (type == "vids" && layout.videoLength == 0) {
                layout.videoLength = length;
            } else if (type == "auds" && layout.audioLength == 0) {
                layout.audioLength = length;
            }
        }
    }
    if (Tag(bytes, 500) != "LIST" || Tag(bytes, 508) != "movi") {
        layout.problems.push_back("no LIST/movi at 500");
        return layout;
    }
    layout.moviSize = ReadLE32(bytes, 504);
    const std::uint64_t moviEnd = kMoviId + layout.moviSize;
    if (moviEnd > bytes.size()) {
        layout.problems.push_back("movi list runs past the end of the file");
        return layout;
    }
    std::uint64_t at = 512;
    while (at < moviEnd) {
        if (at + 8 > moviEnd) {
            layout.problems.push_back("truncated chunk header at " + std::to_string(at));
            break;
        }
        AviChunk chunk{Tag(bytes, at), at, ReadLE32(bytes, at + 4), false};
        chunk.jpeg = chunk.size >= 2 && at + 10 <= moviEnd && bytes[at + 8] == 0xFF && bytes[at + 9] == 0xD8;
        at += 8 + std::uint64_t{chunk.size} + (evenPad ? chunk.size % 2 : 0);
        if (at > moviEnd) {
            layout.problems.push_back("chunk at " + std::to_string(chunk.offset) +
                                      " runs past the movi list");
        }
        layout.chunks.push_back(chunk);
    }
    if (Tag(bytes, moviEnd) != "idx1") {
        layout.problems.push_back("no idx1 right after the movi list");
        return layout;
    }
    layout.indexOffset = moviEnd;
    const std::uint32_t indexSize = ReadLE32(bytes, moviEnd + 4);
    if (moviEnd + 8 + indexSize > bytes.size() || indexSize % 16 != 0) {
        layout.problems.push_back("idx1 size " + std::to_string(indexSize) + " does not fit");
        return layout;
    }
    for (std::uint64_t entry = moviEnd + 8; entry < moviEnd + 8 + indexSize; entry += 16) {
        layout.index.push_back({Tag(bytes, entry), ReadLE32(bytes, entry + 4), ReadLE32(bytes, entry + 8),
                                ReadLE32(bytes, entry + 12)});
    }
    if (moviEnd + 8 + indexSize != bytes.size()) {
        layout.problems.push_back("bytes after idx1");
    }
    return layout;
}

namespace {

void CheckIndexAgainstChunks(const AviLayout& layout, std::vector<std::string>& problems) {
    if (layout.index.size() != layout.chunks.size()) {
        problems.push_back("idx1 has " + std::to_string(layout.index.size()) + " entries for " +
                           std::to_string(layout.chunks.size()) + " chunks");
        return;
    }
    for (std::size_t i = 0; i < layout.index.size(); ++i) {
        const AviIndexEntry& entry = layout.index[i];
        const AviChunk& chunk = layout.chunks[i];
        if (entry.id != chunk.id || entry.offset != chunk.offset - kMoviId || entry.size != chunk.size) {
            problems.push_back(
                "idx1 entry " + std::to_string(i) + " (" + entry.id + " @" + std::to_string(entry.offset) +
                " size " + std::to_string(entry.size) + ") does not match chunk " + chunk.id + " @" +
                std::to_string(chunk.offset - kMoviId) + " size " + std::to_string(chunk.size));
            return;
        }
    }
}

} // namespace

std::vector<std::string> CheckIntermediateLayout(const std::filesystem::path& path) {
    const AviLayout layout = ReadAviLayout(path, true);
    std::vector<std::string> problems = layout.problems;
    if (!problems.empty()) {
        return problems;
    }
    if (layout.riffSize != layout.fileSize - 8) {
        problems.push_back("RIFF size " + std::to_string(layout.riffSize) + " for a file of " +
                           std::to_string(layout.fileSize));
    }
    std::uint32_t video = 0;
    std::uint64_t audioBytes = 0;
    for (const AviChunk& chunk : layout.chunks) {
        if (chunk.id == "00dc") {
            ++video;
            if (!chunk.jpeg) {
                problems.push_back("picture chunk at " + std::to_string(chunk.offset) +
                                   " holds no JPEG picture");
            }
        } else if (chunk.id == "01wb") {
            audioBytes += chunk.size;
        } else {
            problems.push_back("unexpected chunk " + chunk.id);
        }
    }
    if (layout.totalFrames != video || layout.videoLength != video) {
        problems.push_back("header counts " + std::to_string(layout.totalFrames) + "/" +
                           std::to_string(layout.videoLength) + " frames, movi holds " +
                           std::to_string(video));
    }
    if (layout.streams == 2 && std::uint64_t{layout.audioLength} * 4 != audioBytes) {
        problems.push_back("audio strh length " + std::to_string(layout.audioLength) + " for " +
                           std::to_string(audioBytes) + " bytes of sound");
    }
    CheckIndexAgainstChunks(layout, problems);
    return problems;
}

std::vector<std::string> CheckDeviceLayout(const std::filesystem::path& path, const std::string& standard,
                                           bool picturesAreJpeg) {
    const AviLayout layout = ReadAviLayout(path, false);
    std::vector<std::string> problems = layout.problems;
    if (!problems.empty()) {
        return problems;
    }
    const bool ntsc = standard == "ntsc";
    const std::uint32_t step = ntsc ? 176520 : 176400;
    const std::uint32_t rate = ntsc ? 30000 : 25;
    const std::uint32_t scale = ntsc ? 1001 : 1;

    if (layout.riffSize != static_cast<std::uint32_t>(layout.fileSize)) {
        problems.push_back("offset 4 holds " + std::to_string(layout.riffSize) + ", the file is " +
                           std::to_string(layout.fileSize) + " bytes");
    }
    std::uint32_t totalVideo = 0;
    for (const AviChunk& chunk : layout.chunks) {
        totalVideo += chunk.id == "00dc" ? 1 : 0;
    }
    if (layout.totalFrames != totalVideo) {
        problems.push_back("total frames " + std::to_string(layout.totalFrames) + ", movi holds " +
                           std::to_string(totalVideo) + " pictures");
    }

    std::uint32_t accumulator = 0;
    std::uint64_t framesDue = 0; // pictures that must precede the next sound chunk
    std::uint32_t videoSeen = 0;
    std::size_t audioChunks = 0;
    std::size_t lastAudio = layout.chunks.size();
    for (std::size_t i = 0; i < layout.chunks.size(); ++i) {
        if (layout.chunks[i].id == "01wb") {
            lastAudio = i;
        }
    }
    for (std::size_t i = 0; i < layout.chunks.size(); ++i) {
        const AviChunk& chunk = layout.chunks[i];
        if (i > 0 && layout.chunks[i - 1].id == "00dc" && chunk.offset % 512 != 0) {
            problems.push_back("chunk " + std::to_string(i) + " after a picture starts at " +
                               std::to_string(chunk.offset) + ", not on a 512-byte boundary");
        }
        if (chunk.id == "00dc") {
            ++videoSeen;
            if (picturesAreJpeg && !chunk.jpeg) {
                problems.push_back("picture chunk " + std::to_string(i) + " holds no JPEG picture");
            }
        } else if (chunk.id == "01wb") {
            std::uint32_t frames = 0;
            while (accumulator < rate) {
                accumulator += scale;
                ++frames;
            }
            accumulator -= rate;
            framesDue += frames;
            if (videoSeen != std::min<std::uint64_t>(framesDue, totalVideo)) {
                problems.push_back("sound chunk " + std::to_string(audioChunks) + " follows picture " +
                                   std::to_string(videoSeen) + ", expected after " +
                                   std::to_string(std::min<std::uint64_t>(framesDue, totalVideo)));
            }
            const bool last = i == lastAudio;
            if (last ? (chunk.size == 0 || chunk.size > step) : chunk.size != step) {
                problems.push_back("sound chunk " + std::to_string(audioChunks) + " holds " +
                                   std::to_string(chunk.size) + " bytes");
            }
            ++audioChunks;
        } else {
            problems.push_back("unexpected chunk " + chunk.id);
        }
    }
    CheckIndexAgainstChunks(layout, problems);
    for (std::size_t i = 0; i < layout.index.size() && i < layout.chunks.size(); ++i) {
        if (layout.index[i].id == "01wb" && layout.index[i].flags != 0) {
            problems.push_back("sound index entry " + std::to_string(i) + " has flags");
            break;
        }
    }
    return problems;
}

ProbedMovie ProbeMovie(const std::filesystem::path& path) {
    ProbedMovie movie;
    const CommandResult probe = RunCommand(
        "ffprobe -v error -count_frames -show_entries "
        "stream=codec_type,codec_name,pix_fmt,width,height,r_frame_rate,nb_read_frames,sample_rate,"
        "channels,duration,nb_frames -of compact=p=0 " +
        Quote(path));
    if (probe.exitCode != 0) {
        movie.error = probe.output;
        return movie;
    }
    for (const auto& stream : CompactSections(probe.output)) {
        const auto type = stream.find("codec_type");
        if (type == stream.end()) {
            movie.error += "unreadable ffprobe line\n";
            continue;
        }
        if (type->second == "video") {
            ++movie.videoStreams;
            movie.videoCodec = stream.at("codec_name");
            movie.pixelFormat = stream.count("pix_fmt") ? stream.at("pix_fmt") : "";
            movie.width = static_cast<int>(Number(stream, "width"));
            movie.height = static_cast<int>(Number(stream, "height"));
            movie.frameRate = stream.count("r_frame_rate") ? stream.at("r_frame_rate") : "";
            movie.frames = static_cast<std::int64_t>(Number(stream, "nb_read_frames"));
            const double rate = RateValue(movie.frameRate);
            movie.videoDuration = rate > 0 ? static_cast<double>(movie.frames) / rate : 0;
        } else if (type->second == "audio") {
            ++movie.audioStreams;
            movie.audioCodec = stream.at("codec_name");
            movie.sampleRate = static_cast<int>(Number(stream, "sample_rate"));
            movie.channels = static_cast<int>(Number(stream, "channels"));
            movie.audioDuration = Number(stream, "duration");
            if (movie.audioDuration == 0 && movie.sampleRate > 0) {
                // PCM in AVI: the stream's length counts sample frames.
                movie.audioDuration = Number(stream, "nb_frames") / movie.sampleRate;
            }
        }
    }
    movie.ok = movie.error.empty();
    return movie;
}

SourceDurations ProbeSourceDurations(const std::filesystem::path& path) {
    // The streams' start times decide the common start; the ends are those of the last decoded picture
    // and the last decoded sound.
    SourceDurations durations;
    const CommandResult starts =
        RunCommand("ffprobe -v error -show_entries stream=codec_type,start_time,avg_frame_rate,sample_rate "
                   "-of compact=p=0 " +
                   Quote(path));
    double start = 1e30;
    double frameDuration = 0;
    double sampleRate = 0;
    bool seenVideo = false;
    bool seenAudio = false;
    for (const auto& stream : CompactSections(starts.output)) {
        const auto type = stream.find("codec_type");
        if (type == stream.end()) {
            continue;
        }
        const bool video = type->second == "video" && !seenVideo;
        const bool audio = type->second == "audio" && !seenAudio;
        if (video || audio) {
            start = std::min(start, Number(stream, "start_time"));
        }
        if (video) {
            seenVideo = true;
            const double rate = stream.count("avg_frame_rate") ? RateValue(stream.at("avg_frame_rate")) : 0;
            frameDuration = rate > 0 ? 1 / rate : 0;
        }
        if (audio) {
            seenAudio = true;
            sampleRate = Number(stream, "sample_rate");
        }
    }
    if (start > 1e29) {
        return durations;
    }
    const CommandResult frames =
        RunCommand("ffprobe -v error -show_entries "
                   "frame=media_type,stream_index,best_effort_timestamp_time,pkt_duration_time,"
                   "nb_samples -of compact=p=0 " +
                   Quote(path));
    double videoEnd = 0;
    double audioEnd = 0;
    for (const auto& frame : CompactSections(frames.output)) {
        const auto type = frame.find("media_type");
        if (type == frame.end()) {
            continue;
        }
        // A frame without a timestamp follows the one before it.
        const bool stamped =
            frame.count("best_effort_timestamp_time") != 0 && frame.at("best_effort_timestamp_time") != "N/A";
        if (type->second == "video") {
            const double pts = stamped ? Number(frame, "best_effort_timestamp_time") : videoEnd;
            const double duration = Number(frame, "pkt_duration_time");
            videoEnd = std::max(videoEnd, pts + (duration > 0 ? duration : frameDuration));
        } else if (type->second == "audio" && sampleRate > 0) {
            const double pts = stamped ? Number(frame, "best_effort_timestamp_time") : audioEnd;
            audioEnd = std::max(audioEnd, pts + Number(frame, "nb_samples") / sampleRate);
        }
    }
    durations.video = seenVideo ? videoEnd - start : 0;
    durations.audio = seenAudio ? audioEnd - start : 0;
    return durations;
}

std::uint8_t TestChunkByte(std::size_t chunk, std::size_t i) {
    return static_cast<std::uint8_t>((chunk * 31 + i * 7 + 1) & 0xFF);
}

std::vector<std::uint8_t> BuildIntermediateAvi(const std::vector<TestChunk>& chunks) {
    std::vector<std::uint8_t> bytes(512, 0);
    auto put = [&bytes](std::size_t at, const char* tag) { std::memcpy(bytes.data() + at, tag, 4); };
    put(0, "RIFF");
    put(8, "AVI ");
    put(12, "LIST");
    WriteLE32(bytes, 16, 4 + 8 + 56);
    put(20, "hdrl");
    put(24, "avih");
    WriteLE32(bytes, 28, 56);
    std::uint32_t video = 0;
    for (const TestChunk& chunk : chunks) {
        video += chunk.video ? 1 : 0;
    }
    WriteLE32(bytes, 48, video);
    put(88, "JUNK");
    WriteLE32(bytes, 92, 500 - 96);
    put(500, "LIST");
    put(508, "movi");

    std::vector<std::uint8_t> index;
    for (std::size_t n = 0; n < chunks.size(); ++n) {
        const TestChunk& chunk = chunks[n];
        const std::size_t at = bytes.size();
        bytes.resize(at + 8 + chunk.size + chunk.size % 2, 0);
        std::memcpy(bytes.data() + at, chunk.video ? "00dc" : "01wb", 4);
        WriteLE32(bytes, at + 4, chunk.size);
        for (std::size_t i = 0; i < chunk.size; ++i) {
            bytes[at + 8 + i] = TestChunkByte(n, i);
        }
        const std::size_t entry = index.size();
        index.resize(entry + 16);
        std::memcpy(index.data() + entry, chunk.video ? "00dc" : "01wb", 4);
        WriteLE32(index, entry + 4, 0x10);
        WriteLE32(index, entry + 8, static_cast<std::uint32_t>(at - 508));
        WriteLE32(index, entry + 12, chunk.size);
    }
    WriteLE32(bytes, 504, static_cast<std::uint32_t>(bytes.size() - 508));
    const std::size_t indexAt = bytes.size();
    bytes.resize(indexAt + 8);
    std::memcpy(bytes.data() + indexAt, "idx1", 4);
    WriteLE32(bytes, indexAt + 4, static_cast<std::uint32_t>(index.size()));
    bytes.insert(bytes.end(), index.begin(), index.end());
    WriteLE32(bytes, 4, static_cast<std::uint32_t>(bytes.size() - 8));
    return bytes;
}

} // namespace k72test
