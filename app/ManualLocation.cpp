#include "app/ManualLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace k72 {
namespace {

constexpr const char* kInstalled = "doc/k72-image-converter/manual/index.html";

} // namespace

QStringList ManualCandidates(const QString& programFolder) {
    QStringList candidates;
    candidates << QDir::currentPath() + QStringLiteral("/K-72ImageConverterManualE.pdf");
    const QString prefix = QDir::cleanPath(programFolder + QStringLiteral("/.."));
    candidates << prefix + QStringLiteral("/share/") + QLatin1String(kInstalled);
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString path = QDir::cleanPath(folder + QLatin1Char('/') + QLatin1String(kInstalled));
        if (!candidates.contains(path)) {
            candidates << path;
        }
    }
    // build/bin/k72-image-converter finds build/manual/index.html.
    candidates << prefix + QStringLiteral("/manual/index.html");
    return candidates;
}

QString FindManual(const QStringList& candidates) {
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            return candidate;
        }
    }
    return QString();
}

} // namespace k72
