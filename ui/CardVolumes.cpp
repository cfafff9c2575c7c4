#include "ui/CardVolumes.h"

#include "store/CPadBankStore.h"
#include "store/CardLayout.h"

#include <QDir>
#include <QLocale>

namespace k72 {

bool LooksLikeCard(const QString& root) {
    if (root.isEmpty()) {
        return false;
    }
    const CardPaths paths = FindCardPaths(std::filesystem::path(root.toStdString()));
    std::error_code ec;
    return std::filesystem::is_regular_file(paths.padFilePath, ec);
}

QString CardVolumeText(const QString& label, qint64 bytesTotal, const QString& root) {
    QString name = label;
    if (name.isEmpty()) {
        name = QDir(root).dirName();
    }
    if (name.isEmpty()) {
        name = QDir::toNativeSeparators(root);
    }
    const QString size = bytesTotal > 0
                             ? QLocale::c().formattedDataSize(bytesTotal, 1, QLocale::DataSizeSIFormat)
                             : QStringLiteral("size unknown");
    return name + QStringLiteral(" (") + size + QLatin1Char(')');
}

} // namespace k72
