#include "settings/PadBackupLocation.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QString>

namespace k72 {

std::filesystem::path PadBackupFolder() {
    // The data folder is made from the application's names; borrow ours for the question.
    const QString organisation = QCoreApplication::organizationName();
    const QString application = QCoreApplication::applicationName();
    QCoreApplication::setOrganizationName(QStringLiteral("KAVELO"));
    QCoreApplication::setApplicationName(QStringLiteral("K-72 Image Converter"));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QCoreApplication::setOrganizationName(organisation);
    QCoreApplication::setApplicationName(application);
    if (data.isEmpty()) {
        return {};
    }
    return std::filesystem::path(data.toStdU16String()) / "pad-backups";
}

} // namespace k72
