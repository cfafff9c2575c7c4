// The application object and the main window: title, menu, size, the manual, and the card's release.
#include "UiTestSupport.h"
#include "app/CConvertToolApp.h"
#include "app/CMainFrame.h"
#include "app/ManualLocation.h"
#include "settings/SettingsStorage.h"
#include "store/CPadFile.h"
#include "ui/CConvertToolView.h"
#include "ui/CDialogPreference.h"
#include "ui/CPadView.h"
#include "ui/DesktopOpen.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QWindow>

#include <QLabel>
#include <QStatusBar>

#include <gtest/gtest.h>

using namespace k72;
using namespace k72test;

namespace {

class RecordingApp : public CConvertToolApp {
public:
    std::vector<QString> opened;
    std::vector<QStringList> missing;
    QStringList candidates; // empty: where the program itself looks

    QStringList ManualCandidates() const override {
        return candidates.isEmpty() ? CConvertToolApp::ManualCandidates() : candidates;
    }

protected:
    void OpenDocument(const QString& path) override { opened.push_back(path); }
    void ShowManualMissing(const QStringList& lookedIn) override { missing.push_back(lookedIn); }
};

// Runs the test in a folder of its own, as the manual is looked for in the current folder.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::filesystem::path& folder) : previous_(QDir::currentPath()) {
        QDir::setCurrent(QString::fromStdString(folder.string()));
    }
    ~CurrentFolder() { QDir::setCurrent(previous_); }

private:
    QString previous_;
};

} // namespace

TEST(AppShell, MainWindowTitleMenuAndSize) {
    RecordingApp app;
    CMainFrame& frame = app.CreateMainWindow(QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Started(); }));
    EXPECT_EQ(frame.windowTitle(), "K-72 Image Converter");
    frame.setWindowTitle("some document");
    EXPECT_EQ(frame.windowTitle(), "K-72 Image Converter");
    const auto menus = frame.menuBar()->actions();
    ASSERT_EQ(menus.size(), 4);
    EXPECT_EQ(menus[0]->text(), "File(&F)");
    EXPECT_EQ(menus[1]->text(), "Edit(&E)");
    EXPECT_EQ(menus[2]->text(), "Pad(&P)");
    EXPECT_EQ(menus[3]->text(), "Help(&H)");
    EXPECT_EQ(frame.View()->UndoAction()->shortcut(), QKeySequence::Undo);
    EXPECT_EQ(frame.View()->RedoAction()->shortcut(), QKeySequence("Ctrl+Shift+Z"));
    EXPECT_EQ(frame.OpenCardAction()->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(frame.ImportAction()->shortcut(), QKeySequence("Ctrl+I"));
    EXPECT_EQ(frame.ExportAction()->shortcut(), QKeySequence("Ctrl+E"));
    EXPECT_EQ(frame.DeleteAction()->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(frame.ExitAction()->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(frame.PreferenceAction()->text(), "Preference");
    EXPECT_EQ(frame.ExitAction()->text(), "Exit");
    EXPECT_EQ(frame.ManualAction()->text(), "How to use K-72 Image Converter");
    EXPECT_EQ(frame.AboutAction()->text(), "About K-72 Image Converter");
    EXPECT_TRUE(frame.windowFlags() & Qt::WindowMaximizeButtonHint);
    // Sized to the form, its menu and its status bar at first, and that is its smallest size.
    EXPECT_EQ(frame.width(), frame.View()->width());
    EXPECT_EQ(frame.height(),
              frame.View()->height() + frame.menuBar()->height() + frame.statusBar()->height());
    EXPECT_EQ(frame.minimumSize(), frame.size());
    // The form, shown once the window was, sits right under the menu.
    EXPECT_TRUE(frame.View()->isVisible());
    EXPECT_EQ(frame.View()->geometry().topLeft(), QPoint(0, frame.menuBar()->height()));
    EXPECT_EQ(frame.CardStatus()->text(), "No card");
    // It grows, and the form with it.
    frame.resize(frame.width() * 2, frame.height() * 2);
    QTest::qWait(20);
    EXPECT_EQ(frame.View()->width(), frame.width());
    EXPECT_GT(frame.View()->PadView()->width(), 2 * 225 * 9 / 10);
    // Exit, from the form or the menu, closes the window.
    frame.View()->ExitButton()->click();
    EXPECT_FALSE(frame.isVisible());
}

// The manual is looked for in the current folder, then installed beside the program; when it is nowhere
// the user is told every place it was looked for.
TEST(AppShell, ManualOpensWhereItIsFoundOrSaysWhereItWasLookedFor) {
    TempDir dir;
    CurrentFolder inside(dir.Path());
    RecordingApp app;
    const QString installed =
        QString::fromStdString((dir / "prefix/share/doc/k72-image-converter/manual/index.html").string());
    app.candidates =
        QStringList{QString::fromStdString((dir / "K-72ImageConverterManualE.pdf").string()), installed};
    app.OnManual();
    EXPECT_TRUE(app.opened.empty());
    ASSERT_EQ(app.missing.size(), 1u);
    EXPECT_EQ(app.missing[0], app.candidates);

    std::filesystem::create_directories(dir / "prefix/share/doc/k72-image-converter/manual");
    WriteFileBytes(installed.toStdString(), {'<', 'p', '>'});
    app.OnManual();
    ASSERT_EQ(app.opened.size(), 1u);
    EXPECT_EQ(app.opened[0], installed);

    WriteFileBytes(dir / "K-72ImageConverterManualE.pdf", {'%', 'P', 'D', 'F'});
    app.OnManual();
    ASSERT_EQ(app.opened.size(), 2u);
    EXPECT_EQ(QDir(app.opened[1]).canonicalPath().toStdString(),
              std::filesystem::canonical(dir / "K-72ImageConverterManualE.pdf").string());
    EXPECT_EQ(app.missing.size(), 1u);

    // The program looks in the current folder first, beside itself, and in the build folder.
    const QStringList places = k72::ManualCandidates(QStringLiteral("/opt/k72/bin"));
    ASSERT_GE(places.size(), 3);
    EXPECT_EQ(places[0], QDir::currentPath() + "/K-72ImageConverterManualE.pdf");
    EXPECT_EQ(places[1], "/opt/k72/share/doc/k72-image-converter/manual/index.html");
    EXPECT_EQ(places.last(), "/opt/k72/manual/index.html");
}

// The built program, run from the build folder, finds the manual made with the build, with its pictures.
TEST(AppShell, TheBuildsManualIsFoundWithItsPictures) {
    const QString manual =
        k72::FindManual(k72::ManualCandidates(QString::fromStdString(BinaryDir().string())));
    ASSERT_FALSE(manual.isEmpty());
    EXPECT_TRUE(manual.endsWith("/manual/index.html")) << manual.toStdString();
    const std::string html = ReadFileText(manual.toStdString());
    for (const char* picture : {"main-window", "still-image-list", "movie-information", "preference"}) {
        const std::string source = std::string("pictures/") + picture + ".png";
        EXPECT_NE(html.find(source), std::string::npos) << picture;
        EXPECT_TRUE(QFileInfo(QFileInfo(manual).dir().filePath(QString::fromStdString(source))).isFile())
            << picture;
    }
}

TEST(AppShell, F1OpensTheManual) {
    RecordingApp app;
    CMainFrame& frame = app.CreateMainWindow(QString());
    EXPECT_EQ(frame.ManualAction()->shortcut(), QKeySequence(Qt::Key_F1));
}

// A preview with nothing to show it says so, naming the file.
TEST(AppShell, APreviewWithoutAProgramSaysSo) {
    QStringList told;
    QUrl asked;
    const bool opened = OpenWithDesktopProgram(
        nullptr, QStringLiteral("/card/DCIM/000KAVLO/K72_0001.AVI"), PreviewKind::Movie,
        [&](const QUrl& url) {
            asked = url;
            return false;
        },
        [&](const QString& text) { told << text; });
    EXPECT_FALSE(opened);
    EXPECT_EQ(asked, QUrl::fromLocalFile("/card/DCIM/000KAVLO/K72_0001.AVI"));
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains("play this movie")) << told[0].toStdString();
    EXPECT_TRUE(told[0].contains("/card/DCIM/000KAVLO/K72_0001.AVI"));

    told.clear();
    EXPECT_TRUE(OpenWithDesktopProgram(
        nullptr, QStringLiteral("/x.jpg"), PreviewKind::Picture, [](const QUrl&) { return true; },
        [&](const QString& text) { told << text; }));
    EXPECT_TRUE(told.isEmpty());
    EXPECT_TRUE(NoPreviewProgramText(PreviewKind::Picture, "/x.jpg").contains("show this picture"));
}

TEST(AppShell, EndingTheProgramReleasesTheCard) {
    TempDir dir;
    PadCard card(dir.Path());
    {
        RecordingApp app;
        CMainFrame& frame = app.CreateMainWindow(QString::fromStdString(card.card.root.string()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Started(); }));
        EXPECT_TRUE(frame.View()->GridReady());
        EXPECT_TRUE(app.Store().IsCardOpen());
        CPadFile other;
        EXPECT_FALSE(other.Open(card.card.padFile)); // locked while the program has it
    }
    CPadFile other;
    EXPECT_TRUE(other.Open(card.card.padFile));
}

// What the program has to say at start (here: the folder named on the command line is no card) comes
// once the main window is on the screen, over it, instead of before it in the screen's corner.
TEST(AppShell, StartUpMessagesComeOverTheShownMainWindow) {
    TempDir notACard;
    RecordingApp app;
    bool windowThere = false;
    QWidget* owner = nullptr;
    bool overIt = false;
    ModalAnswerer answerer([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        const CMainFrame* frame = app.MainWindow();
        if (box == nullptr || frame == nullptr) {
            return false;
        }
        windowThere = frame->isVisible() && frame->windowHandle()->isExposed() && frame->View()->isVisible();
        owner = box->parentWidget() != nullptr ? box->parentWidget()->window() : nullptr;
        overIt = frame->frameGeometry().contains(box->frameGeometry().center());
        box->button(QMessageBox::Ok)->click();
        return true;
    });
    CMainFrame& frame = app.CreateMainWindow(QString::fromStdString(notACard.Path().string()));
    EXPECT_FALSE(frame.Started());
    EXPECT_TRUE(answerer.texts.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.texts.empty(); }));
    EXPECT_NE(answerer.texts[0].find("not a K-72 card"), std::string::npos) << answerer.texts[0];
    EXPECT_TRUE(windowThere);
    EXPECT_EQ(owner, &frame);
    EXPECT_TRUE(overIt);
}

TEST(AppShell, SettingsAreLoadedAtStart) {
    RecordingApp app;
    const Settings& settings = app.GetSettings();
    EXPECT_EQ(settings.fps, app.Commands().GetSettings().fps);
    EXPECT_EQ(settings.quality, app.Commands().GetSettings().quality);
    EXPECT_EQ(settings.deinterlace, app.Commands().GetSettings().deinterlace);
}

// The preferences are stored only when confirmed, and the store converts with them at once.
// Points the user's settings at a folder of the test's own. Qt reads XDG_CONFIG_HOME only for the first
// settings object of the process, so the folder is set on QSettings itself, and put back afterwards so
// that the tests after this one see the test program's home again.
class SettingsFolder {
public:
    explicit SettingsFolder(const std::filesystem::path& folder)
        : previous(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"))) {
        Point(QString::fromStdString(folder.string()));
    }
    ~SettingsFolder() { Point(previous.isEmpty() ? QDir::homePath() + "/.config" : previous); }
    SettingsFolder(const SettingsFolder&) = delete;
    SettingsFolder& operator=(const SettingsFolder&) = delete;

private:
    static void Point(const QString& folder) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    }
    QString previous;
};

TEST(AppShell, PreferencesAreSavedOnlyOnOk) {
    TempDir home;
    const SettingsFolder settingsFolder(home.Path()); // before any settings are read
    const auto file = home / "KAVELO" / "K-72 Image Converter.conf";
    RecordingApp app;
    {
        ModalAnswerer answerer([](QWidget* modal) {
            auto* dialog = qobject_cast<CDialogPreference*>(modal);
            if (dialog == nullptr) {
                return false;
            }
            dialog->PalButton()->click();
            dialog->CancelButton()->click();
            return true;
        });
        app.OnPreference(nullptr);
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(app.GetSettings().fps, 0);
    {
        ModalAnswerer answerer([](QWidget* modal) {
            auto* dialog = qobject_cast<CDialogPreference*>(modal);
            if (dialog == nullptr) {
                return false;
            }
            dialog->PalButton()->click();
            dialog->QualitySlider()->setValue(1);
            dialog->FitList()->setCurrentIndex(2);
            dialog->PreviewBox()->setChecked(false);
            dialog->OkButton()->click();
            return true;
        });
        app.OnPreference(nullptr);
    }
    EXPECT_EQ(app.GetSettings().fps, 1);
    EXPECT_EQ(app.GetSettings().quality, 1);
    EXPECT_EQ(app.Commands().GetSettings().fps, 1);
    EXPECT_EQ(app.Commands().GetSettings().FrameRateWord(), "pal");
    ASSERT_TRUE(std::filesystem::exists(file));
    Settings stored;
    LoadSettings(stored);
    EXPECT_EQ(stored.fps, 1);
    EXPECT_EQ(stored.quality, 1);
    EXPECT_EQ(stored.deinterlace, 1);
    EXPECT_EQ(stored.fit, FitMode::Crop);
    EXPECT_EQ(app.Commands().GetSettings().fit, FitMode::Crop);
    EXPECT_FALSE(stored.previewBeforeConverting);
    EXPECT_FALSE(app.Commands().GetSettings().previewBeforeConverting);
    // The fit is kept as its word; a word no version knows reads as stretch.
    EXPECT_NE(ReadFileText(file).find("fit=crop"), std::string::npos);
    QSettings(QStringLiteral("KAVELO"), QStringLiteral("K-72 Image Converter")).setValue("fit", "sideways");
    LoadSettings(stored);
    EXPECT_EQ(stored.fit, FitMode::Stretch);
    // Without a stored fit (a first start, or a store an older version wrote): automatic.
    QSettings(QStringLiteral("KAVELO"), QStringLiteral("K-72 Image Converter")).remove("fit");
    LoadSettings(stored);
    EXPECT_EQ(stored.fit, FitMode::Auto);
    // Only a stored 0 turns the preview off; without one (or with a word) it is on.
    for (const char* value : {"0", "1", "yes"}) {
        QSettings(QStringLiteral("KAVELO"), QStringLiteral("K-72 Image Converter"))
            .setValue("preview", value);
        LoadSettings(stored);
        EXPECT_EQ(stored.previewBeforeConverting, std::string(value) != "0") << value;
    }
    QSettings(QStringLiteral("KAVELO"), QStringLiteral("K-72 Image Converter")).remove("preview");
    stored.previewBeforeConverting = false;
    LoadSettings(stored);
    EXPECT_TRUE(stored.previewBeforeConverting);
}
