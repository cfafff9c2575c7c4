#include "store/ImportKind.h"

#include "engine/MediaKind.h"

namespace k72 {

PadKind ImportKindOf(const std::filesystem::path& file) {
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

} // namespace k72
