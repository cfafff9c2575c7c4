#include "cli/FileKind.h"

#include <array>
#include <string>
#include <string_view>

namespace k72::cli {

PadKind FileKindOf(const std::filesystem::path& file) {
    static constexpr std::array<std::string_view, 8> kMovies = {"AVI", "MPG", "MPEG", "MOV",
                                                                "WMV", "MP4", "FLV",  "DV"};
    static constexpr std::array<std::string_view, 4> kPictures = {"JPG", "JPEG", "BMP", "PNG"};
    std::string extension = file.extension().string();
    if (extension.size() < 2) {
        return PadKindEmpty;
    }
    extension.erase(0, 1);
    for (char& c : extension) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    for (std::string_view movie : kMovies) {
        if (extension == movie) {
            return PadKindMovie;
        }
    }
    for (std::string_view picture : kPictures) {
        if (extension == picture) {
            return PadKindStill;
        }
    }
    return PadKindEmpty;
}

} // namespace k72::cli
