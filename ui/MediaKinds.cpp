#include "ui/MediaKinds.h"

#include "store/ImportKind.h"

#include <QMimeData>
#include <QUrl>

#include <filesystem>

namespace k72 {

QString MediaFilter(const QString& name, std::initializer_list<MediaKind> kinds) {
    // Qt's file dialog separates patterns with spaces and matches them with the file system's letter
    // case, so each letter of an extension is given in both cases ("*.[aA][vV][iI]").
    QStringList patterns;
    for (const MediaKind kind : kinds) {
        for (std::string_view extension : KnownExtensions(kind)) {
            QString pattern = QStringLiteral("*.");
            for (const char c : extension) {
                const QChar letter = QLatin1Char(c);
                pattern += letter.isLetter() ? QStringLiteral("[") + letter.toUpper() + letter.toLower() +
                                                   QStringLiteral("]")
                                             : QString(letter);
            }
            patterns << pattern;
        }
    }
    return name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QStringList ImportFilters(PadKind lastImportKind) {
    const QString supported =
        MediaFilter(QStringLiteral("All supported files"), {MediaKind::Movie, MediaKind::Picture});
    const QString movies = MediaFilter(QStringLiteral("Movies"), {MediaKind::Movie});
    const QString images = MediaFilter(QStringLiteral("Pictures"), {MediaKind::Picture});
    const QString all = QStringLiteral("All files (*)");
    if (lastImportKind == PadKindStill) {
        return {supported, images, movies, all};
    }
    return {supported, movies, images, all};
}

QString PictureFilters() {
    return MediaFilter(QStringLiteral("Pictures"), {MediaKind::Picture}) + QStringLiteral(";;All files (*)");
}

QString SoundFilters() {
    return MediaFilter(QStringLiteral("Sounds"), {MediaKind::Sound}) + QStringLiteral(";;All files (*)");
}

QString ExtensionList(MediaKind kind) {
    QStringList names;
    for (std::string_view extension : KnownExtensions(kind)) {
        names << QString::fromLatin1(extension.data(), static_cast<qsizetype>(extension.size()));
    }
    return names.join(QStringLiteral(", "));
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
