#pragma once
// The about box: the application icon, the program's name and version, and OK.

#include <QDialog>

class QLabel;
class QPushButton;

namespace k72 {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* IconLabel() const { return iconLabel_; }
    QLabel* TextLabel() const { return textLabel_; }
    QPushButton* OkButton() const { return okButton_; }

protected:
    void showEvent(QShowEvent* event) override; // opens centred on the window it belongs to

private:
    QLabel* iconLabel_ = nullptr;
    QLabel* textLabel_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

} // namespace k72
