#include "codecs/HeifPictureReader.h"

#include "codecs/DiagnosticLog.h"

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <string>

namespace k72 {
namespace {

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* picture) const { heif_image_release(picture); }
};

PictureDecodeStatus Refuse(const std::string& what, const heif_error& error) {
    DebugOutput("Picture decoder: HEIF " + what + ": " + (error.message != nullptr ? error.message : "") +
                "\n");
    return PictureDecodeStatus::Undecodable;
}

} // namespace

bool LooksLikeHeif(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < 12 || std::memcmp(data + 4, "ftyp", 4) != 0) {
        return false;
    }
    return heif_check_filetype(data, static_cast<int>(size < 64 ? size : 64)) != heif_filetype_no;
}

PictureDecodeStatus DecodeHeifPicture(const std::uint8_t* data, std::size_t size, CDibImage& image) {
    std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context) {
        return PictureDecodeStatus::Undecodable;
    }
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr);
    if (error.code != heif_error_Ok) {
        return Refuse("file cannot be read", error);
    }
    heif_image_handle* rawHandle = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    const std::unique_ptr<heif_image_handle, HandleDeleter> handle(rawHandle);
    if (error.code != heif_error_Ok || !handle) {
        return Refuse("file holds no picture", error);
    }
    // The size after rotation; a turn by 90 degrees keeps the pixel count.
    const int declaredWidth = heif_image_handle_get_width(handle.get());
    const int declaredHeight = heif_image_handle_get_height(handle.get());
    if (declaredWidth <= 0 || declaredHeight <= 0) {
        return PictureDecodeStatus::Undecodable;
    }
    if (!PictureSizeAcceptable(static_cast<std::uint64_t>(declaredWidth),
                               static_cast<std::uint64_t>(declaredHeight))) {
        return PictureDecodeStatus::TooLarge;
    }
    heif_image* rawPicture = nullptr;
    error = heif_decode_image(handle.get(), &rawPicture, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                              nullptr);
    const std::unique_ptr<heif_image, ImageDeleter> picture(rawPicture);
    if (error.code != heif_error_Ok || !picture) {
        return Refuse("picture cannot be decoded", error);
    }
    const int width = heif_image_get_width(picture.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(picture.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* pixels =
        heif_image_get_plane_readonly(picture.get(), heif_channel_interleaved, &stride);
    if (pixels == nullptr || width <= 0 || height <= 0 || stride < width * 3 ||
        !PictureSizeAcceptable(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height))) {
        return PictureDecodeStatus::Undecodable;
    }
    if (!image.Allocate(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), 24, false)) {
        return PictureDecodeStatus::TooLarge;
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
    return PictureDecodeStatus::Decoded;
}

} // namespace k72
