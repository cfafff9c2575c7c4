#include "ui/PadGridInput.h"

#include "store/StoreMessages.h"
#include "ui/MediaKinds.h"

#include <QFileInfo>

namespace k72 {
namespace {

PadFiles Refused(const QString& problem) {
    PadFiles files;
    files.problem = problem;
    return files;
}

QString UnknownKind(const QString& path, const QString& kinds) {
    return QString::fromLatin1(messages::kLoadFailed) +
           QStringLiteral("\n\n\"%1\" is not %2.").arg(QFileInfo(path).fileName(), kinds);
}

} // namespace

PadFiles SortChosenFiles(const QStringList& paths) {
    PadFiles files;
    for (const QString& path : paths) {
        const PadKind kind = PadKindOfFile(path);
        if (kind == PadKindEmpty) {
            return Refused(
                UnknownKind(path, QStringLiteral("a movie (AVI, MPG, MPEG, MOV, WMV, MP4, FLV, DV) "
                                                 "or a picture (JPG, JPEG, BMP, PNG)")));
        }
        if (kind == PadKindMovie) {
            if (!files.movie.isEmpty() || paths.size() > 1) {
                return Refused(QStringLiteral(
                    "A pad holds one movie, or pictures; choose one movie, or only pictures."));
            }
            files.movie = path;
        } else {
            files.pictures << path;
        }
    }
    return files;
}

PadFiles SortDroppedFiles(const QStringList& paths, int pad, PadKind padKind) {
    QStringList movies;
    QStringList sounds;
    PadFiles files;
    for (const QString& path : paths) {
        if (IsSoundFile(path)) {
            sounds << path;
            continue;
        }
        switch (PadKindOfFile(path)) {
        case PadKindMovie:
            movies << path;
            break;
        case PadKindStill:
            files.pictures << path;
            break;
        default:
            return Refused(UnknownKind(path, QStringLiteral("a movie, a picture or a sound")));
        }
    }
    if (movies.size() > 1) {
        return Refused(QStringLiteral(
            "Only one movie can go on a pad.\nDrop the movies one at a time, each on its own pad."));
    }
    if (!movies.isEmpty() && !files.pictures.isEmpty()) {
        return Refused(QStringLiteral(
            "A pad holds either one movie or pictures, not both.\nDrop them on separate pads."));
    }
    if (sounds.size() > 1) {
        return Refused(QStringLiteral("Only one sound can be attached to a pad."));
    }
    if (movies.isEmpty() && files.pictures.isEmpty() && padKind == PadKindEmpty) {
        return Refused(
            QStringLiteral(
                "Pad %1 is empty. A sound can only be attached to a pad that holds a movie or pictures.")
                .arg(pad + 1));
    }
    files.movie = movies.value(0);
    files.sound = sounds.value(0);
    return files;
}

} // namespace k72
