// The desktop program. The one argument it takes is the card's root folder (the folder holding DCIM),
// which is listed in the drive list and chosen at start; --version and --help answer without a window.
#include "app/CConvertToolApp.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <k72/Version.h>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("k72-image-converter %s\n", K72_VERSION);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("Usage: k72-image-converter [CARD]\n"
                    "Converts movies and pictures for the K-72 visual sampler and assigns them to its pads.\n"
                    "CARD is the card's root folder (the one that holds DCIM); it is chosen at start.\n"
                    "  --version  print the version and exit\n"
                    "  --help     print this help and exit\n");
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("K-72 Image Converter"));
    QApplication::setOrganizationName(QStringLiteral("KAVELO"));
    QGuiApplication::setDesktopFileName(QStringLiteral("k72-image-converter"));
    k72::CConvertToolApp app;
    return app.Run(QApplication::arguments().value(1));
}
