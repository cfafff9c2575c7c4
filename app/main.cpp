// The desktop program. The one argument it takes is the card's root folder (the folder holding DCIM),
// which is listed in the drive list and chosen at start.
#include "app/CConvertToolApp.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("K-72 Image Converter"));
    QApplication::setOrganizationName(QStringLiteral("KAVELO"));
    QGuiApplication::setDesktopFileName(QStringLiteral("k72-image-converter"));
    k72::CConvertToolApp app;
    return app.Run(QApplication::arguments().value(1));
}
