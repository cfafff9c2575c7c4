#pragma once
// Message boxes of the desktop program: the caption "K-72 Image Converter" and the information icon,
// owned by the window that shows them: the texts of the store's results and the forms' own messages
// and questions.

#include <QMessageBox>
#include <QString>

class QWidget;

namespace k72 {

class QtUserMessages {
public:
    static constexpr const char* kCaption = "K-72 Image Converter";

    // An information message with OK; owner may be null (the message then has no owner window).
    static void Show(QWidget* owner, const QString& text);
    // A question with Yes, No and Cancel (the information icon, as all of the program's boxes); Escape
    // and closing the box answer Cancel.
    // The default button is Yes unless another is given.
    static QMessageBox::StandardButton
    AskYesNoCancel(QWidget* owner, const QString& text,
                   QMessageBox::StandardButton defaultButton = QMessageBox::Yes);
};

} // namespace k72
