#include "ui/PictureBatchWindow.h"

#include "ui/ProgressDialog.h"

#include <QCoreApplication>

namespace k72 {

PictureBatchWindow::PictureBatchWindow(QWidget* owner, int pad, int pictures) : pad_(pad) {
    if (pictures < 2) {
        return;
    }
    dialog_ = std::make_unique<ProgressDialog>(owner);
    dialog_->setRange(0, pictures);
    dialog_->setObjectName(QString::fromLatin1(kObjectName));
    dialog_->setLabelText(QStringLiteral("Converting %1 pictures for pad %2").arg(pictures).arg(pad + 1));
    dialog_->show();
}

PictureBatchWindow::~PictureBatchWindow() = default;

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
