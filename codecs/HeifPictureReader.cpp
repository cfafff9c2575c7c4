#include "codecs/HeifPictureReader.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "codecs/HeifHevcPlugin.h"
#include "codecs/PictureCauses.h"
#include "codecs/PictureLimits.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <libheif/heif.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture decoder";

std::atomic<bool> fastPathEnabled{true};

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* picture) const { heif_image_release(picture); }
};
struct ScalerDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct NclxDeleter {
    void operator()(heif_color_profile_nclx* profile) const { heif_nclx_color_profile_free(profile); }
};

using ImagePtr = std::unique_ptr<heif_image, ImageDeleter>;

ConversionProblem Refuse(const std::string& what, const heif_error& error) {
    LogLine(kLogModule, "HEIF " + what + ": " + (error.message != nullptr ? error.message : ""));
    if (error.code == heif_error_Memory_allocation_error) {
        return picturecause::OutOfMemory();
    }
    if (error.subcode == heif_suberror_End_of_data) {
        return picturecause::Truncated();
    }
    if (error.code == heif_error_Unsupported_feature || error.code == heif_error_Unsupported_filetype ||
        error.code == heif_error_Decoder_plugin_error) {
        return picturecause::Unsupported("a HEIF coding or feature");
    }
    return picturecause::Damaged("HEIF");
}

ConversionProblem TooLargeProblem(int width, int height) {
    return picturecause::TooLarge(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
}

// libheif's conversion to interleaved RGB at full size: the way for what swscale is not given.
ConversionProblem DecodeThroughRgb(heif_image_handle* handle, CDibImage& image) {
    heif_image* rawPicture = nullptr;
    const heif_error error =
        heif_decode_image(handle, &rawPicture, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr);
    const ImagePtr picture(rawPicture);
    if (error.code != heif_error_Ok || !picture) {
        return Refuse("picture cannot be decoded", error);
    }
    const int width = heif_image_get_width(picture.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(picture.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* pixels =
        heif_image_get_plane_readonly(picture.get(), heif_channel_interleaved, &stride);
    if (pixels == nullptr || width <= 0 || height <= 0 || stride < width * 3) {
        return picturecause::Damaged("HEIF");
    }
    if (!PictureSizeAcceptable(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) {
        return TooLargeProblem(width, height);
    }
    if (!image.Allocate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 24, false)) {
        return picturecause::OutOfMemory();
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        std::uint8_t* out = image.Row(static_cast<std::uint32_t>(y));
        for (int x = 0; x < width; ++x, in += 3, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    return {};
}

// The swscale matrix for the picture's nclx matrix coefficients. Without a profile libheif itself takes
// BT.601 at full range, and so do we. False for the identity matrix (RGB in YCbCr planes).
bool ScalerColours(const heif_image* picture, const heif_image_handle* handle, int& matrix, bool& fullRange) {
    matrix = SWS_CS_ITU601;
    fullRange = true;
    // libheif may hand over a profile even with an error (a damaged colr box): whatever it hands over
    // is ours to free, and only a profile read without an error is used.
    using NclxPtr = std::unique_ptr<heif_color_profile_nclx, NclxDeleter>;
    heif_color_profile_nclx* raw = nullptr;
    heif_error error = heif_image_get_nclx_color_profile(picture, &raw);
    NclxPtr nclx(raw);
    if (error.code != heif_error_Ok || !nclx) {
        raw = nullptr;
        error = heif_image_handle_get_nclx_color_profile(handle, &raw);
        nclx.reset(raw);
    }
    if (error.code != heif_error_Ok) {
        nclx.reset();
    }
    if (!nclx) {
        return true;
    }
    fullRange = nclx->full_range_flag != 0;
    switch (nclx->matrix_coefficients) {
    case heif_matrix_coefficients_RGB_GBR:
        return false;
    case heif_matrix_coefficients_ITU_R_BT_709_5:
        matrix = SWS_CS_ITU709;
        break;
    case heif_matrix_coefficients_US_FCC_T47:
        matrix = SWS_CS_FCC;
        break;
    case heif_matrix_coefficients_SMPTE_240M:
        matrix = SWS_CS_SMPTE240M;
        break;
    case heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance:
    case heif_matrix_coefficients_ITU_R_BT_2020_2_constant_luminance:
        matrix = SWS_CS_BT2020;
        break;
    default:
        matrix = SWS_CS_ITU601;
        break;
    }
    return true;
}

// The smallest size of the picture's own shape that covers minWidth x minHeight, never above its own.
void ReducedSize(int width, int height, std::uint32_t minWidth, std::uint32_t minHeight, int& outWidth,
                 int& outHeight) {
    outWidth = width;
    outHeight = height;
    if (minWidth == 0 || minHeight == 0) {
        return;
    }
    const double scale =
        std::max(static_cast<double>(minWidth) / width, static_cast<double>(minHeight) / height);
    if (scale >= 1.0) {
        return;
    }
    outWidth = std::clamp(static_cast<int>(std::ceil(width * scale - 1e-9)), 1, width);
    outHeight = std::clamp(static_cast<int>(std::ceil(height * scale - 1e-9)), 1, height);
    outWidth = std::max(outWidth, std::min(width, static_cast<int>(minWidth)));
    outHeight = std::max(outHeight, std::min(height, static_cast<int>(minHeight)));
}

// Scales the Y, Cb and Cr planes (as our plugin hands them over) straight to the bitmap at the reduced
// size.
ConversionProblem ScaleToBitmap(const heif_image* picture, AVPixelFormat format, int matrix, bool fullRange,
                                std::uint32_t minWidth, std::uint32_t minHeight, CDibImage& image) {
    const int width = heif_image_get_width(picture, heif_channel_R);
    const int height = heif_image_get_height(picture, heif_channel_R);
    if (width <= 0 || height <= 0) {
        return picturecause::Damaged("HEIF");
    }
    if (!PictureSizeAcceptable(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) {
        return TooLargeProblem(width, height);
    }
    const std::uint8_t* planes[4] = {};
    int strides[4] = {};
    const heif_channel channels[3] = {heif_channel_R, heif_channel_G, heif_channel_B};
    for (int i = 0; i < 3; ++i) {
        planes[i] = heif_image_get_plane_readonly(picture, channels[i], &strides[i]);
        if (planes[i] == nullptr || strides[i] <= 0) {
            return picturecause::Damaged("HEIF");
        }
    }
    int outWidth = 0;
    int outHeight = 0;
    ReducedSize(width, height, minWidth, minHeight, outWidth, outHeight);
    // Averaged by area when reduced. The colour planes are interpolated to every output pixel: without
    // SWS_FULL_CHR_H_INT swscale's RGB output shares each colour sample between two pixels, which
    // costs about 28 dB of the reduced picture's fidelity (29 dB against an area-averaged reference
    // instead of 57).
    const std::unique_ptr<SwsContext, ScalerDeleter> scaler(
        sws_getContext(width, height, format, outWidth, outHeight, AV_PIX_FMT_BGR24,
                       (outWidth == width && outHeight == height ? SWS_POINT : SWS_AREA) | SWS_FULL_CHR_H_INT,
                       nullptr, nullptr, nullptr));
    if (!scaler) {
        return Refuse("picture cannot be scaled", heif_error{heif_error_Ok, heif_suberror_Unspecified, ""});
    }
    const int* coefficients = sws_getCoefficients(matrix);
    sws_setColorspaceDetails(scaler.get(), coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16,
                             1 << 16);
    if (!image.Allocate(static_cast<std::uint32_t>(outWidth), static_cast<std::uint32_t>(outHeight), 24,
                        false)) {
        return picturecause::OutOfMemory();
    }
    // The bitmap's rows are stored bottom-up; scale into a top-down buffer and copy the rows over.
    const int outStride = (outWidth * 3 + 31) & ~31;
    std::vector<std::uint8_t> scaled(
        static_cast<std::size_t>(outStride) * static_cast<std::size_t>(outHeight) + 64);
    std::uint8_t* const outPlanes[4] = {scaled.data(), nullptr, nullptr, nullptr};
    const int outStrides[4] = {outStride, 0, 0, 0};
    if (sws_scale(scaler.get(), planes, strides, 0, height, outPlanes, outStrides) != outHeight) {
        return Refuse("picture cannot be scaled", heif_error{heif_error_Ok, heif_suberror_Unspecified, ""});
    }
    for (int y = 0; y < outHeight; ++y) {
        std::memcpy(image.Row(static_cast<std::uint32_t>(y)),
                    scaled.data() + static_cast<std::ptrdiff_t>(y) * outStride,
                    static_cast<std::size_t>(outWidth) * 3);
    }
    return {};
}

// Whether the file's meta box names an overlay item ("iovl"): libheif lays such pictures over a canvas
// it fills with an RGB colour, which the plane form of our plugin cannot share. The top-level boxes are
// walked to the meta box; any "iovl" inside it counts (a false alarm only costs the slower way).
bool HasOverlayItem(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (size - at >= 8) {
        std::uint64_t length = byteorder::LoadBE32(data + at);
        std::size_t header = 8;
        if (length == 1) {
            if (size - at < 16) {
                return false;
            }
            length = (std::uint64_t{byteorder::LoadBE32(data + at + 8)} << 32) |
                     byteorder::LoadBE32(data + at + 12);
            header = 16;
        } else if (length == 0) {
            length = size - at; // to the end of the file
        }
        if (length < header || length > size - at) {
            return false;
        }
        if (std::memcmp(data + at + 4, "meta", 4) == 0) {
            const std::uint8_t* begin = data + at + header;
            const std::uint8_t* end = data + at + length;
            static constexpr std::uint8_t kOverlay[] = {'i', 'o', 'v', 'l'};
            return std::search(begin, end, std::begin(kOverlay), std::end(kOverlay)) != end;
        }
        at += static_cast<std::size_t>(length);
    }
    return false;
}

// A libheif context with the file read and its primary picture's handle.
struct OpenedHeif {
    std::unique_ptr<heif_context, ContextDeleter> context;
    std::unique_ptr<heif_image_handle, HandleDeleter> handle;
};

ConversionProblem OpenPrimary(const std::uint8_t* data, std::size_t size, OpenedHeif& opened) {
    opened.context.reset(heif_context_alloc());
    if (!opened.context) {
        return picturecause::OutOfMemory();
    }
    heif_error error = heif_context_read_from_memory_without_copy(opened.context.get(), data, size, nullptr);
    if (error.code != heif_error_Ok) {
        return Refuse("file cannot be read", error);
    }
    heif_image_handle* rawHandle = nullptr;
    error = heif_context_get_primary_image_handle(opened.context.get(), &rawHandle);
    opened.handle.reset(rawHandle);
    if (error.code != heif_error_Ok || !opened.handle) {
        return Refuse("file holds no picture", error);
    }
    // The size after rotation; a turn by 90 degrees keeps the pixel count.
    const int declaredWidth = heif_image_handle_get_width(opened.handle.get());
    const int declaredHeight = heif_image_handle_get_height(opened.handle.get());
    if (declaredWidth <= 0 || declaredHeight <= 0) {
        return picturecause::Damaged("HEIF");
    }
    if (!PictureSizeAcceptable(static_cast<std::uint64_t>(declaredWidth),
                               static_cast<std::uint64_t>(declaredHeight))) {
        return TooLargeProblem(declaredWidth, declaredHeight);
    }
    return {};
}

// The swscale layout of the planes our HEVC plugin hands over (Y, Cb, Cr as full-size "R", "G", "B"
// planes of one bit depth); AV_PIX_FMT_NONE for anything else.
AVPixelFormat PluginFormat(const heif_image* picture) {
    if (heif_image_get_colorspace(picture) != heif_colorspace_RGB ||
        heif_image_get_chroma_format(picture) != heif_chroma_444) {
        return AV_PIX_FMT_NONE;
    }
    const int depth = heif_image_get_bits_per_pixel_range(picture, heif_channel_R);
    if (heif_image_get_bits_per_pixel_range(picture, heif_channel_G) != depth ||
        heif_image_get_bits_per_pixel_range(picture, heif_channel_B) != depth) {
        return AV_PIX_FMT_NONE;
    }
    return depth == 8    ? AV_PIX_FMT_YUV444P
           : depth == 10 ? AV_PIX_FMT_YUV444P10LE
           : depth == 12 ? AV_PIX_FMT_YUV444P12LE
                         : AV_PIX_FMT_NONE;
}

// HEVC items through our plugin, scaled by swscale straight to the needed size. False (status
// untouched) when the picture is not for this way and libheif's own should decide.
bool DecodeThroughPlugin(const OpenedHeif& opened, std::uint32_t minWidth, std::uint32_t minHeight,
                         CDibImage& image, ConversionProblem& status) {
    // Grid tiles are decoded side by side on the usable cores.
    heif_context_set_max_decoding_threads(opened.context.get(), UsableCores());
    // The in-loop filters only matter when the picture is not reduced at least 2x both ways.
    const auto declaredWidth = static_cast<std::uint64_t>(heif_image_handle_get_width(opened.handle.get()));
    const auto declaredHeight = static_cast<std::uint64_t>(heif_image_handle_get_height(opened.handle.get()));
    const bool halved = minWidth > 0 && minHeight > 0 && declaredWidth >= 2ULL * minWidth &&
                        declaredHeight >= 2ULL * minHeight;
    heif_error error = heif_register_decoder(opened.context.get(), HevcPlugin(halved));
    if (error.code == heif_error_Ok) {
        error = heif_register_decoder(opened.context.get(), OtherCodingsRefuser());
    }
    if (error.code != heif_error_Ok) {
        LogLine(kLogModule, std::string("HEIF fast path unavailable: ") +
                                (error.message != nullptr ? error.message : ""));
        return false;
    }
    heif_image* rawPicture = nullptr;
    error =
        heif_decode_image(opened.handle.get(), &rawPicture, heif_colorspace_RGB, heif_chroma_444, nullptr);
    const ImagePtr picture(rawPicture);
    if (error.code != heif_error_Ok || !picture) {
        return false;
    }
    const AVPixelFormat format = PluginFormat(picture.get());
    int matrix = SWS_CS_ITU601;
    bool fullRange = true;
    if (format == AV_PIX_FMT_NONE || !ScalerColours(picture.get(), opened.handle.get(), matrix, fullRange)) {
        return false;
    }
    status = ScaleToBitmap(picture.get(), format, matrix, fullRange, minWidth, minHeight, image);
    return true;
}

} // namespace

bool LooksLikeHeif(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 12 || std::memcmp(data + 4, "ftyp", 4) != 0) {
        return false;
    }
    return heif_check_filetype(data, static_cast<int>(size < 64 ? size : 64)) != heif_filetype_no;
}

void SetHeifFastPath(bool enabled) {
    fastPathEnabled.store(enabled);
}

ConversionProblem DecodeHeifPicture(const std::uint8_t* data, std::size_t size, std::uint32_t minWidth,
                                    std::uint32_t minHeight, CDibImage& image) {
    // Read once to check the declared size against the limit before anything is decoded.
    OpenedHeif opened;
    ConversionProblem status = OpenPrimary(data, size, opened);
    if (status.Failed()) {
        return status;
    }
    if (fastPathEnabled.load() && !HasOverlayItem(data, size)) {
        if (DecodeThroughPlugin(opened, minWidth, minHeight, image, status)) {
            return status;
        }
        // Not for our plugin (AV1, an RGB-coded item) or damaged: libheif's own way decides, on a
        // context of its own, since ours hands pictures over in a form only we read.
        opened = OpenedHeif{};
        status = OpenPrimary(data, size, opened);
        if (status.Failed()) {
            return status;
        }
    }
    return DecodeThroughRgb(opened.handle.get(), image);
}

} // namespace k72
