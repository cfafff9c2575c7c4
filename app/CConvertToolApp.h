#pragma once
// The application object: lives for the whole run, owns the settings and the one card store, and
// serves the menu commands that are not about the card (preferences, manual, about box).

#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "store/Settings.h"
#include "ui/QtConversionProgress.h"
#include "ui/QtFileCopy.h"

#include <QString>
#include <QStringList>

#include <memory>

class QWidget;

namespace k72 {

class CMainFrame;

class CConvertToolApp {
public:
    // Settings get their defaults and are loaded; the store starts with no card open. Needs the
    // QApplication to exist.
    CConvertToolApp();
    // Releases the card's pad file at once.
    virtual ~CConvertToolApp();
    CConvertToolApp(const CConvertToolApp&) = delete;
    CConvertToolApp& operator=(const CConvertToolApp&) = delete;

    // Creates and shows the main window; cardRoot is the folder holding DCIM named on the command
    // line, or empty. Returns the main window (owned by the application object).
    CMainFrame& CreateMainWindow(const QString& cardRoot);
    // CreateMainWindow, then the event loop until the window closes.
    int Run(const QString& cardRoot);

    const Settings& GetSettings() const { return settings_; }
    CPadBankStore& Store() { return store_; }
    PadCommands& Commands() { return commands_; }
    CMainFrame* MainWindow() const { return frame_.get(); }

    // The menu commands. Preference saves the settings when confirmed and hands them to the store.
    void OnPreference(QWidget* owner);
    void OnManual();
    void OnAbout(QWidget* owner);

    // "K-72ImageConverterManualE.pdf" in the current folder.
    static QString ManualPath();
    static constexpr const char* kManualName = "K-72ImageConverterManualE.pdf";
    // Every place the manual is looked for, first choice first (see ManualLocation.h).
    virtual QStringList ManualCandidates() const;

protected:
    // Opens a document with the desktop's default program; tests replace it.
    virtual void OpenDocument(const QString& path);
    // Tells the user the manual was not found, and where it was looked for; tests replace it.
    virtual void ShowManualMissing(const QStringList& lookedIn);

private:
    Settings settings_;
    QtFileCopy fileCopy_;
    QtConversionProgress progress_;
    CPadBankStore store_;
    PadCommands commands_;
    std::unique_ptr<CMainFrame> frame_;
};

} // namespace k72
