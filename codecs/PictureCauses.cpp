#include "codecs/PictureCauses.h"

#include "codecs/PictureLimits.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

namespace k72::picturecause {
namespace {

// What people most often pick by mistake, known by the bytes a file of that kind starts with.
struct Signature {
    std::size_t offset;
    std::string_view bytes;
    std::string_view kind;
};

constexpr std::array kSignatures{
    Signature{0, "%PDF", "a PDF document"},
    Signature{0, "PK\x03\x04", "a ZIP archive or an office document"},
    Signature{0, "\x1F\x8B", "a gzip archive"},
    Signature{0, "7z\xBC\xAF\x27\x1C", "a 7-Zip archive"},
    Signature{0, "Rar!", "a RAR archive"},
    Signature{0,
              "\x7F"
              "ELF",
              "a program"},
    Signature{0, "MZ", "a Windows program"},
    Signature{0, "\xD0\xCF\x11\xE0", "an older Microsoft Office document"},
    Signature{0, "{\\rtf", "an RTF document"},
    Signature{8, "AVI ", "an AVI movie"},
    Signature{8, "WAVE", "a WAV sound"},
    Signature{0, "OggS", "an Ogg sound or movie"},
    Signature{0, "fLaC", "a FLAC sound"},
    Signature{0, "ID3", "an MP3 sound"},
    Signature{8, "M4A ", "an M4A sound"},
    Signature{4, "ftyp", "an MP4 or QuickTime movie"},
    Signature{4, "moov", "a QuickTime movie"},
    Signature{0, "\x1A\x45\xDF\xA3", "a Matroska or WebM movie"},
    Signature{0, std::string_view("\x00\x00\x01\xBA", 4), "an MPEG movie"},
    Signature{0, std::string_view("\x00\x00\x01\xB3", 4), "an MPEG movie"},
    Signature{0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11", "a Windows Media file"},
    Signature{0, "8BPS", "a Photoshop document"},
    Signature{0, std::string_view("\x00\x00\x01\x00", 4), "a Windows icon"},
    Signature{4, "jP  ", "a JPEG 2000 picture, which this converter does not read"},
    Signature{0, "\xFF\x4F\xFF\x51", "a JPEG 2000 picture, which this converter does not read"},
};

bool StartsWith(const std::uint8_t* data, std::size_t size, const Signature& signature) {
    return size >= signature.offset + signature.bytes.size() &&
           std::memcmp(data + signature.offset, signature.bytes.data(), signature.bytes.size()) == 0;
}

// Whether the first bytes read as text: printable ASCII, tabs and line ends, or UTF-8.
bool LooksLikeText(const std::uint8_t* data, std::size_t size) {
    const std::size_t checked = std::min<std::size_t>(size, 512);
    return checked > 0 && std::all_of(data, data + checked, [](std::uint8_t c) {
               return c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
           });
}

std::string MegabyteText(std::uint64_t bytes) {
    return std::to_string((bytes + 500'000) / 1'000'000) + " MB";
}

} // namespace

ConversionProblem CannotOpen(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return {rc::JpegDecodeFailed, "the file does not exist"};
    case EACCES:
    case EPERM:
        return {rc::JpegDecodeFailed, "the file may not be read (permission denied)"};
    case EISDIR:
        return NotAFile();
    default:
        return {rc::JpegDecodeFailed, std::string("the file cannot be read (") + std::strerror(error) + ")"};
    }
}

ConversionProblem NotAFile() {
    return {rc::JpegDecodeFailed, "this is a folder or a device, not a file"};
}

ConversionProblem EmptyFile() {
    return {rc::JpegDecodeFailed, "the file is empty"};
}

ConversionProblem FileTooLarge(std::uint64_t bytes) {
    return {rc::JpegUnsupportedLayout,
            "the file is " + MegabyteText(bytes) + ", larger than any picture file this converter reads"};
}

ConversionProblem Truncated() {
    return {rc::JpegDecodeFailed, "the file ends before the picture is complete"};
}

ConversionProblem Damaged(std::string_view format) {
    return {rc::JpegDecodeFailed, format.empty() ? std::string("the picture is damaged")
                                                 : "the " + std::string(format) + " picture is damaged"};
}

ConversionProblem TooLarge(std::uint64_t width, std::uint64_t height) {
    return {rc::JpegUnsupportedLayout,
            "the picture is " + std::to_string(width) + " \u00D7 " + std::to_string(height) +
                ", larger than the " + std::to_string(kMaxPicturePixels / 1'000'000) + "-megapixel limit"};
}

ConversionProblem Unsupported(std::string_view what) {
    return {rc::JpegDecodeFailed,
            "the picture uses " + std::string(what) + ", which this converter cannot read"};
}

ConversionProblem OutOfMemory() {
    return {rc::JpegUnsupportedLayout, "there is not enough memory to hold the picture"};
}

ConversionProblem NotAPicture(const std::uint8_t* data, std::size_t size) {
    if (data != nullptr) {
        for (const Signature& signature : kSignatures) {
            if (StartsWith(data, size, signature)) {
                return {rc::JpegDecodeFailed, "this is not a picture: it is " + std::string(signature.kind)};
            }
        }
        if (size >= 5 && (std::memcmp(data, "<svg", 4) == 0 || std::memcmp(data, "<?xml", 5) == 0)) {
            return {rc::JpegDecodeFailed, "this is not a picture: it is an SVG drawing or an XML document"};
        }
        if (LooksLikeText(data, size)) {
            return {rc::JpegDecodeFailed, "this is not a picture: it is a text file"};
        }
    }
    return {rc::JpegDecodeFailed, "this is not a picture of a kind this converter reads"};
}

} // namespace k72::picturecause
