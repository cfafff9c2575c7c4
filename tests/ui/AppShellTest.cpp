// The application object and the main window: title, menu, size, the manual, and the card's release.
#include "UiTestSupport.h"
#include "app/CConvertToolApp.h"
#include "app/CMainFrame.h"
#include "app/SettingsStorage.h"
#include "store/CPadFile.h"
#include "ui/CConvertToolView.h"
#include "ui/CDialogPreference.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>

#include <gtest/gtest.h>

using namespace k72;
using namespace k72test;

namespace {

class RecordingApp : public CConvertToolApp {
public:
    std::vector<QString> opened;

protected:
    void OpenDocument(const QString& path) override { opened.push_back(path); }
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
    EXPECT_EQ(frame.windowTitle(), "K-72 Image Converter");
    frame.setWindowTitle("some document");
    EXPECT_EQ(frame.windowTitle(), "K-72 Image Converter");
    const auto menus = frame.menuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "File(&F)");
    EXPECT_EQ(menus[1]->text(), "Help(&H)");
    EXPECT_EQ(frame.PreferenceAction()->text(), "Preference");
    EXPECT_EQ(frame.ExitAction()->text(), "Exit");
    EXPECT_EQ(frame.ManualAction()->text(), "How to use K-72 Image Converter");
    EXPECT_EQ(frame.AboutAction()->text(), "About K-72 Image Converter");
    EXPECT_FALSE(frame.windowFlags() & Qt::WindowMaximizeButtonHint);
    // Sized to the form and its menu, and fixed.
    EXPECT_EQ(frame.width(), frame.View()->width());
    EXPECT_EQ(frame.height(), frame.View()->height() + frame.menuBar()->height());
    EXPECT_EQ(frame.minimumSize(), frame.maximumSize());
    // Exit, from the form or the menu, closes the window.
    frame.View()->ExitButton()->click();
    EXPECT_FALSE(frame.isVisible());
}

TEST(AppShell, ManualOpensOnlyWhenItIsThere) {
    TempDir dir;
    CurrentFolder inside(dir.Path());
    RecordingApp app;
    app.OnManual();
    EXPECT_TRUE(app.opened.empty());
    WriteFileBytes(dir / "K-72ImageConverterManualE.pdf", {'%', 'P', 'D', 'F'});
    app.OnManual();
    ASSERT_EQ(app.opened.size(), 1u);
    EXPECT_EQ(QDir(app.opened[0]).canonicalPath().toStdString(),
              std::filesystem::canonical(dir / "K-72ImageConverterManualE.pdf").string());
}

TEST(AppShell, EndingTheProgramReleasesTheCard) {
    TempDir dir;
    PadCard card(dir.Path());
    {
        RecordingApp app;
        CMainFrame& frame = app.CreateMainWindow(QString::fromStdString(card.card.root.string()));
        EXPECT_TRUE(frame.View()->GridReady());
        EXPECT_TRUE(app.Store().IsCardOpen());
        CPadFile other;
        EXPECT_FALSE(other.Open(card.card.padFile)); // locked while the program has it
    }
    CPadFile other;
    EXPECT_TRUE(other.Open(card.card.padFile));
}

TEST(AppShell, SettingsAreLoadedAtStart) {
    RecordingApp app;
    const Settings& settings = app.GetSettings();
    EXPECT_EQ(settings.fps, app.Store().GetSettings().fps);
    EXPECT_EQ(settings.quality, app.Store().GetSettings().quality);
    EXPECT_EQ(settings.deinterlace, app.Store().GetSettings().deinterlace);
}

// The preferences are stored only when confirmed, and the store converts with them at once.
TEST(AppShell, PreferencesAreSavedOnlyOnOk) {
    TempDir home;
    qputenv("XDG_CONFIG_HOME",
            QByteArray::fromStdString(home.Path().string())); // before any settings are read
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
            dialog->OkButton()->click();
            return true;
        });
        app.OnPreference(nullptr);
    }
    EXPECT_EQ(app.GetSettings().fps, 1);
    EXPECT_EQ(app.GetSettings().quality, 1);
    EXPECT_EQ(app.Store().GetSettings().fps, 1);
    EXPECT_EQ(app.Store().GetSettings().FrameRateWord(), "pal");
    ASSERT_TRUE(std::filesystem::exists(file));
    Settings stored;
    LoadSettings(stored);
    EXPECT_EQ(stored.fps, 1);
    EXPECT_EQ(stored.quality, 1);
    EXPECT_EQ(stored.deinterlace, 1);
    EXPECT_EQ(stored.fit, FitMode::Crop);
    EXPECT_EQ(app.Store().GetSettings().fit, FitMode::Crop);
    // The fit is kept as its word; a word no version knows reads as stretch.
    EXPECT_NE(ReadFileText(file).find("fit=crop"), std::string::npos);
    QSettings(QStringLiteral("KAVELO"), QStringLiteral("K-72 Image Converter")).setValue("fit", "sideways");
    LoadSettings(stored);
    EXPECT_EQ(stored.fit, FitMode::Stretch);
}
