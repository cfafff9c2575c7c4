#include "app/CMainFrame.h"

#include "app/CConvertToolApp.h"
#include "app/CardCommands.h"
#include "ui/CConvertToolView.h"
#include "ui/CardOverviewWindow.h"
#include "ui/DialogUnits.h"
#include "ui/FillFeature.h"
#include "ui/ReadOnlyCard.h"
#include "ui/RememberedPlaces.h"

#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

namespace k72 {

CMainFrame::CMainFrame(CConvertToolApp& app, const QString& cardRoot, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      app_(app) {
    setWindowTitle(QString::fromLatin1(kTitle));
    setFont(FormFont());
    resize(300, 380);

    QMenu* file = menuBar()->addMenu(QStringLiteral("File(&F)"));
    openCardAction_ = file->addAction(QStringLiteral("Open Card Folder…"));
    openCardAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    recentMenu_ = file->addMenu(QStringLiteral("Recent Cards"));
    file->addSeparator();
    overviewAction_ = file->addAction(QStringLiteral("Card Overview…"));
    overviewAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    checkCardAction_ = file->addAction(QStringLiteral("Check Card…"));
    ejectCardAction_ = file->addAction(QStringLiteral("Eject Card"));
    file->addSeparator();
    preferenceAction_ = file->addAction(QStringLiteral("Preference"));
    file->addSeparator();
    exitAction_ = file->addAction(QStringLiteral("Exit"));
    exitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* edit = menuBar()->addMenu(QStringLiteral("Edit(&E)"));
    edit->setToolTipsVisible(true);
    QMenu* padMenu = menuBar()->addMenu(QStringLiteral("Pad(&P)"));
    padMenu->setToolTipsVisible(true); // why Import and Delete are off on a read-only card
    importAction_ = padMenu->addAction(QStringLiteral("Import…"));
    importAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    exportAction_ = padMenu->addAction(QStringLiteral("Export…"));
    exportAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    informationAction_ = padMenu->addAction(QStringLiteral("Information"));
    deleteAction_ = padMenu->addAction(QStringLiteral("Delete"));
    deleteAction_->setShortcut(QKeySequence(Qt::Key_Delete));
    QMenu* help = menuBar()->addMenu(QStringLiteral("Help(&H)"));
    manualAction_ = help->addAction(QStringLiteral("How to use K-72 Image Converter"));
    manualAction_->setShortcut(QKeySequence(Qt::Key_F1));
    aboutAction_ = help->addAction(QStringLiteral("About K-72 Image Converter"));

    view_ = new CConvertToolView(app.Commands(), cardRoot, this);
    setCentralWidget(view_);
    edit->addAction(view_->UndoAction());
    edit->addAction(view_->RedoAction());
    // The form starts when it is first shown; it is shown once the window is (StartForm).
    view_->hide();
    cardStatus_ = new QLabel(this);
    cardStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addPermanentWidget(cardStatus_, 1);
    statusBar()->setSizeGripEnabled(true);
    FillRecentCards();
    UpdateCardStatus();
    overviewAction_->setEnabled(false); // until a card is open

    connect(preferenceAction_, &QAction::triggered, this, [this] {
        app_.OnPreference(this);
        UpdateCardStatus();
    });
    connect(openCardAction_, &QAction::triggered, view_, &CConvertToolView::OpenCardFolder);
    connect(overviewAction_, &QAction::triggered, this, &CMainFrame::ShowOverview);
    connect(importAction_, &QAction::triggered, view_, &CConvertToolView::Import);
    connect(exportAction_, &QAction::triggered, view_, &CConvertToolView::Export);
    connect(informationAction_, &QAction::triggered, view_, &CConvertToolView::Information);
    connect(deleteAction_, &QAction::triggered, view_, &CConvertToolView::Delete);
    connect(recentMenu_, &QMenu::aboutToShow, this, &CMainFrame::FillRecentCards);
    connect(view_, &CConvertToolView::CardChanged, this, [this] {
        ShowCardAccess();
        UpdateCardStatus();
        FillRecentCards();
    });
    connect(view_, &CConvertToolView::StatusMessage, this, [this](const QString& text) {
        // The card's line steps aside for the message for a while; a message longer than the line is
        // shortened with an ellipsis and read whole in the tooltip, never cut off.
        cardStatus_->hide();
        statusBar()->setToolTip(text);
        statusBar()->showMessage(
            statusBar()->fontMetrics().elidedText(text, Qt::ElideRight, std::max(100, width() - 24)), 8000);
    });
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (text.isEmpty()) {
            cardStatus_->show();
        }
    });
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);
    connect(manualAction_, &QAction::triggered, this, [this] { app_.OnManual(); });
    connect(aboutAction_, &QAction::triggered, this, [this] { app_.OnAbout(this); });
    connect(view_, &CConvertToolView::ExitRequested, this, &QWidget::close);

    // Cards found as they are mounted, checked and ejected.
    cards_ = new CardCommands(app.Store(), *view_, this);
    fill_ = new FillFeature(app.Commands(), *view_, file, checkCardAction_, this);
    cards_->StartWatching();
    connect(checkCardAction_, &QAction::triggered, cards_, &CardCommands::Check);
    connect(ejectCardAction_, &QAction::triggered, cards_, [this] { cards_->Eject(); });
}

// The frame takes the size of the form (and its menu) when it is first shown.
void CMainFrame::showEvent(QShowEvent* event) {
    FitToForm();
    QMainWindow::showEvent(event);
    if (!started_ && windowHandle() != nullptr) {
        // The window is not on the screen before the window system says it is exposed; until then a
        // message would open where the window stood when it was made, in the screen's corner.
        windowHandle()->installEventFilter(this);
        // Should that word never come (a window started minimised), the form starts all the same.
        QTimer::singleShot(kStartAnywayMilliseconds, this, &CMainFrame::StartForm);
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        // Once the window has painted itself.
        QTimer::singleShot(0, this, &CMainFrame::StartForm);
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::StartForm() {
    if (started_) {
        return;
    }
    started_ = true;
    if (windowHandle() != nullptr) {
        windowHandle()->removeEventFilter(this);
    }
    view_->show();
    // The window got the keyboard before the form was there to take it.
    if (isActiveWindow() && focusWidget() == nullptr) {
        focusNextChild();
    }
}

void CMainFrame::FitToForm() {
    if (fitted_) {
        return;
    }
    fitted_ = true;
    // The form at its natural size is the smallest the window gets; it grows, and maximizes, from there.
    const QSize natural(view_->minimumWidth(), view_->minimumHeight() + menuBar()->sizeHint().height() +
                                                   statusBar()->sizeHint().height());
    setMinimumSize(natural);
    resize(natural);
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    UpdateCardStatus(); // the line takes the width it has
}

void CMainFrame::FillRecentCards() {
    recentMenu_->clear();
    const QStringList recent = remembered::RecentCards();
    for (int i = 0; i < recent.size(); ++i) {
        const QString root = recent[i];
        QAction* action =
            recentMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(root)));
        connect(action, &QAction::triggered, view_, [this, root] { view_->OpenCard(root); });
    }
    recentMenu_->setEnabled(!recent.isEmpty());
}

void CMainFrame::UpdateCardStatus() {
    const QString text = view_->CardStatusText();
    cardStatus_->setText(
        cardStatus_->fontMetrics().elidedText(text, Qt::ElideRight, std::max(100, width() - 24)));
    cardStatus_->setToolTip(view_->CardStatusToolTip());
}

void CMainFrame::ShowOverview() {
    const QString root = view_->OpenCardRoot();
    if (root.isEmpty() || view_->Busy()) {
        return;
    }
    CardOverviewWindow window(std::filesystem::path(root.toStdString()), this);
    if (window.exec() == QDialog::Accepted) {
        view_->GoToNumber(window.ChosenBank(), window.ChosenNumber());
    }
}

QString CMainFrame::Title() const {
    return QString::fromLatin1(view_ != nullptr && view_->ReadOnly() ? kReadOnlyTitle : kTitle);
}

void CMainFrame::ShowCardAccess() {
    setWindowTitle(Title());
    overviewAction_->setEnabled(!view_->OpenCardRoot().isEmpty());
    const bool readOnly = view_->ReadOnly();
    for (QAction* action : {importAction_, deleteAction_}) {
        action->setEnabled(!readOnly);
        action->setToolTip(readOnly ? ReadOnlyToolTip() : action->text());
    }
}

// The title is the program's (saying so when the card is read-only), whatever anything else sets.
bool CMainFrame::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowTitleChange && windowTitle() != Title()) {
        setWindowTitle(Title());
    }
    return handled;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (fill_ != nullptr && !fill_->MayClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

} // namespace k72
