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

    QLabel* IconLabel() const { return iconLabel; }
    QLabel* TextLabel() const { return textLabel; }
    QPushButton* OkButton() const { return okButton; }

private:
    QLabel* iconLabel = nullptr;
    QLabel* textLabel = nullptr;
    QPushButton* okButton = nullptr;
};

} // namespace k72
