#include "codecs/JpegPictureReader.h"

#include "base/DiagnosticLog.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture decoder";

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to the
// decode function. Everything that lives between that function and libjpeg is plain data, so the jump
// skips no destructor.
struct JpegJob {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    std::jmp_buf jump;
    bool truncated;
    bool warned;
    char message[JMSG_LENGTH_MAX];
};

JpegJob& JobOf(j_common_ptr info) {
    // errors is the second member; libjpeg hands back the pointer stored in info->err.
    return *reinterpret_cast<JpegJob*>(reinterpret_cast<char*>(info->err) - offsetof(JpegJob, errors));
}

void OnJpegError(j_common_ptr info) {
    JpegJob& job = JobOf(info);
    (*info->err->format_message)(info, job.message);
    std::longjmp(job.jump, 1);
}

void OnJpegMessage(j_common_ptr info, int level) {
    if (level >= 0) {
        return; // trace messages
    }
    JpegJob& job = JobOf(info);
    if (info->err->msg_code == JWRN_JPEG_EOF) {
        job.truncated = true;
    }
    if (!job.warned) {
        job.warned = true;
        char text[JMSG_LENGTH_MAX];
        (*info->err->format_message)(info, text);
        LogLine(kLogModule, std::string("JPEG: ") + text);
    }
}

std::uint64_t ScaledSize(std::uint32_t size, int numerator) {
    return (static_cast<std::uint64_t>(size) * static_cast<std::uint64_t>(numerator) + 7) / 8;
}

// CMYK as libjpeg hands it over, to B, G, R, X in place. Files that carry the Adobe marker (everything
// Photoshop writes) store the inks inverted.
void CmykRowToBgrx(std::uint8_t* row, std::uint32_t width, bool inverted) {
    for (std::uint32_t x = 0; x < width; ++x, row += 4) {
        unsigned c = row[0];
        unsigned m = row[1];
        unsigned y = row[2];
        unsigned k = row[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        row[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        row[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        row[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
        row[3] = 0;
    }
}

} // namespace

int JpegScaleNumerator(std::uint32_t width, std::uint32_t height, std::uint32_t minWidth,
                       std::uint32_t minHeight) {
    if (minWidth == 0 || minHeight == 0) {
        return 8;
    }
    const std::uint32_t needWidth = std::min(width, minWidth);
    const std::uint32_t needHeight = std::min(height, minHeight);
    for (int numerator = 1; numerator < 8; ++numerator) {
        if (ScaledSize(width, numerator) >= needWidth && ScaledSize(height, numerator) >= needHeight) {
            return numerator;
        }
    }
    return 8;
}

PictureDecodeStatus DecodeJpegPicture(const std::uint8_t* data, std::size_t size, std::uint32_t minWidth,
                                      std::uint32_t minHeight, CDibImage& image) {
    if (data == nullptr || size == 0) {
        return PictureDecodeStatus::Undecodable;
    }
    const std::unique_ptr<JpegJob> owner = std::make_unique<JpegJob>();
    JpegJob* const job = owner.get();
    PictureDecodeStatus status = PictureDecodeStatus::Undecodable;
    job->info.err = jpeg_std_error(&job->errors);
    job->errors.error_exit = OnJpegError;
    job->errors.emit_message = OnJpegMessage;
    if (setjmp(job->jump) != 0) {
        LogLine(kLogModule, std::string("JPEG: ") + job->message);
        jpeg_destroy_decompress(&job->info);
        return PictureDecodeStatus::Undecodable;
    }
    jpeg_create_decompress(&job->info);
    jpeg_mem_src(&job->info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&job->info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&job->info);
        return PictureDecodeStatus::Undecodable;
    }
    jpeg_decompress_struct& info = job->info;
    // The whole picture counts, not only the scaled output: a progressive file keeps all its
    // coefficients in memory whatever the output scale.
    if (!PictureSizeAcceptable(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return PictureDecodeStatus::TooLarge;
    }
    int bits = 24;
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        info.out_color_space = JCS_GRAYSCALE;
        bits = 8;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        info.out_color_space = JCS_CMYK;
        bits = 32;
        break;
    default:
        info.out_color_space = JCS_EXT_BGR;
        break;
    }
    info.scale_num =
        static_cast<unsigned>(JpegScaleNumerator(info.image_width, info.image_height, minWidth, minHeight));
    info.scale_denom = 8;
    jpeg_calc_output_dimensions(&info);
    if (!image.Allocate(info.output_width, info.output_height, bits)) {
        jpeg_destroy_decompress(&info);
        return PictureDecodeStatus::TooLarge;
    }
    if (bits == 8) {
        for (int level = 0; level < 256; ++level) {
            const auto v = static_cast<std::uint8_t>(level);
            image.palette[static_cast<std::size_t>(level)] = {v, v, v, 0};
        }
    }
    jpeg_start_decompress(&info);
    if (info.output_components * static_cast<std::size_t>(info.output_width) > image.RowBytes()) {
        jpeg_destroy_decompress(&info);
        return PictureDecodeStatus::Undecodable;
    }
    while (info.output_scanline < info.output_height && !job->truncated) {
        JSAMPROW row = image.Row(info.output_scanline);
        if (jpeg_read_scanlines(&info, &row, 1) != 1) {
            break;
        }
        if (bits == 32) {
            CmykRowToBgrx(row, info.output_width, info.saw_Adobe_marker != 0);
        }
    }
    // A file cut short decodes to grey from the cut on; that is a damaged file, not a picture.
    if (info.output_scanline == info.output_height && !job->truncated) {
        status = PictureDecodeStatus::Decoded;
        jpeg_abort_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    return status;
}

} // namespace k72
