#include "resources/Artwork.h"

namespace k72::artwork {

QString ResourcePath(const char* name) {
    return QStringLiteral(":/k72/") + QString::fromLatin1(name);
}

QString AppIconPath(int size) {
    return QStringLiteral(":/k72/app_icon_%1.png").arg(size);
}

} // namespace k72::artwork
