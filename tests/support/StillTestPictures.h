#pragma once
// Picture files for the still picture tests, written here with libjpeg, libpng and a plain BMP writer
// so that every layout a user may bring (progressive, CMYK, palettes, 16-bit channels, interlacing,
// top-down rows, odd widths) can be made on the spot. Header-only: the tests that use it link the
// codecs layer, which brings libjpeg and libpng.

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace k72test {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes; // R, G, B, rows top to bottom
    Rgb At(int x, int y) const {
        const std::uint8_t* p = &bytes[(static_cast<std::size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

inline RgbPicture MakePicture(int width, int height, const std::function<Rgb(int, int)>& colour) {
    RgbPicture picture{width, height,
                       std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            std::uint8_t* p = &picture.bytes[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
    return picture;
}

// A smooth picture: slow colour ramps in every channel, so a stretched copy stays close to it.
inline RgbPicture SmoothPicture(int width, int height) {
    return MakePicture(width, height, [=](int x, int y) {
        return Rgb{static_cast<std::uint8_t>(30 + 200 * x / width),
                   static_cast<std::uint8_t>(40 + 180 * y / height),
                   static_cast<std::uint8_t>(220 - 150 * (x + y) / (width + height))};
    });
}

// ---- JPEG ----
enum class JpegKind { Baseline, Progressive, Grey, Cmyk };

inline void WriteJpeg(const std::filesystem::path& path, const RgbPicture& picture, JpegKind kind,
                      int quality = 92) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = kind == JpegKind::Grey ? 1 : kind == JpegKind::Cmyk ? 4 : 3;
    info.in_color_space = kind == JpegKind::Grey   ? JCS_GRAYSCALE
                          : kind == JpegKind::Cmyk ? JCS_CMYK
                                                   : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (kind == JpegKind::Progressive) {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(picture.width) * 4);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < picture.width; ++x) {
            const Rgb c = picture.At(x, y);
            if (kind == JpegKind::Grey) {
                row[x] = static_cast<std::uint8_t>((c.r * 299 + c.g * 587 + c.b * 114) / 1000);
            } else if (kind == JpegKind::Cmyk) {
                // Stored inverted, as Photoshop writes CMYK (libjpeg adds the Adobe marker): K = 0 ink.
                row[x * 4 + 0] = c.r;
                row[x * 4 + 1] = c.g;
                row[x * 4 + 2] = c.b;
                row[x * 4 + 3] = 255;
            } else {
                row[x * 3 + 0] = c.r;
                row[x * 3 + 1] = c.g;
                row[x * 3 + 2] = c.b;
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// ---- PNG ----
struct PngLayout {
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<Rgb> palette;        // PNG_COLOR_TYPE_PALETTE
    std::vector<std::uint8_t> trns;  // palette alpha entries, or one grey/RGB sample when non-empty
    std::uint32_t declaredWidth = 0; // when non-zero: written into the header instead of the real size
    std::uint32_t declaredHeight = 0;
};

// sample(x, y, channel) gives each stored sample at the file's own bit depth (palette index, grey level,
// 16-bit channel value ...).
inline void WritePng(const std::filesystem::path& path, int width, int height, const PngLayout& layout,
                     const std::function<unsigned(int, int, int)>& sample) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                 layout.bitDepth, layout.colorType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> entries;
    for (const Rgb& c : layout.palette) {
        entries.push_back(png_color{c.r, c.g, c.b});
    }
    if (!entries.empty()) {
        png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
    }
    if (!layout.trns.empty()) {
        if (layout.colorType == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, layout.trns.data(), static_cast<int>(layout.trns.size()), nullptr);
        } else {
            png_color_16 value{};
            value.gray = value.red = value.green = value.blue = layout.trns[0];
            png_set_tRNS(png, info, nullptr, 0, &value);
        }
    }
    png_write_info(png, info);
    const int channels = png_get_channels(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<std::vector<std::uint8_t>> rows(static_cast<std::size_t>(height),
                                                std::vector<std::uint8_t>(rowBytes));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = rows[static_cast<std::size_t>(y)].data();
        std::size_t bit = 0;
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const unsigned v = sample(x, y, c);
                if (layout.bitDepth == 16) {
                    row[bit / 8] = static_cast<std::uint8_t>(v >> 8);
                    row[bit / 8 + 1] = static_cast<std::uint8_t>(v);
                } else if (layout.bitDepth == 8) {
                    row[bit / 8] = static_cast<std::uint8_t>(v);
                } else {
                    row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - layout.bitDepth - bit % 8));
                }
                bit += static_cast<std::size_t>(layout.bitDepth);
            }
        }
    }
    std::vector<png_bytep> pointers;
    for (auto& row : rows) {
        pointers.push_back(row.data());
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

inline void WriteRgbPng(const std::filesystem::path& path, const RgbPicture& picture,
                        bool interlaced = false) {
    PngLayout layout;
    layout.interlaced = interlaced;
    WritePng(path, picture.width, picture.height, layout, [&](int x, int y, int c) {
        const Rgb p = picture.At(x, y);
        return static_cast<unsigned>(c == 0 ? p.r : c == 1 ? p.g : p.b);
    });
}

// ---- BMP ----
struct BmpLayout {
    int bits = 24; // 1, 4, 8, 16, 24, 32
    bool topDown = false;
    std::vector<Rgb> palette; // 1, 4, 8 bits
    bool rgb565 = false;      // 16 bits: BI_BITFIELDS 5-6-5 instead of plain 5-5-5
    // 32 bits: BI_BITFIELDS with these red, green and blue masks; pixel() then gives the stored word.
    std::array<std::uint32_t, 3> masks{};
};

// pixel(x, y) gives the stored value: a palette index, a 16-bit word, or 0xRRGGBB for 24 and 32 bits.
// The CRC of PNG chunks, for tests that forge one.
inline std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

inline std::vector<std::uint8_t> BmpBytes(int width, int height, const BmpLayout& layout,
                                          const std::function<std::uint32_t(int, int)>& pixel) {
    const std::size_t rowBytes = ((static_cast<std::size_t>(width) * layout.bits + 31) / 32) * 4;
    const bool masked = layout.bits == 32 && layout.masks[0] != 0;
    const bool bitfields = (layout.bits == 16 && layout.rgb565) || masked;
    const std::size_t paletteBytes = layout.palette.size() * 4;
    const std::size_t offset = 14 + 40 + (bitfields ? 12 : 0) + paletteBytes;
    std::vector<std::uint8_t> out(offset + rowBytes * static_cast<std::size_t>(height), 0);
    const auto le16 = [&](std::size_t at, std::uint32_t v) {
        out[at] = static_cast<std::uint8_t>(v);
        out[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    const auto le32 = [&](std::size_t at, std::uint32_t v) {
        le16(at, v & 0xFFFF);
        le16(at + 2, v >> 16);
    };
    out[0] = 'B';
    out[1] = 'M';
    le32(2, static_cast<std::uint32_t>(out.size()));
    le32(10, static_cast<std::uint32_t>(offset));
    le32(14, 40);
    le32(18, static_cast<std::uint32_t>(width));
    le32(22, static_cast<std::uint32_t>(layout.topDown ? -height : height));
    le16(26, 1);
    le16(28, static_cast<std::uint32_t>(layout.bits));
    le32(30, bitfields ? 3 : 0);
    le32(34, static_cast<std::uint32_t>(rowBytes * static_cast<std::size_t>(height)));
    le32(46, static_cast<std::uint32_t>(layout.palette.size()));
    std::size_t at = 54;
    if (bitfields) {
        le32(54, masked ? layout.masks[0] : 0xF800);
        le32(58, masked ? layout.masks[1] : 0x07E0);
        le32(62, masked ? layout.masks[2] : 0x001F);
        at = 66;
    }
    for (const Rgb& c : layout.palette) {
        out[at++] = c.b;
        out[at++] = c.g;
        out[at++] = c.r;
        out[at++] = 0;
    }
    for (int y = 0; y < height; ++y) {
        const int stored = layout.topDown ? y : height - 1 - y; // the row's place in the file
        std::uint8_t* row = &out[offset + static_cast<std::size_t>(stored) * rowBytes];
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = pixel(x, y);
            const std::size_t bit = static_cast<std::size_t>(x) * layout.bits;
            switch (layout.bits) {
            case 1:
            case 4:
            case 8:
                row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - layout.bits - bit % 8));
                break;
            case 16:
                row[bit / 8] = static_cast<std::uint8_t>(v);
                row[bit / 8 + 1] = static_cast<std::uint8_t>(v >> 8);
                break;
            default:
                if (masked) {
                    le32(offset + static_cast<std::size_t>(stored) * rowBytes + bit / 8, v);
                    break;
                }
                row[bit / 8] = static_cast<std::uint8_t>(v);           // B
                row[bit / 8 + 1] = static_cast<std::uint8_t>(v >> 8);  // G
                row[bit / 8 + 2] = static_cast<std::uint8_t>(v >> 16); // R
                break;
            }
        }
    }
    return out;
}

// A JPEG of 12-bit samples (extended sequential, as medical and scientific cameras write them), in
// 8 x 8 blocks of one colour each: colour(blockX, blockY) gives the block's Y, Cb and Cr on 0 … 4095.
// Only DC coefficients are coded, with a Huffman table of its own.
inline std::vector<std::uint8_t>
TwelveBitJpegBytes(int blocksWide, int blocksHigh,
                   const std::function<std::array<int, 3>(int, int)>& colour) {
    std::vector<std::uint8_t> out = {0xFF, 0xD8};
    const auto segment = [&](std::uint8_t marker, const std::vector<std::uint8_t>& payload) {
        out.insert(out.end(), {0xFF, marker, static_cast<std::uint8_t>((payload.size() + 2) >> 8),
                               static_cast<std::uint8_t>(payload.size() + 2)});
        out.insert(out.end(), payload.begin(), payload.end());
    };
    std::vector<std::uint8_t> quant(65, 1);
    quant[0] = 0; // table 0, 8-bit entries, all 1
    segment(0xDB, quant);
    const int width = blocksWide * 8;
    const int height = blocksHigh * 8;
    segment(0xC1, {12, static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                   static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width), 3, 1, 0x11, 0, 2,
                   0x11, 0, 3, 0x11, 0});
    std::vector<std::uint8_t> dc = {0x00, 0, 0, 0, 0, 16, 0, 0, 0,
                                    0,    0, 0, 0, 0, 0,  0, 0}; // 16 codes of 5 bits
    for (int category = 0; category < 16; ++category) {
        dc.push_back(static_cast<std::uint8_t>(category));
    }
    segment(0xC4, dc);
    segment(0xC4, {0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00}); // AC: only end-of-block
    segment(0xDA, {3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0});
    std::vector<int> bits;
    const auto put = [&](int value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            bits.push_back((value >> i) & 1);
        }
    };
    std::array<int, 3> previous{};
    for (int by = 0; by < blocksHigh; ++by) {
        for (int bx = 0; bx < blocksWide; ++bx) {
            const std::array<int, 3> ycc = colour(bx, by);
            for (std::size_t c = 0; c < 3; ++c) {
                const int coefficient = 8 * (ycc[c] - 2048); // DC of a flat block
                const int difference = coefficient - previous[c];
                previous[c] = coefficient;
                int category = 0;
                while ((std::abs(difference) >> category) != 0) {
                    ++category;
                }
                put(category, 5);
                if (category > 0) {
                    put(difference > 0 ? difference : difference + (1 << category) - 1, category);
                }
                put(0, 1); // end of block
            }
        }
    }
    while (bits.size() % 8 != 0) {
        bits.push_back(1);
    }
    for (std::size_t i = 0; i < bits.size(); i += 8) {
        int byte = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            byte = (byte << 1) | bits[i + k];
        }
        out.push_back(static_cast<std::uint8_t>(byte));
        if (byte == 0xFF) {
            out.push_back(0); // stuffed
        }
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

inline void WriteBmp(const std::filesystem::path& path, int width, int height, const BmpLayout& layout,
                     const std::function<std::uint32_t(int, int)>& pixel) {
    WriteFileBytes(path, BmpBytes(width, height, layout, pixel));
}

inline std::uint32_t Packed(const Rgb& c) {
    return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
}

// ---- reading results back with an independent decoder ----

// Decodes any picture with the ffmpeg program into RGB24 at its own size; empty on failure.
inline RgbPicture DecodeWithFfmpeg(const std::filesystem::path& path, int width, int height) {
    const std::filesystem::path raw = path.string() + ".rgb";
    const auto result = RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y -i " + Quote(path) +
                                   " -f rawvideo -pix_fmt rgb24 " + Quote(raw));
    RgbPicture picture;
    if (result.exitCode != 0) {
        ADD_FAILURE() << result.output;
        return picture;
    }
    picture.bytes = ReadFileBytes(raw);
    std::filesystem::remove(raw);
    if (picture.bytes.size() != static_cast<std::size_t>(width) * height * 3) {
        ADD_FAILURE() << path << " decodes to " << picture.bytes.size() << " bytes, not " << width << "x"
                      << height;
        picture.bytes.clear();
        return picture;
    }
    picture.width = width;
    picture.height = height;
    return picture;
}

// Decodes a JPEG file with libjpeg in this process into RGB24 (quicker than starting ffmpeg); empty
// on failure or when the size is not width x height.
inline RgbPicture DecodeJpegInProcess(const std::filesystem::path& path, int width, int height) {
    RgbPicture picture;
    const std::vector<std::uint8_t> file = ReadFileBytes(path);
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && static_cast<int>(info.image_width) == width &&
        static_cast<int>(info.image_height) == height) {
        info.out_color_space = JCS_RGB;
        jpeg_start_decompress(&info);
        picture.width = width;
        picture.height = height;
        picture.bytes.resize(static_cast<std::size_t>(width) * height * 3);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = &picture.bytes[static_cast<std::size_t>(info.output_scanline) * width * 3];
            jpeg_read_scanlines(&info, &row, 1);
        }
        jpeg_finish_decompress(&info);
    } else {
        ADD_FAILURE() << path << " is not a " << width << "x" << height << " JPEG";
    }
    jpeg_destroy_decompress(&info);
    return picture;
}

// Mean absolute difference per channel (R, G, B) of two pictures of the same size.
inline std::array<double, 3> MeanError(const RgbPicture& a, const RgbPicture& b) {
    std::array<double, 3> sum{};
    if (a.bytes.size() != b.bytes.size() || a.bytes.empty()) {
        return {255, 255, 255};
    }
    for (std::size_t i = 0; i < a.bytes.size(); ++i) {
        sum[i % 3] += std::abs(int(a.bytes[i]) - int(b.bytes[i]));
    }
    const double pixels = static_cast<double>(a.bytes.size() / 3);
    return {sum[0] / pixels, sum[1] / pixels, sum[2] / pixels};
}

} // namespace k72test
