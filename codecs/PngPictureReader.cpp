#include "codecs/PngPictureReader.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "codecs/PictureCauses.h"
#include "codecs/PictureLimits.h"

#include <csetjmp>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture decoder";

// libpng reports a fatal error through OnPngError, which jumps back to the decode function. Everything
// that lives between that function and libpng is plain data, so the jump skips no destructor.
struct PngJob {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t offset;
    bool endedEarly;
    char message[256];
};

void OnPngError(png_structp png, png_const_charp text) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::strncpy(job->message, text != nullptr ? text : "error", sizeof(job->message) - 1);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadPngData(png_structp png, png_bytep out, png_size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (length > job->size - job->offset) {
        job->endedEarly = true;
        png_error(png, "file ends early");
    }
    std::memcpy(out, job->data + job->offset, length);
    job->offset += length;
}

struct PngReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReadState() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

// Runs with every object that outlives a jump owned by the caller, so that a jump back here leaves
// nothing half-changed behind.
ConversionProblem ReadPng(PngJob* const job, PngReadState* const state, std::vector<png_bytep>* const rows,
                          CDibImage* const image) {
    png_structp const png = state->png;
    png_infop const info = state->info;
    if (setjmp(png_jmpbuf(png)) != 0) {
        LogLine(kLogModule, std::string("PNG: ") + job->message);
        return job->endedEarly ? picturecause::Truncated() : picturecause::Damaged("PNG");
    }
    png_set_read_fn(png, job, ReadPngData);
    // Our own pixel limit below replaces libpng's default of a million pixels per side.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (!PictureSizeAcceptable(width, height)) {
        return picturecause::TooLarge(width, height);
    }
    const int depth = png_get_bit_depth(png, info);
    const int colorType = png_get_color_type(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool paletteDepth = depth == 1 || depth == 4 || depth == 8;

    int bits = 32;
    if (colorType == PNG_COLOR_TYPE_PALETTE && !transparency && paletteDepth) {
        bits = depth;
    } else if (colorType == PNG_COLOR_TYPE_GRAY && !transparency && paletteDepth) {
        bits = depth;
    } else if (colorType == PNG_COLOR_TYPE_RGB && !transparency && depth == 8) {
        bits = 24;
        png_set_bgr(png);
    } else {
        if (colorType == PNG_COLOR_TYPE_PALETTE) {
            png_set_palette_to_rgb(png);
        }
        if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
            if (depth < 8) {
                png_set_expand_gray_1_2_4_to_8(png);
            }
            png_set_gray_to_rgb(png);
        }
        if (transparency) {
            png_set_tRNS_to_alpha(png);
        }
        if (depth == 16) {
            png_set_scale_16(png);
        }
        png_set_bgr(png);
        if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 && !transparency) {
            png_set_filler(png, 0, PNG_FILLER_AFTER);
        }
    }
    const int passes = png_set_interlace_handling(png);
    static_cast<void>(passes);
    png_read_update_info(png, info);

    if (!image->Allocate(width, height, bits)) {
        return picturecause::OutOfMemory();
    }
    if (png_get_rowbytes(png, info) > image->RowBytes()) {
        return picturecause::Unsupported("a pixel layout of " + std::to_string(depth) + " bits per channel");
    }
    if (bits <= 8 && colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &entries, &count) != 0) {
            for (int i = 0; i < count && i < (1 << bits); ++i) {
                image->palette[static_cast<std::size_t>(i)] = {entries[i].blue, entries[i].green,
                                                               entries[i].red, 0};
            }
        }
    } else if (bits <= 8) {
        const int levels = 1 << bits;
        for (int i = 0; i < levels; ++i) {
            const auto v = static_cast<std::uint8_t>(i * 255 / (levels - 1));
            image->palette[static_cast<std::size_t>(i)] = {v, v, v, 0};
        }
    }
    rows->resize(height);
    for (png_uint_32 y = 0; y < height; ++y) {
        (*rows)[y] = image->Row(y);
    }
    png_read_image(png, rows->data());
    return {};
}

} // namespace

ConversionProblem DecodePngPicture(const std::uint8_t* data, std::size_t size, CDibImage& image) {
    if (data == nullptr || size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        return picturecause::NotAPicture(data, size);
    }
    // The size is judged from IHDR, always the first chunk, before libpng reads any further.
    if (size >= 24 && std::memcmp(data + 12, "IHDR", 4) == 0) {
        const std::uint32_t width = byteorder::LoadBE32(data + 16);
        const std::uint32_t height = byteorder::LoadBE32(data + 20);
        if (width > 0 && height > 0 && !PictureSizeAcceptable(width, height)) {
            return picturecause::TooLarge(width, height);
        }
    }
    PngJob job{data, size, 0, false, {}};
    PngReadState state;
    std::vector<png_bytep> rows;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnPngError, OnPngWarning);
    if (state.png == nullptr) {
        return picturecause::OutOfMemory();
    }
    state.info = png_create_info_struct(state.png);
    if (state.info == nullptr) {
        return picturecause::OutOfMemory();
    }
    return ReadPng(&job, &state, &rows, &image);
}

} // namespace k72
