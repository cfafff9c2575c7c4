#include "store/DeviceForm.h"

#include "base/ByteOrder.h"
#include "base/DeviceFormat.h"
#include "base/FileHandle.h"
#include "store/CardLayout.h"
#include "store/ShortName.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace k72 {
namespace {

// Offsets of the device's movie header: the main header's frame count and size, the video stream's
// type and handler, and the "movi" list right after the 500 header bytes.
constexpr std::size_t kTotalFrames = 48;
constexpr std::size_t kWidth = 64;
constexpr std::size_t kHeight = 68;
constexpr std::size_t kStreamType = 108;
constexpr std::size_t kStreamHandler = 112;
constexpr std::size_t kMoviList = 500;
constexpr std::size_t kMovieHead = 512;
// Enough of a picture for its EXIF block (at most one 64 KiB segment) and the frame header after it.
constexpr std::size_t kPictureHead = 128 * 1024;

bool Tag(const std::vector<std::uint8_t>& bytes, std::size_t at, const char* tag) {
    return at + 4 <= bytes.size() && std::memcmp(bytes.data() + at, tag, 4) == 0;
}

// Up to size bytes from the start of a regular file; empty for anything else (opened without waiting,
// so that a FIFO cannot block).
std::vector<std::uint8_t> Head(const std::filesystem::path& file, std::size_t size) {
    const FileHandle fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {};
    }
    std::vector<std::uint8_t> bytes(size);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd.get(), bytes.data() + done, size - done, static_cast<off_t>(done));
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

bool DeviceMovie(const std::vector<std::uint8_t>& h) {
    return h.size() >= kMovieHead && Tag(h, 0, "RIFF") && Tag(h, 8, "AVI ") && Tag(h, 12, "LIST") &&
           Tag(h, 20, "hdrl") && Tag(h, 24, "avih") && byteorder::LoadLE32(h.data() + kTotalFrames) > 0 &&
           byteorder::LoadLE32(h.data() + kWidth) == static_cast<std::uint32_t>(device::kPictureWidth) &&
           byteorder::LoadLE32(h.data() + kHeight) == static_cast<std::uint32_t>(device::kPictureHeight) &&
           Tag(h, kStreamType, "vids") && Tag(h, kStreamHandler, "MJPG") && Tag(h, kMoviList, "LIST") &&
           Tag(h, kMoviList + 8, "movi");
}

// A JPEG whose first segment is its EXIF block and whose frame is 640 x 480.
bool DevicePicture(const std::vector<std::uint8_t>& h) {
    if (h.size() < 4 || h[0] != 0xFF || h[1] != 0xD8 || h[2] != 0xFF || h[3] != 0xE1 || h.size() < 12 ||
        std::memcmp(h.data() + 6, "Exif\0\0", 6) != 0) {
        return false;
    }
    std::size_t at = 2;
    while (at + 4 <= h.size()) {
        if (h[at] != 0xFF) {
            return false;
        }
        const std::uint8_t marker = h[at + 1];
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        const std::size_t length = byteorder::LoadBE16(h.data() + at + 2);
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            return at + 9 <= h.size() &&
                   byteorder::LoadBE16(h.data() + at + 5) ==
                       static_cast<std::uint16_t>(device::kPictureHeight) &&
                   byteorder::LoadBE16(h.data() + at + 7) ==
                       static_cast<std::uint16_t>(device::kPictureWidth);
        }
        if (marker == 0xDA || marker == 0xD9 || length < 2) {
            return false; // the pictures' data before any frame header
        }
        at += 2 + length;
    }
    return false;
}

bool HasExtension(std::string_view name, std::string_view extension) {
    return name.size() > extension.size() && name.substr(name.size() - extension.size()) == extension;
}

} // namespace

bool IsDeviceName(std::string_view name) {
    if (!IsPlainCardName(name)) {
        return false;
    }
    const auto shortName = ExactShortName(std::string(name));
    return shortName && *shortName == name;
}

bool InDeviceForm(const std::filesystem::path& file, PadKind kind) {
    const std::string name = file.filename().string();
    if (!IsDeviceName(name)) {
        return false;
    }
    if (kind == PadKindMovie) {
        return HasExtension(name, ".AVI") && DeviceMovie(Head(file, kMovieHead));
    }
    if (kind == PadKindStill) {
        return HasExtension(name, ".JPG") && DevicePicture(Head(file, kPictureHead));
    }
    return false;
}

} // namespace k72
