#pragma once
// The main frame's commands on the card as a whole, and the watch on volumes that keeps the drive list
// current: File → "Check Card…" (the check and its repair in a window of their own) and File → "Eject
// Card" (the card let go and unmounted through UDisks2, with a word on whether it may be taken out).

#include "app/UDisksCard.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QWidget;

namespace k72 {

class CPadBankStore;
class CConvertToolView;
class CardWatcher;

class CardCommands : public QObject {
    Q_OBJECT
public:
    // bus: where UDisks2 is asked; the system bus in the program, a private bus in tests.
    CardCommands(CPadBankStore& store, CConvertToolView& view, QWidget* owner,
                 const QDBusConnection& bus = QDBusConnection::systemBus());

    // Starts following volumes being mounted and unmounted.
    void StartWatching();
    CardWatcher& Watcher() { return *watcher_; }

    // File → Eject Card. The result, as the user was told it.
    EjectResult Eject();
    // File → Check Card…: the check's window, modal.
    void Check();

    static constexpr const char* kNoCard = "No card is open.";

protected:
    virtual void ShowMessage(const QString& text);

private:
    CPadBankStore& store_;
    CConvertToolView& view_;
    QWidget* owner_;
    QDBusConnection bus_;
    CardWatcher* watcher_;
};

} // namespace k72
