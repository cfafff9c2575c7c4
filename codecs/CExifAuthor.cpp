#include "codecs/CExifAuthor.h"

#include "base/ByteOrder.h"
#include "base/DeviceFormat.h"
#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture writer";

constexpr std::uint32_t kAscii = 2;
constexpr std::uint32_t kShort = 3;
constexpr std::uint32_t kLong = 4;
constexpr std::uint32_t kRational = 5;
constexpr std::uint32_t kUndefined = 7;
constexpr std::uint32_t kPendingOffset = 255;

constexpr std::size_t kTiffStart = 12; // the "II" of the TIFF header

const std::uint8_t* Bytes(const char* text) {
    return reinterpret_cast<const std::uint8_t*>(text);
}

struct Piece {
    const std::uint8_t* data;
    std::size_t size;
};

std::string ErrnoText(const char* what, const std::filesystem::path& path) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const Piece& piece) {
    std::size_t done = 0;
    while (done < piece.size) {
        const ssize_t n = ::write(fd, piece.data + done, piece.size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes the pieces under a temporary name in the destination's folder and renames the result over
// the destination. Whatever fails, the temporary file is removed and the destination is untouched.
// 0, or the errno of the step that failed (so that a full disk can be told from other failures).
int ReplaceFile(const std::filesystem::path& destination, std::initializer_list<Piece> pieces) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path folder =
        destination.has_parent_path() ? destination.parent_path() : std::filesystem::path(".");
    std::filesystem::path temporary;
    FileHandle fd;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        // Not named like a card file (K72_*), so no scan of the card folder takes it for a picture.
        temporary = folder /
                    (".k72-picture-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp");
        fd.reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd && errno != EEXIST) {
            break;
        }
    }
    if (!fd) {
        const int error = errno;
        LogLine(kLogModule, ErrnoText("cannot create a file in", folder));
        return error;
    }
    int error = 0;
    for (const Piece& piece : pieces) {
        if (!WriteAll(fd.get(), piece)) {
            error = errno;
            LogLine(kLogModule, ErrnoText("cannot write", temporary));
            break;
        }
    }
    if (fd.close() != 0 && error == 0) {
        error = errno;
        LogLine(kLogModule, ErrnoText("cannot write", temporary));
    }
    if (error == 0 && ::rename(temporary.c_str(), destination.c_str()) != 0) {
        error = errno;
        LogLine(kLogModule, ErrnoText("cannot create", destination));
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
    }
    return error;
}

} // namespace

CExifAuthor::CExifAuthor() {
    headerArea_.reset(static_cast<std::uint8_t*>(av_mallocz(kHeaderAreaSize)));
    OpenByteWriter();
}

CExifAuthor::~CExifAuthor() {
    byteWriter_.reset();
    headerArea_.reset();
}

bool CExifAuthor::OpenByteWriter() {
    byteWriter_.reset();
    if (!headerArea_) {
        return false;
    }
    byteWriter_.reset(
        avio_alloc_context(headerArea_.get(), headerAreaSize_, 1, nullptr, nullptr, nullptr, nullptr));
    return byteWriter_ != nullptr;
}

void CExifAuthor::SetImages(const std::uint8_t* mainJpeg, std::int32_t mainLength,
                            const std::uint8_t* thumbJpeg, std::int32_t thumbLength) {
    mainImage_ = mainJpeg;
    mainImageLength_ = mainLength;
    thumbnail_ = thumbJpeg;
    thumbnailLength_ = thumbLength;
}

std::size_t CExifAuthor::Position() const {
    // Nothing is ever flushed out of the header area: it is larger than the header.
    return static_cast<std::size_t>(byteWriter_->buf_ptr - byteWriter_->buffer);
}

std::uint32_t CExifAuthor::TiffPosition() const {
    return static_cast<std::uint32_t>(Position() - kTiffStart);
}

void CExifAuthor::PatchLE32(std::size_t position, std::uint32_t value) {
    byteorder::StoreLE32(headerArea_.get() + position, value);
}

template <std::size_t N>
void CExifAuthor::WriteIfd(const ExifEntry (&entries)[N], std::size_t& nextIfdPosition) {
    AVIOContext* writer = byteWriter_.get();
    // Values that do not fit a 4-byte field follow the IFD back to back, in entry order, unaligned.
    std::uint32_t valueOffset = TiffPosition() + 2 + 12 * static_cast<std::uint32_t>(N) + 4;
    avio_wl16(writer, static_cast<unsigned>(N));
    for (const ExifEntry& entry : entries) {
        avio_wl16(writer, entry.tag);
        avio_wl16(writer, entry.type == kPendingOffset ? kLong : entry.type);
        avio_wl32(writer, entry.count);
        switch (entry.type) {
        case kAscii:
        case kUndefined:
            if (entry.count <= 4) {
                avio_write(writer, entry.bytes, static_cast<int>(entry.count));
                for (std::uint32_t pad = entry.count; pad < 4; ++pad) {
                    avio_w8(writer, 0);
                }
            } else {
                avio_wl32(writer, valueOffset);
                valueOffset += entry.count;
            }
            break;
        case kRational:
            avio_wl32(writer, valueOffset);
            valueOffset += 8;
            break;
        case kPendingOffset:
            *entry.pendingPosition = Position();
            avio_wl32(writer, 0);
            break;
        default: // SHORT and LONG: the number as LE32, a SHORT in its first two bytes
            avio_wl32(writer, entry.value);
            break;
        }
    }
    nextIfdPosition = Position();
    avio_wl32(writer, 0);
    for (const ExifEntry& entry : entries) {
        if ((entry.type == kAscii || entry.type == kUndefined) && entry.count > 4) {
            avio_write(writer, entry.bytes, static_cast<int>(entry.count));
        } else if (entry.type == kRational) {
            avio_wl32(writer, entry.value);
            avio_wl32(writer, entry.denominator);
        }
    }
}

int CExifAuthor::ComposeHeader() {
    if (!OpenByteWriter()) {
        return -1;
    }
    const std::size_t app1LengthPosition = WriteApp1Start();
    WriteMainIfds();
    const std::size_t headerSize = Position();
    const std::size_t pad = (headerSize + static_cast<std::size_t>(thumbnailLength_)) % 2;
    const std::size_t app1Length =
        (headerSize + static_cast<std::size_t>(thumbnailLength_) + pad - 4) % 65536;
    byteorder::StoreBE16(headerArea_.get() + app1LengthPosition, static_cast<std::uint16_t>(app1Length));
    return static_cast<int>(headerSize);
}

std::size_t CExifAuthor::WriteApp1Start() {
    AVIOContext* writer = byteWriter_.get();
    avio_w8(writer, 0xFF);
    avio_w8(writer, 0xD8);
    avio_w8(writer, 0xFF);
    avio_w8(writer, 0xE1);
    const std::size_t app1LengthPosition = Position();
    avio_wb16(writer, 0);
    avio_write(writer, Bytes("Exif\0"), 6);
    avio_w8(writer, 'I');
    avio_w8(writer, 'I');
    avio_wl16(writer, 0x2A);
    avio_wl32(writer, 8);
    return app1LengthPosition;
}

void CExifAuthor::WriteMainIfds() {
    static const char kDate[] = "2000:01:01 00:03:24";
    static const std::uint8_t kComponents[4] = {1, 2, 3, 0};
    std::size_t exifPointer = 0;
    std::size_t interoperabilityPointer = 0;
    std::size_t ifd0Next = 0;
    std::size_t exifNext = 0;
    std::size_t interoperabilityNext = 0;

    const ExifEntry ifd0[] = {
        {0x010F, kAscii, 7, 0, Bytes("KAVELO"), 0, nullptr},
        {0x0110, kAscii, 5, 0, Bytes("K-72"), 0, nullptr},
        {0x0112, kShort, 1, 1, nullptr, 0, nullptr},
        {0x011A, kRational, 1, 72, nullptr, 1, nullptr},
        {0x011B, kRational, 1, 72, nullptr, 1, nullptr},
        {0x0128, kShort, 1, 2, nullptr, 0, nullptr},
        {0x0131, kAscii, 8, 0, Bytes("Ver1.00"), 0, nullptr},
        {0x0213, kShort, 1, 2, nullptr, 0, nullptr},
        {0x8769, kPendingOffset, 1, 0, nullptr, 0, &exifPointer},
    };
    WriteIfd(ifd0, ifd0Next);
    PatchLE32(exifPointer, TiffPosition());

    const ExifEntry exif[] = {
        {0x9000, kUndefined, 4, 0, Bytes("0210"), 0, nullptr},
        {0x9003, kAscii, 20, 0, Bytes(kDate), 0, nullptr},
        {0x9004, kAscii, 20, 0, Bytes(kDate), 0, nullptr},
        {0x9101, kUndefined, 4, 0, kComponents, 0, nullptr},
        {0xA000, kUndefined, 4, 0, Bytes("0100"), 0, nullptr},
        {0xA001, kShort, 1, 1, nullptr, 0, nullptr},
        {0xA002, kLong, 1, device::kPictureWidth, nullptr, 0, nullptr},
        {0xA003, kLong, 1, device::kPictureHeight, nullptr, 0, nullptr},
        {0xA005, kPendingOffset, 1, 0, nullptr, 0, &interoperabilityPointer},
    };
    WriteIfd(exif, exifNext);
    PatchLE32(exifNext, 0);
    PatchLE32(interoperabilityPointer, TiffPosition());

    const ExifEntry interoperability[] = {
        {0x0001, kAscii, 4, 0, Bytes("R98"), 0, nullptr},
        {0x0002, kUndefined, 4, 0, Bytes("0100"), 0, nullptr},
    };
    WriteIfd(interoperability, interoperabilityNext);
    PatchLE32(interoperabilityNext, 0);
    // IFD0 links to IFD1, where the device reads the thumbnail from.
    PatchLE32(ifd0Next, TiffPosition());
    WriteThumbnailIfd();
}

void CExifAuthor::WriteThumbnailIfd() {
    std::size_t thumbnailPointer = 0;
    std::size_t ifd1Next = 0;
    const ExifEntry ifd1[] = {
        {0x0103, kShort, 1, 6, nullptr, 0, nullptr},
        {0x011A, kRational, 1, 72, nullptr, 1, nullptr},
        {0x011B, kRational, 1, 72, nullptr, 1, nullptr},
        {0x0128, kShort, 1, 2, nullptr, 0, nullptr},
        {0x0201, kPendingOffset, 1, 0, nullptr, 0, &thumbnailPointer},
        {0x0202, kLong, 1, static_cast<std::uint32_t>(thumbnailLength_), nullptr, 0, nullptr},
    };
    WriteIfd(ifd1, ifd1Next);
    PatchLE32(ifd1Next, 0);
    // The thumbnail's JPEG starts on an even offset right after the header.
    if (Position() % 2 != 0) {
        avio_w8(byteWriter_.get(), 0);
    }
    PatchLE32(thumbnailPointer, TiffPosition());
}

ResultCode CExifAuthor::Write(const std::string& destinationPath) {
    try {
        if (mainImage_ == nullptr || mainImageLength_ < 2 || thumbnail_ == nullptr || thumbnailLength_ < 0) {
            LogLine(kLogModule, "no pictures to write");
            return rc::Fail;
        }
        const int headerSize = ComposeHeader();
        if (headerSize < 0) {
            return rc::Fail;
        }
        const std::size_t thumbBytes = static_cast<std::size_t>(thumbnailLength_);
        const std::size_t pad = (static_cast<std::size_t>(headerSize) + thumbBytes) % 2;
        // The APP1 length field has 16 bits; a thumbnail it cannot describe would make a file the
        // device misreads.
        if (static_cast<std::size_t>(headerSize) + thumbBytes + pad - 4 > 65535) {
            LogLine(kLogModule, "thumbnail too large for the APP1 segment");
            return rc::Fail;
        }
        static const std::uint8_t kZero = 0;
        const int error = ReplaceFile(
            std::filesystem::path(destinationPath),
            {Piece{headerArea_.get(), static_cast<std::size_t>(headerSize)}, Piece{thumbnail_, thumbBytes},
             Piece{&kZero, pad}, Piece{mainImage_ + 2, static_cast<std::size_t>(mainImageLength_) - 2}});
        if (error == ENOSPC || error == EDQUOT) {
            return rc::DiscSpaceInsufficient;
        }
        return error == 0 ? 0 : rc::Fail;
    } catch (const std::exception& error) {
        LogLine(kLogModule, error.what());
        return rc::Fail;
    }
}

} // namespace k72
