#include "ui/PictureBatchWindow.h"

#include "ui/QtUserMessages.h"

#include <QCoreApplication>

namespace k72 {

PictureBatchWindow::PictureBatchWindow(QWidget* owner, int pad, int pictures) : pad_(pad) {
    if (pictures < 2) {
        return;
    }
    dialog_ = std::make_unique<QProgressDialog>(owner);
    dialog_->setWindowTitle(QString::fromLatin1(QtUserMessages::kCaption));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setRange(0, pictures);
    dialog_->setCancelButtonText(QStringLiteral("Cancel"));
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setObjectName(QString::fromLatin1(kObjectName));
    dialog_->setLabelText(QStringLiteral("Converting %1 pictures for pad %2").arg(pictures).arg(pad + 1));
    dialog_->show();
}

StillBatchProgress PictureBatchWindow::Progress() {
    if (!dialog_) {
        return {};
    }
    return [this](std::size_t done, std::size_t total) {
        dialog_->setLabelText(QStringLiteral("Converting pictures for pad %1: %2 of %3 done")
                                  .arg(pad_ + 1)
                                  .arg(done)
                                  .arg(total));
        dialog_->setValue(static_cast<int>(done));
        // The work runs on the store's workers; the window stays alive meanwhile.
        QCoreApplication::processEvents();
        return !dialog_->wasCanceled();
    };
}

void PictureBatchWindow::Close() {
    if (dialog_) {
        dialog_->close();
    }
}

} // namespace k72
