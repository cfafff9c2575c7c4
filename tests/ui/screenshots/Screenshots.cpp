// Saves a PNG picture of every window of the desktop program into the folder given as the argument,
// rendered on the offscreen platform, so that the forms can be looked at without a display. The
// windows show a card made here with movie and still image pads; they are the manual's pictures, so
// they show the card as a card volume named K72_CARD and no folder of the machine that made them.
#include "app/CConvertToolApp.h"
#include "app/CMainFrame.h"
#include "engine/RunningTime.h"
#include "resources/Artwork.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "store/Settings.h"
#include "tests/support/TestSupport.h"
#include "ui/CAboutDlg.h"
#include "ui/CConvertToolView.h"
#include "ui/CDialogConversionInfo.h"
#include "ui/CDialogMovieInformation.h"
#include "ui/CDialogPictureInformation.h"
#include "ui/CDialogPreference.h"
#include "ui/CMovieInfoBox.h"
#include "ui/CPadView.h"
#include "ui/CPictureListBox.h"
#include "ui/CThemeButton.h"
#include "ui/DialogUnits.h"
#include "ui/DriveList.h"
#include "ui/QtPadQuestions.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QEventLoop>
#include <QImage>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressDialog>
#include <QTimer>
#include <QUrl>
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

// The four states of the themed arrow buttons side by side: normal, hot, pressed, disabled.
bool SaveThemeButtons(const QDir& folder) {
    QWidget sheet;
    sheet.setFont(FormFont());
    sheet.resize(4 * 85 + 10, 2 * 33 + 10);
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

// The progress window as it looks while a movie converts: its ticks read a phase and position given
// here instead of a manager's.
class ConvertingDialog : public CDialogConversionInfo {
public:
    void ShowPhase(std::uint32_t phase, std::uint32_t position) {
        state = phase;
        progress = position;
        // Long enough for one tick of the window's own timer.
        QEventLoop loop;
        QTimer::singleShot(CDialogConversionInfo::kTickMilliseconds + 100, &loop, &QEventLoop::quit);
        loop.exec();
    }

protected:
    void Poll() override { Model().Tick(1, 0, 100, progress, state); }

private:
    std::uint32_t state = 0;
    std::uint32_t progress = 0;
};

// A card with movie and still image pads on bank A, number 1.
struct DemoCard {
    static constexpr const char* kName = "K72_CARD";
    std::filesystem::path root;
    std::filesystem::path folder;

    explicit DemoCard(const std::filesystem::path& base)
        : root(base / kName), folder(root / "DCIM" / "000KAVLO") {
        std::filesystem::create_directories(folder);
        k72test::WriteFileBytes(folder / "K72_PAD.SYS", std::vector<std::uint8_t>(1178496, 0));
        k72test::RunCommand(
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=64x48:rate=30000/1001 "
            "-frames:v 1830 -c:v mjpeg -q:v 31 " +
            k72test::Quote(folder / "K72_0001.AVI"));
        const std::vector<QColor> colours = {QColor(200, 40, 40), QColor(40, 160, 60), QColor(40, 80, 200)};
        for (std::size_t i = 0; i < colours.size(); ++i) {
            QImage picture(640, 480, QImage::Format_RGB32);
            picture.fill(colours[i]);
            QPainter painter(&picture);
            painter.fillRect(QRect(160, 120, 320, 240), Qt::white);
            painter.end();
            picture.save(
                QString::fromStdString((folder / ("K72_000" + std::to_string(i + 2) + ".JPG")).string()),
                "JPG");
        }
        MakeWav(folder / "RAINDROP.WAV");
        CPadBankStore store;
        static_cast<void>(store.OpenCardRoot(root));
        store.SelectBank(0);
        store.SelectNumber(0);
        MovieRecord movie;
        SetNameText(movie.fileName, "K72_0001.AVI");
        SetNameText(movie.audioFileName, "RAINDROP.WAV");
        for (const int pad : {5, 0}) {
            static_cast<void>(store.WritePad({0, 0, pad}, MoviePad(movie)));
        }
        StillRecord stills;
        for (int i = 0; i < 3; ++i) {
            SetNameText(stills.stillNames[static_cast<std::size_t>(i)],
                        "K72_000" + std::to_string(i + 2) + ".JPG");
        }
        stills.stillCount = 3;
        SetNameText(stills.audioFileName, "RAINDROP.WAV");
        for (const int pad : {1, 10}) {
            static_cast<void>(store.WritePad({0, 0, pad}, StillPad(stills)));
        }
        store.Close();
    }

    static void MakeWav(const std::filesystem::path& path) {
        std::vector<std::uint8_t> bytes(44 + 4 * 441, 0);
        const auto put32 = [&](std::size_t at, std::uint32_t value) {
            for (int i = 0; i < 4; ++i) {
                bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
            }
        };
        std::memcpy(bytes.data(), "RIFF", 4);
        put32(4, static_cast<std::uint32_t>(bytes.size() - 8));
        std::memcpy(bytes.data() + 8, "WAVEfmt ", 8);
        put32(16, 16);
        bytes[20] = 1;
        bytes[22] = 2;
        put32(24, 44100);
        put32(28, 44100 * 4);
        bytes[32] = 4;
        bytes[34] = 16;
        std::memcpy(bytes.data() + 36, "data", 4);
        put32(40, 4 * 441);
        k72test::WriteFileBytes(path, bytes);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: k72-ui-screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    folder.removeRecursively();
    folder.mkpath(QStringLiteral("."));
    k72test::TempDir temporary;
    const DemoCard card(temporary.Path());
    bool ok = true;

    // The drive list shows the demo card as the volume a card is, beside a system disk, instead of the
    // folders of the machine making the pictures.
    const QString cardRoot = QString::fromStdString(card.root.string());
    SetMountedVolumeSource([cardRoot] {
        return std::vector<MountedVolume>{{cardRoot, QString::fromLatin1(DemoCard::kName), 7948206080, true},
                                          {QStringLiteral("/"), QString(), 250059350016, false}};
    });
    CConvertToolApp app; // sets the program's font and icon as the program does
    CMainFrame& frame = app.CreateMainWindow(QString());
    QElapsedTimer starting;
    starting.start();
    while (!frame.Started() && starting.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    CConvertToolView* view = frame.View();
    // The card is chosen in the drive list, as a user chooses it.
    view->DriveList()->setCurrentIndex(view->DriveList()->findData(cardRoot));
    emit view->DriveList()->activated(view->DriveList()->currentIndex());
    // Pad 6 (a movie) selected with a click where the form's hit test finds it.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 145), QPointF(100, 145), QPointF(100, 145),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    ok = Save(frame, folder, QStringLiteral("main-window")) && ok;

    // The drive list as it opens.
    QListView drives;
    drives.setFont(view->DriveList()->font());
    drives.setModel(view->DriveList()->model());
    drives.setItemDelegate(new CDriveItemDelegate(&drives));
    drives.resize(std::max(view->DriveList()->view()->minimumWidth(), 200),
                  CDriveItemDelegate::RowHeight(drives.font()) * view->DriveList()->count() + 4);
    drives.setCurrentIndex(drives.model()->index(1, 0));
    drives.show();
    ok = Save(drives, folder, QStringLiteral("drive-list")) && ok;

    // The File and Pad menus as they open.
    for (QAction* menuAction : frame.menuBar()->actions()) {
        if (QMenu* menu = menuAction->menu();
            menu != nullptr && menuAction->text() != QStringLiteral("Help(&H)")) {
            menu->popup(frame.mapToGlobal(QPoint(0, 20)));
            QApplication::processEvents();
            ok = Save(*menu, folder,
                      QStringLiteral("menu-") +
                          menuAction->text().section(QLatin1Char('('), 0, 0).toLower()) &&
                 ok;
            menu->hide();
        }
    }

    // Files dragged over pad 3: the pad lights up where they would land.
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/photo.png"))});
        const QPoint at = CPadView::PadRect(2).center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->PadView(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->PadView(), &move);
        ok = Save(frame, folder, QStringLiteral("main-window-dragging")) && ok;
        QDragLeaveEvent leave;
        QApplication::sendEvent(view->PadView(), &leave);
    }
    // The status bar after an import, and the grid with the keyboard focus on pad 6.
    view->PadView()->setFocus();
    emit view->StatusMessage(QStringLiteral("Imported holiday-clip.mp4 onto pad 6."));
    ok = Save(frame, folder, QStringLiteral("main-window-status")) && ok;

    // The questions and messages the form shows, with the texts it builds.
    const auto saveBox = [&](const QString& name, QMessageBox::Icon icon, const QString& text,
                             QMessageBox::StandardButtons buttons,
                             QMessageBox::StandardButton defaultButton) {
        QMessageBox box(icon, QStringLiteral("K-72 Image Converter"), text, buttons, &frame);
        box.setDefaultButton(defaultButton);
        box.show();
        QApplication::processEvents();
        return Save(box, folder, name);
    };
    const PadEntry* moviePad = app.Store().Entry(5);
    const PadEntry* stillPad = app.Store().Entry(1);
    ok = saveBox(QStringLiteral("question-delete"), QMessageBox::Information,
                 QStringLiteral(
                     "Delete pad 6, which holds %1?\nDelete file as well?\n\nYes: the files are deleted "
                     "from the card too.\nNo: the files stay on the card.")
                     .arg(QtPadQuestions::ContentText(*moviePad)),
                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel) &&
         ok;
    ok = saveBox(QStringLiteral("question-replace"), QMessageBox::Question,
                 QStringLiteral("Pad 2 holds %1. Replace them?").arg(QtPadQuestions::ContentText(*stillPad)),
                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) &&
         ok;
    ok = saveBox(QStringLiteral("message-card-gone"), QMessageBox::Information,
                 QStringLiteral(
                     "The card %1 is no longer available.\nPut it back, or choose another drive or card "
                     "folder.")
                     .arg(QStringLiteral("/media/user/") + QString::fromLatin1(DemoCard::kName)),
                 QMessageBox::Ok, QMessageBox::Ok) &&
         ok;
    ok = saveBox(
             QStringLiteral("message-copy-failed"), QMessageBox::Information,
             QStringLiteral("The file \"K72_0001.AVI\" could not be copied to the folder\n/media/card/DCIM/"
                            "000KAVLO\n\nThere is not enough free space there (the card or disk is full)."),
             QMessageBox::Ok, QMessageBox::Ok) &&
         ok;

    {
        // The batch of several pictures, as the form shows it.
        QProgressDialog batch(&frame);
        batch.setWindowTitle(QStringLiteral("K-72 Image Converter"));
        batch.setRange(0, 5);
        batch.setValue(2);
        batch.setCancelButtonText(QStringLiteral("Cancel"));
        batch.setLabelText(QStringLiteral("Converting picture 3 of 5:\nbeach.jpg"));
        batch.show();
        QApplication::processEvents();
        ok = Save(batch, folder, QStringLiteral("picture-batch-progress")) && ok;
    }

    ConvertingDialog converting;
    converting.SetFileName(QStringLiteral("holiday-clip.mp4"));
    converting.show();
    converting.ShowPhase(1, 72);
    ok = Save(converting, folder, QStringLiteral("conversion-progress")) && ok;
    converting.ShowPhase(2, 40);
    ok = Save(converting, folder, QStringLiteral("conversion-progress-interleaving")) && ok;
    converting.reject();

    CDialogPictureInformation stills(app.Commands(), &frame);
    stills.SetPad(0, 0, 1);
    stills.show();
    stills.List()->setCurrentRow(1);
    ok = Save(stills, folder, QStringLiteral("still-image-list")) && ok;

    CDialogMovieInformation movie(app.Commands(), &frame);
    movie.SetPad(0, 0, 5);
    movie.show();
    ok = Save(movie, folder, QStringLiteral("movie-information")) && ok;

    CDialogPreference preference(&frame);
    preference.SetSettings(Settings{});
    ok = Save(preference, folder, QStringLiteral("preference")) && ok;

    CAboutDlg about(&frame);
    ok = Save(about, folder, QStringLiteral("about")) && ok;

    CPadView pads;
    pads.SetAllStates({1, 2, 0, 0, 2, 1, 0, 1, 0, 0, 2, 0});
    pads.SetSelection(5);
    ok = Save(pads, folder, QStringLiteral("pad-grid")) && ok;
    ok = SaveThemeButtons(folder) && ok;

    return ok ? 0 : 1;
}
