#include "ui/ProgressDialog.h"

#include "ui/QtUserMessages.h"
#include "ui/WindowPlacement.h"

#include <QShowEvent>

#include <limits>

namespace k72 {

ProgressDialog::ProgressDialog(QWidget* owner) : QProgressDialog(owner) {
    setWindowTitle(QString::fromLatin1(QtUserMessages::kCaption));
    setWindowModality(Qt::WindowModal);
    setAutoClose(false);
    setAutoReset(false);
    // Shown by its user once the work has run a while, never by the dialog's own guess.
    setMinimumDuration(std::numeric_limits<int>::max());
    setRange(0, 1000);
    setCancelButtonText(QStringLiteral("Cancel"));
}

void ProgressDialog::showEvent(QShowEvent* event) {
    QProgressDialog::showEvent(event); // takes the size its text needs
    if (!event->spontaneous()) {
        PlaceOnParent(this);
    }
}

} // namespace k72
