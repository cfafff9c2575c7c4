#pragma once
// Message boxes of the desktop program: the caption "K-72 Image Converter" and the information icon,
// owned by the window that shows them. The store's messages come through IUserMessages; the forms use
// the static helpers for their own messages and questions.

#include "store/IUserMessages.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>

class QWidget;

namespace k72 {

class QtUserMessages : public IUserMessages {
public:
    // owner may be null (the message then has no owner window) and may go away before this object.
    explicit QtUserMessages(QWidget* owner = nullptr);

    void SetOwner(QWidget* owner) { owner_ = owner; }
    void ShowMessage(const std::string& text) override;

    static constexpr const char* kCaption = "K-72 Image Converter";

    // An information message with OK.
    static void Show(QWidget* owner, const QString& text);
    // A question with Yes, No and Cancel (the information icon, as all of the program's boxes); Escape
    // and closing the box answer Cancel.
    // The default button is Yes unless another is given.
    static QMessageBox::StandardButton
    AskYesNoCancel(QWidget* owner, const QString& text,
                   QMessageBox::StandardButton defaultButton = QMessageBox::Yes);

private:
    QPointer<QWidget> owner_;
};

} // namespace k72
