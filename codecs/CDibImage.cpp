#include "codecs/CDibImage.h"

#include <new>

namespace k72 {

CDibImage::CDibImage() = default;

CDibImage::~CDibImage() = default;

std::size_t CDibImage::PaddedRowBytes(std::uint32_t rowWidth, int bits) {
    return ((static_cast<std::size_t>(rowWidth) * static_cast<std::size_t>(bits) + 31) / 32) * 4;
}

bool CDibImage::Allocate(std::uint32_t newWidth, std::uint32_t newHeight, int bits, bool storeBottomUp) {
    pixels = nullptr;
    width = height = 0;
    rowBytes = 0;
    bitsPerPixel = 0;
    if (newWidth == 0 || newHeight == 0 ||
        !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
        return false;
    }
    const std::size_t row = PaddedRowBytes(newWidth, bits);
    const std::size_t bytes = row * newHeight;
    if (pixelStore.capacity < bytes || !pixelStore.bytes) {
        pixelStore = Storage{};
        try {
            pixelStore.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
        } catch (const std::bad_alloc&) {
            return false;
        }
        pixelStore.capacity = bytes;
    }
    pixels = pixelStore.bytes.get();
    width = newWidth;
    height = newHeight;
    bitsPerPixel = bits;
    rowBytes = row;
    bottomUp = storeBottomUp;
    palette.fill(PaletteEntry{});
    redMask = bits == 16 ? 0x7C00u : 0;
    greenMask = bits == 16 ? 0x03E0u : 0;
    blueMask = bits == 16 ? 0x001Fu : 0;
    return true;
}

void CDibImage::AdoptStorage(Storage&& storage) {
    pixels = nullptr;
    width = height = 0;
    rowBytes = 0;
    bitsPerPixel = 0;
    pixelStore = std::move(storage);
}

CDibImage::Storage CDibImage::TakeStorage() {
    pixels = nullptr;
    width = height = 0;
    rowBytes = 0;
    bitsPerPixel = 0;
    Storage taken = std::move(pixelStore);
    pixelStore = Storage{};
    return taken;
}

std::ptrdiff_t CDibImage::Pitch() const {
    return bottomUp ? -static_cast<std::ptrdiff_t>(rowBytes) : static_cast<std::ptrdiff_t>(rowBytes);
}

std::uint8_t* CDibImage::Row(std::uint32_t y) {
    return pixels + (bottomUp ? (height - 1 - y) : y) * rowBytes;
}

const std::uint8_t* CDibImage::Row(std::uint32_t y) const {
    return pixels + (bottomUp ? (height - 1 - y) : y) * rowBytes;
}

const std::uint8_t* CDibImage::TopRow() const {
    return pixels ? Row(0) : nullptr;
}

} // namespace k72
