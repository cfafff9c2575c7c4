#include "cli/FileKind.h"

#include "engine/MediaKind.h"

namespace k72::cli {

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
