#pragma once
// A decoded picture as a device-independent bitmap: width, height, bits per pixel (1, 4, 8, 16, 24 or
// 32), rows padded to 4 bytes, a palette for 1, 4 and 8 bits, channel masks for 16 bits, and pixels
// B, G, R (24 bits) or B, G, R, X (32 bits). The decoders store it bottom-up, as bitmaps are kept on
// disk; the pitch is then negative and TopRow() is the last row in memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace k72 {

class CDibImage {
public:
    struct PaletteEntry {
        std::uint8_t blue = 0;
        std::uint8_t green = 0;
        std::uint8_t red = 0;
        std::uint8_t reserved = 0;
    };

    CDibImage();
    virtual ~CDibImage();
    CDibImage(const CDibImage&) = delete;
    CDibImage& operator=(const CDibImage&) = delete;

    // Allocates the pixel rows (contents undefined) and clears the palette to black; 16-bit pictures get
    // the 5-5-5 masks. False when the size cannot be held in memory. A block that is already large
    // enough is reused.
    bool Allocate(std::uint32_t width, std::uint32_t height, int bitsPerPixel, bool bottomUp = true);

    // The pixel memory, handed from one picture to the next: a picture object lives for one conversion,
    // but fresh memory for every picture costs more than decoding a small one.
    struct Storage {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t capacity = 0;
    };
    void AdoptStorage(Storage&& storage);
    Storage TakeStorage();

    std::uint32_t Width() const { return width_; }
    std::uint32_t Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    std::size_t RowBytes() const { return rowBytes_; } // |pitch|
    // Byte distance from one row of the picture to the row below it: negative when stored bottom-up.
    std::ptrdiff_t Pitch() const;
    const std::uint8_t* TopRow() const;
    // Row y counted from the top of the picture.
    std::uint8_t* Row(std::uint32_t y);
    const std::uint8_t* Row(std::uint32_t y) const;

    // 2^bits entries for 1, 4 and 8 bits; entries past the file's own palette stay black.
    std::array<PaletteEntry, 256> palette{};
    // For 16 bits: where red, green and blue sit in the little-endian pixel word.
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;

    // Padded row length of a bottom-up bitmap of this width and depth.
    static std::size_t PaddedRowBytes(std::uint32_t width, int bitsPerPixel);

private:
    Storage pixelStore_;
    std::uint8_t* pixels_ = nullptr;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    int bitsPerPixel_ = 0;
    std::size_t rowBytes_ = 0;
    bool bottomUp_ = true;
};

} // namespace k72
