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
    : QObject(owner), store(store), view(view), owner(owner), bus(bus), watcher(new CardWatcher(this)) {
    connect(watcher, &CardWatcher::VolumesChanged, &view, &CConvertToolView::UpdateDrives);
}

void CardCommands::StartWatching() {
    watcher->Start(bus);
}

void CardCommands::ShowMessage(const QString& text) {
    QtUserMessages::Show(owner, text);
}

EjectResult CardCommands::Eject() {
    EjectResult result;
    const QString root = view.OpenCardRoot();
    if (root.isEmpty()) {
        result.message = QString::fromLatin1(kNoCard);
        ShowMessage(result.message);
        return result;
    }
    const QString mountPoint = QStorageInfo(root).rootPath();
    // Every change is on the card already; the pad file is let go, and what the system still holds for
    // the card is written out before it is unmounted.
    view.ReleaseCard();
    ::sync();
    result = UDisksCard(bus).Eject(mountPoint);
    ShowMessage(result.message);
    view.UpdateDrives();
    return result;
}

void CardCommands::Check() {
    const QString root = view.OpenCardRoot();
    if (root.isEmpty()) {
        ShowMessage(QString::fromLatin1(kNoCard));
        return;
    }
    CardCheckWindow window(store, root, owner);
    connect(&window, &CardCheckWindow::Repaired, &view, &CConvertToolView::RedrawPads);
    window.exec();
}

} // namespace k72
