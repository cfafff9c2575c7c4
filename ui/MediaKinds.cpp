#include "ui/MediaKinds.h"

#include "store/ImportKind.h"

#include <QMimeData>
#include <QUrl>

#include <filesystem>

namespace k72 {

QString MediaFilter(const QString& name, MediaKind kind) {
    // Qt's file dialog separates patterns with spaces and matches them with the file system's letter
    // case, so each letter of an extension is given in both cases ("*.[aA][vV][iI]").
    QStringList patterns;
    for (std::string_view extension : KnownExtensions(kind)) {
        QString pattern = QStringLiteral("*.");
        for (const char c : extension) {
            const QChar letter = QLatin1Char(c);
            pattern += letter.isLetter()
                           ? QStringLiteral("[") + letter.toUpper() + letter.toLower() + QStringLiteral("]")
                           : QString(letter);
        }
        patterns << pattern;
    }
    return name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QStringList ImportFilters(PadKind lastImportKind) {
    const QString movies = MediaFilter(QStringLiteral("movie"), MediaKind::Movie);
    const QString images = MediaFilter(QStringLiteral("image"), MediaKind::Picture);
    const QString all = QStringLiteral("All files (*)");
    if (lastImportKind == PadKindStill) {
        return {images, movies, all};
    }
    return {movies, images, all};
}

QString PictureFilters() {
    return MediaFilter(QStringLiteral("image"), MediaKind::Picture) + QStringLiteral(";;All files (*)");
}

QString SoundFilters() {
    return MediaFilter(QStringLiteral("sound"), MediaKind::Sound) + QStringLiteral(";;All files (*)");
}

PadKind PadKindOfFile(const QString& path) {
    return k72::ImportKindOf(std::filesystem::path(path.toStdString()));
}

bool IsSoundFile(const QString& path) {
    return KindOfFile(std::filesystem::path(path.toStdString())) == MediaKind::Sound;
}

QStringList DroppedPictures(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) {
        return {};
    }
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        // By the name only: a drag is judged while it moves over the window, too often to open files.
        if (!url.isLocalFile() ||
            KindOfExtension(std::filesystem::path(url.toLocalFile().toStdString())) != MediaKind::Picture) {
            return {};
        }
        paths << url.toLocalFile();
    }
    return paths;
}

} // namespace k72
