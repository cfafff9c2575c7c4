#include "engine/MediaKind.h"

#include "base/FileHandle.h"
#include "codecs/LibavHandles.h"
#include "codecs/PictureDecoder.h"
#include "codecs/ff_convertermain.h"

#include <array>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {
namespace {

std::string UpperExtension(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    if (extension.size() < 2) {
        return {};
    }
    extension.erase(0, 1);
    for (char& c : extension) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return extension;
}

// Movie or Sound when the media library finds a stream it can decode; nothing when it cannot read
// the file at all.
std::optional<MediaKind> ProbeStreams(const std::filesystem::path& file) {
    RouteLibraryLogToDiagnostics();
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) {
        return std::nullopt;
    }
    const libav::InputContextPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return MediaKind::Unknown;
    }
    bool sound = false;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (avcodec_find_decoder(stream->codecpar->codec_id) == nullptr) {
            continue;
        }
        // A cover picture attached to a sound file does not make it a movie.
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 && stream->codecpar->width > 0) {
            return MediaKind::Movie;
        }
        sound = sound || stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
    }
    return sound ? MediaKind::Sound : MediaKind::Unknown;
}

} // namespace

const std::vector<std::string_view>& KnownExtensions(MediaKind kind) {
    // The device tool's own eight movie extensions first, then what phones, cameras and the web make.
    static const std::vector<std::string_view> movies = {"AVI",  "MPG", "MPEG", "MOV", "WMV", "MP4", "FLV",
                                                         "DV",   "MKV", "WEBM", "M4V", "3GP", "3G2", "MTS",
                                                         "M2TS", "TS",  "VOB",  "OGV", "MXF", "ASF"};
    static const std::vector<std::string_view> pictures = {"JPG",  "JPEG", "BMP",  "PNG",  "WEBP", "TIF",
                                                           "TIFF", "GIF",  "HEIC", "HEIF", "AVIF"};
    static const std::vector<std::string_view> sounds = {"WAV", "MP3", "FLAC", "OGG",  "OGA", "OPUS",
                                                         "M4A", "AAC", "AIF",  "AIFF", "WMA"};
    static const std::vector<std::string_view> none;
    switch (kind) {
    case MediaKind::Movie:
        return movies;
    case MediaKind::Picture:
        return pictures;
    case MediaKind::Sound:
        return sounds;
    case MediaKind::Unknown:
        break;
    }
    return none;
}

MediaKind KindOfExtension(const std::filesystem::path& file) {
    const std::string extension = UpperExtension(file);
    for (MediaKind kind : {MediaKind::Movie, MediaKind::Picture, MediaKind::Sound}) {
        for (std::string_view known : KnownExtensions(kind)) {
            if (extension == known) {
                return kind;
            }
        }
    }
    return MediaKind::Unknown;
}

MediaKind KindOfFile(const std::filesystem::path& file) {
    const MediaKind guess = KindOfExtension(file);
    std::array<std::uint8_t, 64> head{};
    // Only a regular file is read, opened without waiting: a FIFO or a device would block the open or
    // the read for ever.
    const FileHandle fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return guess;
    }
    const ssize_t read = ::read(fd.get(), head.data(), head.size());
    const auto length = read > 0 ? static_cast<std::size_t>(read) : 0;
    if (length == 0) {
        return guess;
    }
    // A picture's signature is exact and cheap to test; a still picture that the media library would
    // also read as a one-picture stream (a JPEG or GIF under a movie's name) is a picture.
    if (PictureDecoder::LooksLikePicture(head.data(), length)) {
        return MediaKind::Picture;
    }
    const MediaKind probed = ProbeStreams(file).value_or(MediaKind::Unknown);
    // Content nobody recognises keeps its name's kind: a damaged movie or picture then gets its
    // converter's "cannot be decoded" answer, as it always did.
    return probed != MediaKind::Unknown ? probed : guess;
}

} // namespace k72
