#include "codecs/ExifOrientation.h"

#include "base/ByteOrder.h"

#include <cstring>

namespace k72 {
namespace {

constexpr int kUpright = 1;
constexpr std::uint16_t kOrientationTag = 0x0112;

} // namespace

int TiffOrientation(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 8) {
        return kUpright;
    }
    bool little;
    if (std::memcmp(data, "II*\0", 4) == 0) {
        little = true;
    } else if (std::memcmp(data, "MM\0*", 4) == 0) {
        little = false;
    } else {
        return kUpright;
    }
    const auto read16 = [&](std::size_t at) -> std::uint32_t {
        return little ? byteorder::LoadLE16(data + at) : byteorder::LoadBE16(data + at);
    };
    const auto read32 = [&](std::size_t at) {
        return little ? byteorder::LoadLE32(data + at) : byteorder::LoadBE32(data + at);
    };
    const std::size_t directory = read32(4);
    if (directory < 8 || directory > size - 2) {
        return kUpright;
    }
    const std::size_t count = read16(directory);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = directory + 2 + i * 12;
        if (entry + 12 > size) {
            break;
        }
        if (read16(entry) != kOrientationTag) {
            continue;
        }
        // Type SHORT (3), one value, kept in the first two bytes of the value field.
        if (read16(entry + 2) != 3 || read32(entry + 4) < 1) {
            return kUpright;
        }
        const std::uint32_t value = read16(entry + 8);
        return value >= 1 && value <= 8 ? static_cast<int>(value) : kUpright;
    }
    return kUpright;
}

int JpegOrientation(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        return kUpright;
    }
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) {
            return kUpright;
        }
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) { // the picture data begins: no EXIF before it
            return kUpright;
        }
        const std::size_t length = byteorder::LoadBE16(data + at + 2);
        if (length < 2 || at + 2 + length > size) {
            return kUpright;
        }
        const std::uint8_t* body = data + at + 4;
        const std::size_t bodySize = length - 2;
        if (marker == 0xE1 && bodySize >= 6 && std::memcmp(body, "Exif\0\0", 6) == 0) {
            return TiffOrientation(body + 6, bodySize - 6);
        }
        at += 2 + length;
    }
    return kUpright;
}

int PngOrientation(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 8 || std::memcmp(data, "\x89PNG\r\n\x1A\n", 8) != 0) {
        return kUpright;
    }
    std::size_t at = 8;
    while (at + 12 <= size) {
        const std::size_t length = byteorder::LoadBE32(data + at);
        if (length > size - at - 12) {
            return kUpright;
        }
        const std::uint8_t* type = data + at + 4;
        if (std::memcmp(type, "eXIf", 4) == 0) {
            return TiffOrientation(data + at + 8, length);
        }
        if (std::memcmp(type, "IEND", 4) == 0) { // eXIf may come before or after the picture data
            return kUpright;
        }
        at += 12 + length;
    }
    return kUpright;
}

int WebpOrientation(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 12 || std::memcmp(data, "RIFF", 4) != 0 ||
        std::memcmp(data + 8, "WEBP", 4) != 0) {
        return kUpright;
    }
    std::size_t at = 12;
    while (at + 8 <= size) {
        const std::size_t length = byteorder::LoadLE32(data + at + 4);
        if (length > size - at - 8) {
            return kUpright;
        }
        if (std::memcmp(data + at, "EXIF", 4) == 0) {
            const std::uint8_t* body = data + at + 8;
            // Some writers keep the JPEG segment's "Exif\0\0" prefix.
            if (length >= 6 && std::memcmp(body, "Exif\0\0", 6) == 0) {
                return TiffOrientation(body + 6, length - 6);
            }
            return TiffOrientation(body, length);
        }
        at += 8 + length + (length & 1);
    }
    return kUpright;
}

} // namespace k72
