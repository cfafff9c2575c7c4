#include "codecs/PictureDecoder.h"

#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"
#include "codecs/BmpPictureReader.h"
#include "codecs/ExifOrientation.h"
#include "codecs/FitGeometry.h"
#include "codecs/HeifPictureReader.h"
#include "codecs/JpegPictureReader.h"
#include "codecs/LibavPictureReader.h"
#include "codecs/PictureCauses.h"
#include "codecs/PngPictureReader.h"
#include "codecs/WebpAnimationReader.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture decoder";

// No picture file we accept comes near this; a larger one is refused before it is read.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 31;

} // namespace

PictureDecoder::PictureDecoder() = default;

PictureDecoder::~PictureDecoder() = default;

void PictureDecoder::SetMinimumSize(std::uint32_t width, std::uint32_t height) {
    minWidth_ = width;
    minHeight_ = height;
}

ConversionProblem PictureDecoder::Decode(const std::filesystem::path& path, CDibImage& image) {
    // O_NONBLOCK: a FIFO or device named like a picture is refused below instead of blocking the open.
    const FileHandle file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        const int error = errno;
        LogLine(kLogModule, "cannot open " + path.string() + ": " + std::strerror(error));
        return picturecause::CannotOpen(error);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return picturecause::CannotOpen(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return picturecause::NotAFile();
    }
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    if (fileSize == 0) {
        return picturecause::EmptyFile();
    }
    if (fileSize > kMaxFileBytes) {
        return picturecause::FileTooLarge(fileSize);
    }
    try {
        fileBytes_.resize(static_cast<std::size_t>(fileSize));
    } catch (const std::exception&) {
        return picturecause::OutOfMemory();
    }
    std::size_t done = 0;
    while (done < fileBytes_.size()) {
        const ssize_t n = ::read(file.get(), fileBytes_.data() + done, fileBytes_.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            LogLine(kLogModule, "cannot read " + path.string());
            return picturecause::CannotOpen(error);
        }
        if (n == 0) {
            // Shortened while we read it.
            fileBytes_.resize(done);
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return Decode(fileBytes_.data(), fileBytes_.size(), image);
}

bool PictureDecoder::LooksLikePicture(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 4) {
        return false;
    }
    return (data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) ||
           (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1A\n", 8) == 0) ||
           (data[0] == 'B' && data[1] == 'M') ||
           (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0) ||
           std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0 ||
           (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) ||
           LooksLikeHeif(data, size);
}

ConversionProblem PictureDecoder::Decode(const std::uint8_t* data, std::size_t size, CDibImage& image) {
    if (data == nullptr || size == 0) {
        return picturecause::EmptyFile();
    }
    if (size < 4) {
        return picturecause::NotAPicture(data, size);
    }
    orientation_ = 1;
    try {
        if (data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
            orientation_ = JpegOrientation(data, size);
            // The smallest decode must cover the picture once it stands upright.
            const bool turned = StepsForOrientation(orientation_).transpose;
            return DecodeJpegPicture(data, size, turned ? minHeight_ : minWidth_,
                                     turned ? minWidth_ : minHeight_, image);
        }
        if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1A\n", 8) == 0) {
            orientation_ = PngOrientation(data, size);
            return DecodePngPicture(data, size, image);
        }
        if (data[0] == 'B' && data[1] == 'M') {
            if (!bmpReader_) {
                bmpReader_ = std::make_unique<BmpPictureReader>();
            }
            return bmpReader_->Decode(data, size, image);
        }
        if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0) {
            orientation_ = WebpOrientation(data, size);
            if (IsAnimatedWebp(data, size)) {
                return DecodeAnimatedWebp(data, size, image);
            }
            return DecodeLibavPicture(AV_CODEC_ID_WEBP, data, size, image);
        }
        if (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0) {
            orientation_ = TiffOrientation(data, size);
            return DecodeLibavPicture(AV_CODEC_ID_TIFF, data, size, image);
        }
        if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
            return DecodeLibavPicture(AV_CODEC_ID_GIF, data, size, image);
        }
        if (LooksLikeHeif(data, size)) {
            // libheif turns the picture upright itself; the minimum size is that of the upright picture.
            return DecodeHeifPicture(data, size, minWidth_, minHeight_, image);
        }
    } catch (const std::bad_alloc&) {
        return picturecause::OutOfMemory();
    } catch (const std::exception& error) {
        LogLine(kLogModule, error.what());
        return picturecause::Damaged("");
    }
    LogLine(kLogModule, "not a picture file of a known kind");
    return picturecause::NotAPicture(data, size);
}

} // namespace k72
