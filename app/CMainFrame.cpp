#include "app/CMainFrame.h"

#include "app/CConvertToolApp.h"
#include "app/CardCommands.h"
#include "ui/CConvertToolView.h"
#include "ui/DialogUnits.h"

#include <QEvent>
#include <QMenu>
#include <QMenuBar>

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
    checkCardAction = file->addAction(QStringLiteral("Check Card..."));
    ejectCardAction = file->addAction(QStringLiteral("Eject Card"));
    file->addSeparator();
    preferenceAction = file->addAction(QStringLiteral("Preference"));
    exitAction = file->addAction(QStringLiteral("Exit"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("Help(&H)"));
    manualAction = help->addAction(QStringLiteral("How to use K-72 Image Converter"));
    manualAction->setShortcut(QKeySequence(Qt::Key_F1));
    aboutAction = help->addAction(QStringLiteral("About K-72 Image Converter"));

    view = new CConvertToolView(app.Store(), cardRoot, this);
    setCentralWidget(view);

    connect(preferenceAction, &QAction::triggered, this, [this] { this->app.OnPreference(this); });
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
    setFixedSize(view->width(), view->height() + menuBar()->sizeHint().height());
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
