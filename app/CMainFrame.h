#pragma once
// The main window: a fixed frame around the main form with the menus "File(&F)" (Open Card Folder…,
// the last cards, Preference, Exit), "Pad(&P)" (the form's commands with their shortcuts) and
// "Help(&H)" (the manual, the about box), and a status bar that shows the card, its free space and what
// an import will use. Its title is always the program's name.

#include <QMainWindow>

class QAction;
class QLabel;
class QMenu;

namespace k72 {

class CConvertToolApp;
class CardCommands;
class CConvertToolView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(CConvertToolApp& app, const QString& cardRoot, QWidget* parent = nullptr);

    CConvertToolView* View() const { return view; }
    QAction* PreferenceAction() const { return preferenceAction; }
    QAction* ExitAction() const { return exitAction; }
    QAction* ManualAction() const { return manualAction; }
    QAction* AboutAction() const { return aboutAction; }
    QAction* OpenCardAction() const { return openCardAction; }
    QAction* ImportAction() const { return importAction; }
    QAction* ExportAction() const { return exportAction; }
    QAction* InformationAction() const { return informationAction; }
    QAction* DeleteAction() const { return deleteAction; }
    QMenu* RecentCardsMenu() const { return recentMenu; }
    QLabel* CardStatus() const { return cardStatus; }
    // Refills the last cards' menu from what is remembered.
    void FillRecentCards();
    // Reads the card's line of the status bar again.
    void UpdateCardStatus();
    QAction* CheckCardAction() const { return checkCardAction; }
    QAction* EjectCardAction() const { return ejectCardAction; }
    CardCommands* Cards() const { return cards; }

    static constexpr const char* kTitle = "K-72 Image Converter";

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void FitToForm();

    CConvertToolApp& app;
    CConvertToolView* view = nullptr;
    QAction* preferenceAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* manualAction = nullptr;
    QAction* aboutAction = nullptr;
    QAction* openCardAction = nullptr;
    QAction* importAction = nullptr;
    QAction* exportAction = nullptr;
    QAction* informationAction = nullptr;
    QAction* deleteAction = nullptr;
    QMenu* recentMenu = nullptr;
    QLabel* cardStatus = nullptr;
    QAction* checkCardAction = nullptr;
    QAction* ejectCardAction = nullptr;
    CardCommands* cards = nullptr;
    bool fitted = false;
};

} // namespace k72
