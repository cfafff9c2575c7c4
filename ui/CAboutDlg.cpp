#include "ui/CAboutDlg.h"

#include "resources/Artwork.h"
#include "ui/DialogUnits.h"
#include "ui/WindowPlacement.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>

namespace k72 {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    constexpr DialogFont units = DialogFont::Tahoma9;
    setWindowTitle(QStringLiteral("About..."));
    setFont(FormFont(units));
    setFixedSize(DluSize(235, 55, units));

    iconLabel_ = new QLabel(this);
    iconLabel_->setPixmap(QPixmap(artwork::AppIconPath(32)));
    iconLabel_->setGeometry(QRect(DluRect(11, 17, 0, 0, units).topLeft(), QSize(32, 32)));

    textLabel_ = new QLabel(QStringLiteral("K-72 IMAGE CONVERTER Version 1.03"), this);
    PlaceLabel(textLabel_, 40, 10, 134, 8, units);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(okButton_, 178, 7, 50, 16, units);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
}

void CAboutDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        PlaceOnParent(this);
    }
}

} // namespace k72
