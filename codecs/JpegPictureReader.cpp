#include "codecs/JpegPictureReader.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "codecs/LibavPictureReader.h"
#include "codecs/PictureCauses.h"
#include "codecs/PictureLimits.h"

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
    int errorCode;
    char message[JMSG_LENGTH_MAX];
};

JpegJob& JobOf(j_common_ptr info) {
    // errors is the second member; libjpeg hands back the pointer stored in info->err.
    return *reinterpret_cast<JpegJob*>(reinterpret_cast<char*>(info->err) - offsetof(JpegJob, errors));
}

void OnJpegError(j_common_ptr info) {
    JpegJob& job = JobOf(info);
    job.errorCode = info->err->msg_code;
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

// Whether the frame header names a coding libjpeg-turbo does not read here: a sample precision other
// than 8 bits (12-bit pictures from medical and scientific cameras) or a lossless frame. The media
// library's JPEG decoder reads those. Walks the marker segments up to the first frame header.
bool NeedsOtherDecoder(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) {
            return false;
        }
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        const std::size_t length = byteorder::LoadBE16(data + at + 2);
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            const bool lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
            return lossless || (at + 4 < size && data[at + 4] != 8);
        }
        if (marker == 0xDA || length < 2) {
            return false;
        }
        at += 2 + length;
    }
    return false;
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

ConversionProblem DecodeJpegPicture(const std::uint8_t* data, std::size_t size, std::uint32_t minWidth,
                                    std::uint32_t minHeight, CDibImage& image) {
    if (data == nullptr || size < 4) {
        return picturecause::Truncated();
    }
    if (NeedsOtherDecoder(data, size)) {
        return DecodeLibavPicture(AV_CODEC_ID_MJPEG, data, size, image);
    }
    const std::unique_ptr<JpegJob> owner = std::make_unique<JpegJob>();
    JpegJob* const job = owner.get();
    job->info.err = jpeg_std_error(&job->errors);
    job->errors.error_exit = OnJpegError;
    job->errors.emit_message = OnJpegMessage;
    if (setjmp(job->jump) != 0) {
        LogLine(kLogModule, std::string("JPEG: ") + job->message);
        jpeg_destroy_decompress(&job->info);
        if (job->errorCode == JERR_OUT_OF_MEMORY) {
            return picturecause::OutOfMemory();
        }
        // A file cut inside its headers ends the same way as one cut inside its pixels.
        return job->errorCode == JERR_INPUT_EOF || job->truncated ? picturecause::Truncated()
                                                                  : picturecause::Damaged("JPEG");
    }
    jpeg_create_decompress(&job->info);
    jpeg_mem_src(&job->info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&job->info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&job->info);
        return picturecause::Damaged("JPEG");
    }
    jpeg_decompress_struct& info = job->info;
    // The whole picture counts, not only the scaled output: a progressive file keeps all its
    // coefficients in memory whatever the output scale.
    if (!PictureSizeAcceptable(info.image_width, info.image_height)) {
        const ConversionProblem tooLarge = picturecause::TooLarge(info.image_width, info.image_height);
        jpeg_destroy_decompress(&info);
        return tooLarge;
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
        return picturecause::OutOfMemory();
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
        return picturecause::Unsupported("a colour layout of " + std::to_string(info.output_components) +
                                         " components");
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
    const bool complete = info.output_scanline == info.output_height && !job->truncated;
    if (complete) {
        jpeg_abort_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    return complete ? ConversionProblem{} : picturecause::Truncated();
}

} // namespace k72
