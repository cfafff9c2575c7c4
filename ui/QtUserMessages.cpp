#include "ui/QtUserMessages.h"

#include <QWidget>

namespace k72 {

void QtUserMessages::Show(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kCaption), text, QMessageBox::Ok, owner);
    box.exec();
}

QMessageBox::StandardButton QtUserMessages::AskYesNoCancel(QWidget* owner, const QString& text,
                                                           QMessageBox::StandardButton defaultButton) {
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kCaption), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(QMessageBox::Cancel);
    const int answer = box.exec();
    return (answer == QMessageBox::Yes || answer == QMessageBox::No)
               ? static_cast<QMessageBox::StandardButton>(answer)
               : QMessageBox::Cancel;
}

} // namespace k72
