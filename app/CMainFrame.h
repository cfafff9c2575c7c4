#pragma once
// The main window: a frame around the main form, as small as the form and growing with it (maximized
// too), with the menus "File(&F)" (Open Card Folder…, the last cards, Preference, Exit), "Pad(&P)" (the
// form's commands with their shortcuts) and "Help(&H)" (the manual, the about box), and a status bar that
// shows the card, its free space and what an import will use. Its title is the program's name, which says so
// when the card is read-only. The form starts (fills its drive list, opens the card named on the command
// line) once the window is on the screen, so that whatever it has to say at start appears over the window,
// not before it.

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;

namespace k72 {

class CConvertToolApp;
class CardCommands;
class CConvertToolView;
class FillFeature;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(CConvertToolApp& app, const QString& cardRoot, QWidget* parent = nullptr);

    CConvertToolView* View() const { return view_; }
    QAction* PreferenceAction() const { return preferenceAction_; }
    QAction* ExitAction() const { return exitAction_; }
    QAction* ManualAction() const { return manualAction_; }
    QAction* AboutAction() const { return aboutAction_; }
    QAction* OpenCardAction() const { return openCardAction_; }
    QAction* ImportAction() const { return importAction_; }
    QAction* ExportAction() const { return exportAction_; }
    QAction* InformationAction() const { return informationAction_; }
    QAction* DeleteAction() const { return deleteAction_; }
    QMenu* RecentCardsMenu() const { return recentMenu_; }
    QLabel* CardStatus() const { return cardStatus_; }
    // Refills the last cards' menu from what is remembered.
    void FillRecentCards();
    // Reads the card's line of the status bar again.
    void UpdateCardStatus();
    QAction* CheckCardAction() const { return checkCardAction_; }
    QAction* OverviewAction() const { return overviewAction_; }
    // File → Card Overview…: the open card's numbers at a glance; the one chosen is shown.
    void ShowOverview();
    // The form has started (see above).
    bool Started() const { return started_; }
    QAction* EjectCardAction() const { return ejectCardAction_; }
    CardCommands* Cards() const { return cards_; }
    FillFeature* Fill() const { return fill_; }

    static constexpr const char* kTitle = "K-72 Image Converter";
    static constexpr const char* kReadOnlyTitle = "K-72 Image Converter (read-only card)";
    static constexpr int kStartAnywayMilliseconds = 2000;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitToForm();
    // The title, and the Pad menu's changing commands, follow whether the open card is read-only.
    void ShowCardAccess();
    QString Title() const;
    void StartForm();

    CConvertToolApp& app_;
    CConvertToolView* view_ = nullptr;
    QAction* preferenceAction_ = nullptr;
    QAction* exitAction_ = nullptr;
    QAction* manualAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QAction* openCardAction_ = nullptr;
    QAction* importAction_ = nullptr;
    QAction* exportAction_ = nullptr;
    QAction* informationAction_ = nullptr;
    QAction* deleteAction_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QLabel* cardStatus_ = nullptr;
    QAction* checkCardAction_ = nullptr;
    QAction* overviewAction_ = nullptr;
    QAction* ejectCardAction_ = nullptr;
    CardCommands* cards_ = nullptr;
    FillFeature* fill_ = nullptr;
    bool fitted_ = false;
    bool started_ = false;
};

} // namespace k72
