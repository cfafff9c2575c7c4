#include "app/CMainFrame.h"

#include "app/CConvertToolApp.h"
#include "app/CardCommands.h"
#include "ui/CConvertToolView.h"
#include "ui/DialogUnits.h"
#include "ui/RememberedPlaces.h"

#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

namespace k72 {

CMainFrame::CMainFrame(CConvertToolApp& app, const QString& cardRoot, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      app(app) {
    setWindowTitle(QString::fromLatin1(kTitle));
    setFont(FormFont());
    setFixedSize(300, 380);

    QMenu* file = menuBar()->addMenu(QStringLiteral("File(&F)"));
    openCardAction = file->addAction(QStringLiteral("Open Card Folder…"));
    openCardAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    recentMenu = file->addMenu(QStringLiteral("Recent Cards"));
    file->addSeparator();
    checkCardAction = file->addAction(QStringLiteral("Check Card..."));
    ejectCardAction = file->addAction(QStringLiteral("Eject Card"));
    file->addSeparator();
    preferenceAction = file->addAction(QStringLiteral("Preference"));
    file->addSeparator();
    exitAction = file->addAction(QStringLiteral("Exit"));
    exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* padMenu = menuBar()->addMenu(QStringLiteral("Pad(&P)"));
    importAction = padMenu->addAction(QStringLiteral("Import…"));
    importAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    exportAction = padMenu->addAction(QStringLiteral("Export…"));
    exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    informationAction = padMenu->addAction(QStringLiteral("Information"));
    deleteAction = padMenu->addAction(QStringLiteral("Delete"));
    deleteAction->setShortcut(QKeySequence(Qt::Key_Delete));
    QMenu* help = menuBar()->addMenu(QStringLiteral("Help(&H)"));
    manualAction = help->addAction(QStringLiteral("How to use K-72 Image Converter"));
    manualAction->setShortcut(QKeySequence(Qt::Key_F1));
    aboutAction = help->addAction(QStringLiteral("About K-72 Image Converter"));

    view = new CConvertToolView(app.Store(), cardRoot, this);
    setCentralWidget(view);
    cardStatus = new QLabel(this);
    cardStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addPermanentWidget(cardStatus, 1);
    statusBar()->setSizeGripEnabled(false);
    FillRecentCards();
    UpdateCardStatus();

    connect(preferenceAction, &QAction::triggered, this, [this] {
        this->app.OnPreference(this);
        UpdateCardStatus();
    });
    connect(openCardAction, &QAction::triggered, view, &CConvertToolView::OpenCardFolder);
    connect(importAction, &QAction::triggered, view, &CConvertToolView::Import);
    connect(exportAction, &QAction::triggered, view, &CConvertToolView::Export);
    connect(informationAction, &QAction::triggered, view, &CConvertToolView::Information);
    connect(deleteAction, &QAction::triggered, view, &CConvertToolView::Delete);
    connect(recentMenu, &QMenu::aboutToShow, this, &CMainFrame::FillRecentCards);
    connect(view, &CConvertToolView::CardChanged, this, [this] {
        UpdateCardStatus();
        FillRecentCards();
    });
    connect(view, &CConvertToolView::StatusMessage, this, [this](const QString& text) {
        // The card's line steps aside for the message for a while.
        cardStatus->hide();
        statusBar()->showMessage(text, 8000);
    });
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (text.isEmpty()) {
            cardStatus->show();
        }
    });
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    connect(manualAction, &QAction::triggered, this, [this] { this->app.OnManual(); });
    connect(aboutAction, &QAction::triggered, this, [this] { this->app.OnAbout(this); });
    connect(view, &CConvertToolView::ExitRequested, this, &QWidget::close);

    // Cards found as they are mounted, checked and ejected.
    cards = new CardCommands(app.Store(), *view, this);
    cards->StartWatching();
    connect(checkCardAction, &QAction::triggered, cards, &CardCommands::Check);
    connect(ejectCardAction, &QAction::triggered, cards, [this] { cards->Eject(); });
}

// The frame takes the size of the form (and its menu) when it is first shown.
void CMainFrame::showEvent(QShowEvent* event) {
    FitToForm();
    QMainWindow::showEvent(event);
}

void CMainFrame::FitToForm() {
    if (fitted) {
        return;
    }
    fitted = true;
    setFixedSize(view->width(),
                 view->height() + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
}

void CMainFrame::FillRecentCards() {
    recentMenu->clear();
    const QStringList recent = remembered::RecentCards();
    for (int i = 0; i < recent.size(); ++i) {
        const QString root = recent[i];
        QAction* action =
            recentMenu->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(root)));
        connect(action, &QAction::triggered, view, [this, root] { view->OpenCard(root); });
    }
    recentMenu->setEnabled(!recent.isEmpty());
}

void CMainFrame::UpdateCardStatus() {
    const QString text = view->CardStatusText();
    cardStatus->setText(
        cardStatus->fontMetrics().elidedText(text, Qt::ElideRight, std::max(100, width() - 24)));
    cardStatus->setToolTip(view->CardStatusToolTip());
}

// The title is the program's, whatever anything else sets.
bool CMainFrame::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowTitleChange && windowTitle() != QString::fromLatin1(kTitle)) {
        setWindowTitle(QString::fromLatin1(kTitle));
    }
    return handled;
}

} // namespace k72
