#include "app/CardCommands.h"

#include "app/CardCheckWindow.h"
#include "app/CardWatcher.h"
#include "store/CPadBankStore.h"
#include "ui/CConvertToolView.h"
#include "ui/QtUserMessages.h"

#include <QStorageInfo>

#include <unistd.h>

namespace k72 {

CardCommands::CardCommands(CPadBankStore& store, CConvertToolView& view, QWidget* owner,
                           const QDBusConnection& bus)
    : QObject(owner), store_(store), view_(view), owner_(owner), bus_(bus), watcher_(new CardWatcher(this)) {
    connect(watcher_, &CardWatcher::VolumesChanged, &view, &CConvertToolView::UpdateDrives);
}

void CardCommands::StartWatching() {
    watcher_->Start(bus_);
}

void CardCommands::ShowMessage(const QString& text) {
    QtUserMessages::Show(owner_, text);
}

EjectResult CardCommands::Eject() {
    EjectResult result;
    const QString root = view_.OpenCardRoot();
    if (root.isEmpty()) {
        result.message = QString::fromLatin1(kNoCard);
        ShowMessage(result.message);
        return result;
    }
    const QString mountPoint = QStorageInfo(root).rootPath();
    // Every change is on the card already; the pad file is let go, and what the system still holds for
    // the card is written out before it is unmounted.
    view_.ReleaseCard();
    ::sync();
    result = UDisksCard(bus_).Eject(mountPoint);
    ShowMessage(result.message);
    view_.UpdateDrives();
    return result;
}

void CardCommands::Check() {
    const QString root = view_.OpenCardRoot();
    if (root.isEmpty()) {
        ShowMessage(QString::fromLatin1(kNoCard));
        return;
    }
    CardCheckWindow window(store_, root, owner_);
    connect(&window, &CardCheckWindow::Repaired, &view_, &CConvertToolView::RedrawPads);
    window.exec();
}

} // namespace k72
