// Saves a PNG picture of every window of the desktop program into the folder given as the argument,
// rendered on the offscreen platform, so that the forms can be looked at without a display.
#include "engine/RunningTime.h"
#include "resources/Artwork.h"
#include "store/Settings.h"
#include "ui/CAboutDlg.h"
#include "ui/CDialogPreference.h"
#include "ui/CMovieInfoBox.h"
#include "ui/CPadView.h"
#include "ui/CThemeButton.h"
#include "ui/DialogUnits.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <cstdio>
#include <vector>

using namespace k72;

namespace {

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
    widget.ensurePolished();
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The four states of the themed arrow buttons side by side, twice enlarged below.
bool SaveThemeButtons(const QDir& folder) {
    QWidget sheet;
    sheet.setFont(FormFont());
    sheet.resize(4 * 85 + 10, 2 * 33 + 10);
    std::vector<CThemeButton*> buttons;
    for (int row = 0; row < 2; ++row) {
        for (int state = 0; state < 4; ++state) {
            auto* button = new CThemeButton(&sheet);
            button->setGeometry(10 + 85 * state, 10 + 33 * row, 75, 23);
            const bool up = row == 0;
            button->SetIcons(
                QIcon(artwork::ResourcePath(up ? artwork::kArrowUp : artwork::kArrowDown)),
                QIcon(artwork::ResourcePath(up ? artwork::kArrowUpDisabled : artwork::kArrowDownDisabled)));
            if (state == 1) {
                QEnterEvent enter(QPointF(30, 10), QPointF(30, 10), QPointF(30, 10));
                QApplication::sendEvent(button, &enter);
            } else if (state == 2) {
                button->setDown(true);
            } else if (state == 3) {
                button->setEnabled(false);
            }
        }
    }
    return Save(sheet, folder, QStringLiteral("theme-buttons"));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setFont(FormFont());
    if (argc != 2) {
        std::fprintf(stderr, "usage: k72-ui-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.mkpath(QStringLiteral("."));
    bool ok = true;

    CPadView pads;
    pads.SetAllStates({1, 2, 0, 0, 2, 1, 0, 1, 0, 0, 2, 0});
    pads.SetSelection(5);
    ok = Save(pads, folder, QStringLiteral("pad-grid")) && ok;

    ok = SaveThemeButtons(folder) && ok;

    CMovieInfoBox box;
    box.resize(DluSize(178, 45));
    box.SetMovie("K72_0013.AVI", 5500000, ComputeRunningTime(1800, 29.97));
    ok = Save(box, folder, QStringLiteral("movie-info-box")) && ok;

    CDialogPreference preference;
    preference.SetSettings(Settings{});
    ok = Save(preference, folder, QStringLiteral("preference")) && ok;

    CAboutDlg about;
    ok = Save(about, folder, QStringLiteral("about")) && ok;

    return ok ? 0 : 1;
}
