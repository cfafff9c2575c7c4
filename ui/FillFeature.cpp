#include "ui/FillFeature.h"

#include "store/PadCommands.h"
#include "ui/CConvertToolView.h"
#include "ui/CPadView.h"
#include "ui/FillQueue.h"
#include "ui/MediaKinds.h"
#include "ui/PadQueueOverlay.h"
#include "ui/QueuePanel.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

namespace k72 {

bool IsFillDrop(const QStringList& paths) {
    int movies = 0;
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir()) {
            return true;
        }
        movies += PadKindOfFile(path) == PadKindMovie ? 1 : 0;
    }
    return movies > 1;
}

FillFeature::FillFeature(PadCommands& commands, CConvertToolView& view, QMenu* menu, QAction* before,
                         QWidget* window)
    : QObject(window), commands_(commands), view_(view), window_(window) {
    fills_ = new FillQueue(commands.Store(), this);
    panel_ = new QueuePanel(*fills_, window);
    panel_->setWindowFlags(Qt::Tool);
    overlay_ = new PadQueueOverlay(*fills_, commands.Store(), view.PadView());
    fillAction_ = new QAction(QStringLiteral("Fill Number from Folder…"), this);
    menu->insertAction(before, fillAction_);
    connect(fillAction_, &QAction::triggered, this, &FillFeature::FillFromFolder);
    view.SetFillDrop([this](int pad, const QStringList& paths) {
        if (!IsFillDrop(paths)) {
            return false;
        }
        Fill(pad, paths);
        return true;
    });
    connect(fills_, &FillQueue::PadFinished, this, [this](const QString&, bool, const QString&) {
        view_.RedrawPads();
        overlay_->update();
    });
}

FillFeature::~FillFeature() = default;

void FillFeature::Fill(int pad, const QStringList& paths) {
    CPadBankStore& store = commands_.Store();
    if (!store.IsCardOpen() || !store.SelectionValid()) {
        view_.ShowMessage(QStringLiteral("Open a card and choose a number first."));
        return;
    }
    const QStringList lines = fills_->Fill(store.Bank(), store.Number(), pad, paths, commands_.GetSettings());
    panel_->show();
    panel_->raise();
    panel_->Refresh();
    overlay_->update();
    if (!lines.isEmpty()) {
        // Told without waiting for an answer: the conversions have started.
        auto* box =
            new QMessageBox(QMessageBox::Information, QStringLiteral("Fill"),
                            QStringLiteral("Not everything was queued:\n\n") + lines.join(QLatin1Char('\n')),
                            QMessageBox::Ok, window_);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
}

void FillFeature::FillFromFolder() {
    const QString folder =
        QFileDialog::getExistingDirectory(window_, QStringLiteral("Fill Number from Folder"));
    if (!folder.isEmpty()) {
        Fill(0, {folder});
    }
}

bool FillFeature::MayClose() {
    if (!fills_->Busy()) {
        return true;
    }
    const auto answer = QMessageBox::question(
        window_, QStringLiteral("K-72 Image Converter"),
        QStringLiteral("Conversions are still running. Stop them and close?\n\nPads already saved stay on "
                       "the card; the others are left as they were."));
    if (answer != QMessageBox::Yes) {
        return false;
    }
    fills_->Queue().CancelAll();
    return true;
}

} // namespace k72
