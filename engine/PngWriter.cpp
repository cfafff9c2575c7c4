#include "engine/PngWriter.h"

#include <png.h>

#include <cstring>
#include <system_error>

namespace k72 {

bool WritePng(const std::filesystem::path& path, const RgbImage& image, std::string* reason) {
    auto fail = [reason](const std::string& why) {
        if (reason != nullptr) {
            *reason = why;
        }
        return false;
    };
    if (image.Empty() || image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 3) {
        return fail("there is no picture to write");
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = image.width;
    png.height = image.height;
    png.format = PNG_FORMAT_RGB;
    const int written = png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(),
                                                static_cast<png_int_32>(image.width * 3), nullptr);
    if (written == 0) {
        const std::string why = png.message[0] != '\0' ? png.message : "cannot write the file";
        png_image_free(&png);
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return fail(why);
    }
    return true;
}

} // namespace k72
