#include "codecs/CDibImage.h"

#include <new>

namespace k72 {

CDibImage::CDibImage() = default;

CDibImage::~CDibImage() = default;

std::size_t CDibImage::PaddedRowBytes(std::uint32_t rowWidth, int bits) {
    return ((static_cast<std::size_t>(rowWidth) * static_cast<std::size_t>(bits) + 31) / 32) * 4;
}

bool CDibImage::Allocate(std::uint32_t newWidth, std::uint32_t newHeight, int bits, bool storeBottomUp) {
    pixels_ = nullptr;
    width_ = height_ = 0;
    rowBytes_ = 0;
    bitsPerPixel_ = 0;
    if (newWidth == 0 || newHeight == 0 ||
        !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
        return false;
    }
    const std::size_t row = PaddedRowBytes(newWidth, bits);
    const std::size_t bytes = row * newHeight;
    if (pixelStore_.capacity < bytes || !pixelStore_.bytes) {
        pixelStore_ = Storage{};
        try {
            pixelStore_.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
        } catch (const std::bad_alloc&) {
            return false;
        }
        pixelStore_.capacity = bytes;
    }
    pixels_ = pixelStore_.bytes.get();
    width_ = newWidth;
    height_ = newHeight;
    bitsPerPixel_ = bits;
    rowBytes_ = row;
    bottomUp_ = storeBottomUp;
    palette.fill(PaletteEntry{});
    redMask = bits == 16 ? 0x7C00u : 0;
    greenMask = bits == 16 ? 0x03E0u : 0;
    blueMask = bits == 16 ? 0x001Fu : 0;
    return true;
}

void CDibImage::AdoptStorage(Storage&& storage) {
    pixels_ = nullptr;
    width_ = height_ = 0;
    rowBytes_ = 0;
    bitsPerPixel_ = 0;
    pixelStore_ = std::move(storage);
}

CDibImage::Storage CDibImage::TakeStorage() {
    pixels_ = nullptr;
    width_ = height_ = 0;
    rowBytes_ = 0;
    bitsPerPixel_ = 0;
    Storage taken = std::move(pixelStore_);
    pixelStore_ = Storage{};
    return taken;
}

std::ptrdiff_t CDibImage::Pitch() const {
    return bottomUp_ ? -static_cast<std::ptrdiff_t>(rowBytes_) : static_cast<std::ptrdiff_t>(rowBytes_);
}

std::uint8_t* CDibImage::Row(std::uint32_t y) {
    return pixels_ + (bottomUp_ ? (height_ - 1 - y) : y) * rowBytes_;
}

const std::uint8_t* CDibImage::Row(std::uint32_t y) const {
    return pixels_ + (bottomUp_ ? (height_ - 1 - y) : y) * rowBytes_;
}

const std::uint8_t* CDibImage::TopRow() const {
    return pixels_ ? Row(0) : nullptr;
}

} // namespace k72
