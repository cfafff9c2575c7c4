#include "app/CardWatcher.h"

#include "app/UDisksCard.h"

#include "ui/DriveList.h"
#include <QDBusMessage>

namespace k72 {
namespace {

QStringList MountedRoots() {
    QStringList roots;
    for (const MountedVolume& volume : MountedVolumes()) {
        roots << volume.root;
    }
    roots.sort();
    return roots;
}

} // namespace

CardWatcher::CardWatcher(QObject* parent, Lister lister) : QObject(parent), lister_(std::move(lister)) {
    if (!lister_) {
        lister_ = MountedRoots;
    }
    last_ = lister_();
    connect(&timer_, &QTimer::timeout, this, &CardWatcher::Rescan);
}

void CardWatcher::Start(const QDBusConnection& bus, int pollMs) {
    const QString service = QString::fromLatin1(UDisksCard::kService);
    if (UDisksCard(bus).Available()) {
        QDBusConnection connection = bus;
        // A new or vanished device, and a file system mounted or unmounted (its MountPoints change).
        followsUDisks_ =
            connection.connect(service, QStringLiteral("/org/freedesktop/UDisks2"),
                               QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                               QStringLiteral("InterfacesAdded"), this, SLOT(OnUDisksSignal(QDBusMessage))) &&
            connection.connect(service, QStringLiteral("/org/freedesktop/UDisks2"),
                               QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                               QStringLiteral("InterfacesRemoved"), this,
                               SLOT(OnUDisksSignal(QDBusMessage))) &&
            connection.connect(service, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                               QStringLiteral("PropertiesChanged"), this, SLOT(OnUDisksSignal(QDBusMessage)));
    }
    if (!followsUDisks_) {
        timer_.start(pollMs);
    }
}

void CardWatcher::OnUDisksSignal(const QDBusMessage&) {
    // The mount table follows the service's signal shortly; look a moment later, and again to be sure.
    QTimer::singleShot(300, this, &CardWatcher::Rescan);
    QTimer::singleShot(1500, this, &CardWatcher::Rescan);
}

void CardWatcher::Rescan() {
    QStringList now = lister_();
    now.sort();
    if (now != last_) {
        last_ = now;
        emit VolumesChanged();
    }
}

} // namespace k72
