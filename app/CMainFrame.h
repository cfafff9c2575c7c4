#pragma once
// The main window: a fixed frame around the main form with the menu "File(&F)" (Preference, Exit) and
// "Help(&H)" (the manual, the about box). Its title is always the program's name.

#include <QMainWindow>

class QAction;

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
    QAction* checkCardAction = nullptr;
    QAction* ejectCardAction = nullptr;
    CardCommands* cards = nullptr;
    bool fitted = false;
};

} // namespace k72
