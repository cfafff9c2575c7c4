#pragma once
// Writes a device picture file: FF D8, one APP1 segment holding the fixed EXIF block and the whole
// thumbnail JPEG, then the main JPEG from its third byte (its own FF D8 is dropped). The device reads
// these files, so every byte of the 448-byte header is fixed: the camera name, the dates, the pixel
// dimensions and every IFD offset are the same in every file.

#include "codecs/LibavHandles.h"
#include "codecs/ResultCodes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/mem.h>
}

namespace k72 {

class CExifAuthor {
public:
    static constexpr int kHeaderAreaSize = 896;
    static constexpr int kHeaderSize = 448;

    CExifAuthor();
    virtual ~CExifAuthor();
    CExifAuthor(const CExifAuthor&) = delete;
    CExifAuthor& operator=(const CExifAuthor&) = delete;

    // The two complete JPEG streams of the next Write; not owned, they must outlive it.
    void SetImages(const std::uint8_t* mainJpeg, std::int32_t mainLength, const std::uint8_t* thumbJpeg,
                   std::int32_t thumbLength);

    // Composes the header and writes the file (UTF-8 path). The file appears complete or not at all:
    // it is written under a temporary name beside the destination and renamed over it at the end, so
    // a full disk or a failed write never leaves a partial picture, and an existing file stays as it
    // was. 0; rc::DiscSpaceInsufficient when the disk is full; rc::Fail when the file could not be
    // written for another reason.
    [[nodiscard]] ResultCode Write(const std::string& destinationPath);

    // Composes the header into the header area; its size (448), or -1 without images.
    int ComposeHeader();
    const std::uint8_t* HeaderArea() const { return headerArea_.get(); }

private:
    struct ExifEntry {
        std::uint16_t tag = 0;
        std::uint32_t type = 0; // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 7 UNDEFINED, 255 PendingOffset
        std::uint32_t count = 0;
        std::uint32_t value = 0;                // SHORT, LONG, RATIONAL numerator
        const std::uint8_t* bytes = nullptr;    // ASCII (with its zero), UNDEFINED
        std::uint32_t denominator = 0;          // RATIONAL
        std::size_t* pendingPosition = nullptr; // PendingOffset: where its value field lies
    };
    template <std::size_t N> void WriteIfd(const ExifEntry (&entries)[N], std::size_t& nextIfdPosition);
    std::size_t Position() const;       // bytes composed so far
    std::uint32_t TiffPosition() const; // the same, counted from the TIFF header at offset 12
    void PatchLE32(std::size_t position, std::uint32_t value);
    bool OpenByteWriter();

    libav::IoContextPtr byteWriter_;
    libav::BufferPtr headerArea_;
    int headerAreaSize_ = kHeaderAreaSize;
    const std::uint8_t* mainImage_ = nullptr;
    std::int32_t mainImageLength_ = 0;
    const std::uint8_t* thumbnail_ = nullptr;
    std::int32_t thumbnailLength_ = 0;
};

} // namespace k72
