#pragma once
// Ejecting a card through UDisks2, the disk service of Linux desktops, over D-Bus: the card's file
// system is unmounted and its drive powered off, which is what a file manager's "Eject" does. The bus is
// given, so that tests talk to a stand-in service on a private bus and never to the machine's own.

#include <QDBusConnection>
#include <QString>

namespace k72 {

struct EjectResult {
    bool safe = false; // the card may be taken out now
    QString message;   // what the user is told
};

class UDisksCard {
public:
    static constexpr const char* kService = "org.freedesktop.UDisks2";

    explicit UDisksCard(const QDBusConnection& bus) : bus_(bus) {}

    // True when the service is running on the bus or can be started there.
    bool Available() const;

    // Unmounts the volume mounted at mountPoint and powers its drive off. The card's pad file must have
    // been released first.
    EjectResult Eject(const QString& mountPoint) const;

    static constexpr const char* kSafe = "The card has been ejected. It is safe to remove it now.";

private:
    QDBusConnection bus_;
};

} // namespace k72
