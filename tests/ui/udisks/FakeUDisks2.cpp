// A stand-in for the UDisks2 disk service on a private D-Bus bus, for the tests of ejecting a card:
//   k72-fake-udisks2 BUS_ADDRESS MOUNT_POINT LOG_FILE [busy]
// It knows one drive with one file system mounted at MOUNT_POINT, answers GetManagedObjects, and appends
// "Unmount <object>" and "PowerOff <object>" to LOG_FILE when asked to. With "busy" the unmount fails as
// UDisks2 fails it while a file is open. It never touches a real disk.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QMap>
#include <QVariantMap>

#include <cstdio>

using InterfaceMap = QMap<QString, QVariantMap>;
using ObjectMap = QMap<QDBusObjectPath, InterfaceMap>;
Q_DECLARE_METATYPE(InterfaceMap)
Q_DECLARE_METATYPE(ObjectMap)

namespace {

const QString kBlockPath = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdz1");
const QString kDrivePath = QStringLiteral("/org/freedesktop/UDisks2/drives/K72_Card_Reader");

class FakeUDisks : public QDBusVirtualObject {
public:
    FakeUDisks(QString mountPoint, QString log, bool busy)
        : mountPoint_(std::move(mountPoint)), log_(std::move(log)), busy_(busy) {}

    QString introspect(const QString&) const override { return QString(); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString member = message.member();
        if (message.interface() == QStringLiteral("org.freedesktop.DBus.ObjectManager") &&
            member == QStringLiteral("GetManagedObjects")) {
            connection.send(message.createReply(QVariant::fromValue(Objects())));
            return true;
        }
        if (message.path() == kBlockPath && member == QStringLiteral("Unmount")) {
            if (busy_) {
                connection.send(
                    message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy"),
                                             QStringLiteral("Error unmounting: target is busy")));
                return true;
            }
            Log(QStringLiteral("Unmount ") + message.path());
            connection.send(message.createReply());
            return true;
        }
        if (message.path() == kDrivePath && member == QStringLiteral("PowerOff")) {
            Log(QStringLiteral("PowerOff ") + message.path());
            connection.send(message.createReply());
            return true;
        }
        connection.send(
            message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), member));
        return true;
    }

private:
    ObjectMap Objects() const {
        ObjectMap objects;
        QVariantMap block;
        block.insert(QStringLiteral("Drive"), QVariant::fromValue(QDBusObjectPath(kDrivePath)));
        block.insert(QStringLiteral("IdLabel"), QStringLiteral("K72CARD"));
        block.insert(QStringLiteral("Size"), QVariant::fromValue<quint64>(7948206080ull));
        QVariantMap filesystem;
        filesystem.insert(
            QStringLiteral("MountPoints"),
            QVariant::fromValue(QList<QByteArray>{mountPoint_.toLocal8Bit() + QByteArray(1, '\0')}));
        InterfaceMap blockInterfaces;
        blockInterfaces.insert(QStringLiteral("org.freedesktop.UDisks2.Block"), block);
        blockInterfaces.insert(QStringLiteral("org.freedesktop.UDisks2.Filesystem"), filesystem);
        objects.insert(QDBusObjectPath(kBlockPath), blockInterfaces);
        QVariantMap drive;
        drive.insert(QStringLiteral("CanPowerOff"), true);
        drive.insert(QStringLiteral("Removable"), true);
        InterfaceMap driveInterfaces;
        driveInterfaces.insert(QStringLiteral("org.freedesktop.UDisks2.Drive"), drive);
        objects.insert(QDBusObjectPath(kDrivePath), driveInterfaces);
        return objects;
    }

    void Log(const QString& line) const {
        QFile file(log_);
        if (file.open(QIODevice::Append | QIODevice::Text)) {
            file.write((line + QLatin1Char('\n')).toUtf8());
        }
    }

    QString mountPoint_;
    QString log_;
    bool busy_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: k72-fake-udisks2 BUS_ADDRESS MOUNT_POINT LOG_FILE [busy]\n");
        return 2;
    }
    qDBusRegisterMetaType<QList<QByteArray>>();
    qDBusRegisterMetaType<InterfaceMap>();
    qDBusRegisterMetaType<ObjectMap>();
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromLocal8Bit(argv[1]), QStringLiteral("fake"));
    FakeUDisks fake(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                    argc > 4 && QByteArray(argv[4]) == "busy");
    if (!bus.isConnected() ||
        !bus.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2"), &fake,
                                   QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.UDisks2"))) {
        std::fprintf(stderr, "k72-fake-udisks2: cannot serve on %s\n", argv[1]);
        return 1;
    }
    return QCoreApplication::exec();
}
