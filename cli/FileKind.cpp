#include "cli/FileKind.h"

#include "engine/MediaKind.h"

namespace k72::cli {

PadKind FileKindOf(const std::filesystem::path& file) {
    switch (KindOfFile(file)) {
    case MediaKind::Movie:
        return PadKindMovie;
    case MediaKind::Picture:
        return PadKindStill;
    case MediaKind::Sound:
    case MediaKind::Unknown:
        break;
    }
    return PadKindEmpty;
}

std::string KnownExtensionText(PadKind kind, const char* separator) {
    const MediaKind media = kind == PadKindMovie   ? MediaKind::Movie
                            : kind == PadKindStill ? MediaKind::Picture
                                                   : MediaKind::Sound;
    std::string text;
    for (std::string_view extension : KnownExtensions(media)) {
        if (!text.empty()) {
            text += separator;
        }
        text += extension;
    }
    return text;
}

} // namespace k72::cli
