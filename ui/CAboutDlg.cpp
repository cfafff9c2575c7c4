#include "ui/CAboutDlg.h"

#include "resources/Artwork.h"
#include "ui/DialogUnits.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace k72 {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    constexpr DialogFont units = DialogFont::Tahoma9;
    setWindowTitle(QStringLiteral("About..."));
    setFont(FormFont(units));
    setFixedSize(DluSize(235, 55, units));

    iconLabel = new QLabel(this);
    iconLabel->setPixmap(QPixmap(artwork::AppIconPath(32)));
    iconLabel->setGeometry(QRect(DluRect(11, 17, 0, 0, units).topLeft(), QSize(32, 32)));

    textLabel = new QLabel(QStringLiteral("K-72 IMAGE CONVERTER Version 1.03"), this);
    PlaceLabel(textLabel, 40, 10, 134, 8, units);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(okButton, 178, 7, 50, 16, units);
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace k72
