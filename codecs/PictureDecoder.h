#pragma once
// The picture decoder of the still picture path: reads a JPEG, PNG, BMP, WebP, TIFF, GIF or HEIF/AVIF
// file (recognised by its content, whatever its name says) and yields it as a device-independent
// bitmap, with the orientation the camera recorded. Keeps its file buffer and BMP decoder from one
// picture to the next.

#include "codecs/CDibImage.h"
#include "codecs/ConversionProblem.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace k72 {

class BmpPictureReader;

class PictureDecoder {
public:
    PictureDecoder();
    virtual ~PictureDecoder();
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

    // The smallest size the caller will make of the picture. JPEG pictures are decoded at the smallest
    // DCT scale that still covers it; 0 x 0 (the default) decodes everything at full size.
    void SetMinimumSize(std::uint32_t width, std::uint32_t height);

    // 0, or rc::JpegDecodeFailed (missing, unreadable, cut short, damaged, not a picture) or
    // rc::JpegUnsupportedLayout (too large to hold), each with its cause in words.
    ConversionProblem Decode(const std::filesystem::path& path, CDibImage& image);
    ConversionProblem Decode(const std::uint8_t* data, std::size_t size, CDibImage& image);

    // Whether the first bytes of a file carry the signature of a picture format this decoder reads.
    [[nodiscard]] static bool LooksLikePicture(const std::uint8_t* data, std::size_t size);

    // The EXIF orientation (1 ... 8) of the last picture decoded: how its stored rows must be turned to
    // stand upright. 1 when it carries none, or when its reader has already turned it (HEIF).
    [[nodiscard]] int Orientation() const { return orientation_; }

private:
    std::uint32_t minWidth_ = 0;
    std::uint32_t minHeight_ = 0;
    int orientation_ = 1;
    std::vector<std::uint8_t> fileBytes_;
    std::unique_ptr<BmpPictureReader> bmpReader_;
};

} // namespace k72
