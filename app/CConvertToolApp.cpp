#include "app/CConvertToolApp.h"

#include "app/CMainFrame.h"
#include "app/ManualLocation.h"
#include "resources/Artwork.h"
#include "settings/PadBackupLocation.h"
#include "settings/SettingsStorage.h"
#include "ui/CAboutDlg.h"
#include "ui/CDialogPreference.h"
#include "ui/DialogUnits.h"
#include "ui/QtUserMessages.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QUrl>

namespace k72 {

CConvertToolApp::CConvertToolApp() : commands_(store_, &fileCopy_, &progress_) {
    LoadSettings(settings_);
    commands_.SetSettings(settings_);
    // The program stays running: a conversion whose card is pulled waits for that card to come back.
    commands_.KeepImportsOfAPulledCard(true);
    // Before this run first changes a card, a copy of its pad file goes to the user's data folder.
    store_.SetBackupFolder(PadBackupFolder());

    QIcon icon;
    for (const int size : artwork::kAppIconSizes) {
        icon.addFile(artwork::AppIconPath(size), QSize(size, size));
    }
    QApplication::setWindowIcon(icon);
    QApplication::setFont(FormFont());
}

CConvertToolApp::~CConvertToolApp() {
    frame_.reset();
    store_.Close();
}

CMainFrame& CConvertToolApp::CreateMainWindow(const QString& cardRoot) {
    frame_ = std::make_unique<CMainFrame>(*this, cardRoot);
    // The store's copies and progress windows belong to the main window.
    fileCopy_.SetOwner(frame_.get());
    progress_.SetOwner(frame_.get());
    frame_->show();
    return *frame_;
}

int CConvertToolApp::Run(const QString& cardRoot) {
    CreateMainWindow(cardRoot);
    return QApplication::exec();
}

void CConvertToolApp::OnPreference(QWidget* owner) {
    if (CDialogPreference::Edit(owner, settings_)) {
        SaveSettings(settings_);
        commands_.SetSettings(settings_);
    }
}

QString CConvertToolApp::ManualPath() {
    return QDir::currentPath() + QLatin1Char('/') + QString::fromLatin1(kManualName);
}

QStringList CConvertToolApp::ManualCandidates() const {
    return k72::ManualCandidates(QCoreApplication::applicationDirPath());
}

void CConvertToolApp::OnManual() {
    const QStringList candidates = ManualCandidates();
    const QString path = FindManual(candidates);
    if (path.isEmpty()) {
        ShowManualMissing(candidates);
        return;
    }
    OpenDocument(path);
}

void CConvertToolApp::ShowManualMissing(const QStringList& lookedIn) {
    QStringList places;
    for (const QString& place : lookedIn) {
        places << QDir::toNativeSeparators(place);
    }
    QtUserMessages::Show(MainWindow(),
                         QStringLiteral("The manual could not be found. It was looked for here:\n") +
                             places.join(QLatin1Char('\n')));
}

void CConvertToolApp::OnAbout(QWidget* owner) {
    CAboutDlg about(owner);
    about.exec();
}

void CConvertToolApp::OpenDocument(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace k72
