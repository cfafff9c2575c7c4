#pragma once
// Follows volumes being mounted and unmounted while the program runs, so that the drive list stays
// current and a card inserted while none is open gets opened. Where the UDisks2 disk service runs, its
// D-Bus signals say when something changed; elsewhere the mounted volumes are looked at every few
// seconds. Either way a change is reported only when the list of mounted volumes really differs.

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class QDBusMessage;

namespace k72 {

class CardWatcher : public QObject {
    Q_OBJECT
public:
    // The mounted volumes' roots; by default those the drive list shows (MountedVolumes).
    using Lister = std::function<QStringList()>;
    static constexpr int kPollMs = 3000;

    explicit CardWatcher(QObject* parent = nullptr, Lister lister = {});

    // Starts following: UDisks2's signals on bus when the service is there, otherwise polling.
    void Start(const QDBusConnection& bus, int pollMs = kPollMs);
    bool FollowsUDisks() const { return followsUDisks_; }
    bool Polls() const { return timer_.isActive(); }

    // Looks at the volumes now; emits VolumesChanged when they differ from the last look.
    void Rescan();

signals:
    void VolumesChanged();

private slots:
    void OnUDisksSignal(const QDBusMessage& message);

private:
    Lister lister_;
    QStringList last_;
    QTimer timer_;
    bool followsUDisks_ = false;
};

} // namespace k72
