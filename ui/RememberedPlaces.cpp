#include "ui/RememberedPlaces.h"

#include <QDir>
#include <QSettings>

namespace k72::remembered {
namespace {

QSettings Store() {
    return QSettings(QStringLiteral("KAVELO"), QStringLiteral("K-72 Image Converter"));
}

} // namespace

QStringList RecentCards() {
    QStringList cards = Store().value(QStringLiteral("recentCards")).toStringList();
    cards.removeAll(QString());
    while (cards.size() > kRecentCards) {
        cards.removeLast();
    }
    return cards;
}

void RememberCard(const QString& root) {
    if (root.isEmpty()) {
        return;
    }
    const QString clean = QDir::cleanPath(root);
    QStringList cards = RecentCards();
    cards.removeAll(clean);
    cards.prepend(clean);
    while (cards.size() > kRecentCards) {
        cards.removeLast();
    }
    QSettings settings = Store();
    settings.setValue(QStringLiteral("recentCards"), cards);
}

QString ImportFolder() {
    return Store().value(QStringLiteral("importFolder")).toString();
}

void SetImportFolder(const QString& folder) {
    QSettings settings = Store();
    settings.setValue(QStringLiteral("importFolder"), folder);
}

QString ExportFolder() {
    return Store().value(QStringLiteral("exportFolder")).toString();
}

void SetExportFolder(const QString& folder) {
    QSettings settings = Store();
    settings.setValue(QStringLiteral("exportFolder"), folder);
}

} // namespace k72::remembered
