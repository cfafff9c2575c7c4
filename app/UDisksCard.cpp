#include "app/UDisksCard.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QVariantMap>

namespace k72 {
namespace {

constexpr const char* kRoot = "/org/freedesktop/UDisks2";
constexpr const char* kBlock = "org.freedesktop.UDisks2.Block";
constexpr const char* kFilesystem = "org.freedesktop.UDisks2.Filesystem";
constexpr const char* kDrive = "org.freedesktop.UDisks2.Drive";
constexpr int kTimeoutMs = 30000; // an unmount waits for the card's buffers to be written

struct Managed {
    QString path;
    QMap<QString, QVariantMap> interfaces;
};

QList<QByteArray> ByteArrays(const QVariant& value) {
    QList<QByteArray> list;
    if (value.canConvert<QDBusArgument>()) {
        const QDBusArgument argument = value.value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            QByteArray bytes;
            argument >> bytes;
            list << bytes;
        }
        argument.endArray();
    } else {
        list = value.value<QList<QByteArray>>();
    }
    return list;
}

QString ObjectPath(const QVariant& value) {
    if (value.canConvert<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    if (value.canConvert<QDBusArgument>()) {
        QDBusObjectPath path;
        value.value<QDBusArgument>() >> path;
        return path.path();
    }
    return QString();
}

bool ManagedObjects(const QDBusConnection& bus, QList<Managed>& objects, QString& error) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(UDisksCard::kService), QString::fromLatin1(kRoot),
        QStringLiteral("org.freedesktop.DBus.ObjectManager"), QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        error = reply.errorMessage();
        return false;
    }
    const QDBusArgument argument = reply.arguments().at(0).value<QDBusArgument>();
    argument.beginMap();
    while (!argument.atEnd()) {
        Managed object;
        QDBusObjectPath path;
        argument.beginMapEntry();
        argument >> path;
        argument.beginMap();
        while (!argument.atEnd()) {
            QString name;
            QVariantMap properties;
            argument.beginMapEntry();
            argument >> name >> properties;
            argument.endMapEntry();
            object.interfaces.insert(name, properties);
        }
        argument.endMap();
        argument.endMapEntry();
        object.path = path.path();
        objects << object;
    }
    argument.endMap();
    return true;
}

QString Clean(const QString& path) {
    return QDir::cleanPath(path);
}

} // namespace

bool UDisksCard::Available() const {
    if (!bus_.isConnected() || bus_.interface() == nullptr) {
        return false;
    }
    const QString service = QString::fromLatin1(kService);
    if (bus_.interface()->isServiceRegistered(service)) {
        return true;
    }
    const QDBusReply<QStringList> activatable = bus_.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

EjectResult UDisksCard::Eject(const QString& mountPoint) const {
    EjectResult result;
    const QString manual = QStringLiteral("Unmount it with your file manager before you remove it.");
    if (!Available()) {
        result.message =
            QStringLiteral("The card has been released, but this computer offers no way to eject it "
                           "from here. ") +
            manual;
        return result;
    }
    QList<Managed> objects;
    QString error;
    if (!ManagedObjects(bus_, objects, error)) {
        result.message = QStringLiteral("The card has been released, but the disk service did not answer (") +
                         error + QStringLiteral("). ") + manual;
        return result;
    }
    const QString wanted = Clean(mountPoint);
    QString blockPath;
    QString drivePath;
    for (const Managed& object : objects) {
        const auto filesystem = object.interfaces.constFind(QString::fromLatin1(kFilesystem));
        if (filesystem == object.interfaces.constEnd()) {
            continue;
        }
        for (QByteArray point : ByteArrays(filesystem->value(QStringLiteral("MountPoints")))) {
            if (point.endsWith('\0')) {
                point.chop(1);
            }
            if (Clean(QString::fromLocal8Bit(point)) == wanted) {
                blockPath = object.path;
                drivePath = ObjectPath(
                    object.interfaces.value(QString::fromLatin1(kBlock)).value(QStringLiteral("Drive")));
            }
        }
    }
    if (blockPath.isEmpty()) {
        result.message =
            QStringLiteral("The card has been released, but the disk service does not know the volume "
                           "mounted at ") +
            QDir::toNativeSeparators(mountPoint) + QStringLiteral(". ") + manual;
        return result;
    }

    QDBusMessage unmount =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), blockPath,
                                       QString::fromLatin1(kFilesystem), QStringLiteral("Unmount"));
    unmount << QVariantMap();
    const QDBusMessage unmounted = bus_.call(unmount, QDBus::Block, kTimeoutMs);
    if (unmounted.type() != QDBusMessage::ReplyMessage) {
        result.message =
            QStringLiteral("The card could not be ejected: ") + unmounted.errorMessage() +
            QStringLiteral("\nA file on it may still be open in another program. Close it and try "
                           "again, or unmount the card with your file manager.");
        return result;
    }
    // Unmounted is safe; powering the reader off as well is what a file manager does, and may be refused
    // (an internal reader, a drive that cannot be powered off).
    if (!drivePath.isEmpty() && drivePath != QStringLiteral("/")) {
        for (const Managed& object : objects) {
            if (object.path == drivePath && object.interfaces.value(QString::fromLatin1(kDrive))
                                                .value(QStringLiteral("CanPowerOff"))
                                                .toBool()) {
                QDBusMessage powerOff =
                    QDBusMessage::createMethodCall(QString::fromLatin1(kService), drivePath,
                                                   QString::fromLatin1(kDrive), QStringLiteral("PowerOff"));
                powerOff << QVariantMap();
                bus_.call(powerOff, QDBus::Block, kTimeoutMs);
            }
        }
    }
    result.safe = true;
    result.message = QString::fromLatin1(kSafe);
    return result;
}

} // namespace k72
