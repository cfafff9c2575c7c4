#pragma once
// The main form: the card's drive, the bank and the number, the twelve pads of that number, and the
// commands Import, Export, Information, Delete and Exit on the selected pad. The form is a switchboard:
// the card's life cycle is the CardController's, the commands are FormCommands', and every change to
// the card is a call to the store; the form draws the pads and keeps the selection.

#include "codecs/FitGeometry.h"
#include "store/PadRecords.h"
#include "store/StoreResult.h"
#include "ui/PadContentCache.h"

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QPushButton;

namespace k72 {

class CardController;
class CPadBankStore;
class CPadView;
class FormCommands;
class PadCommands;

class CConvertToolView : public QWidget {
    Q_OBJECT
public:
    // cardRoot: the folder holding DCIM named on the command line, listed first and chosen when the
    // form is first shown; empty for none.
    explicit CConvertToolView(PadCommands& commands, const QString& cardRoot = QString(),
                              QWidget* parent = nullptr);
    ~CConvertToolView() override;

    // The form's set-up when it is first shown: drive list (filled once), lists disabled, grid in
    // place, and the command line's card chosen. Runs once; showing the form runs it too.
    void InitialSetUp();

    // --- Cards coming and going (the main frame's card watcher and its Eject and Check commands) ---
    // Fills the drive list again, keeping the chosen entry; when no card is open and a volume that looks
    // like a K-72 card is listed that was not before, that card is chosen.
    void UpdateDrives();
    // Lets go of the open card as choosing no drive does, without a message.
    void ReleaseCard();
    // A command found the card taken out and has said so; the form waits for it without a second message.
    void CardTakenOut();
    // The root of the open card (the folder holding DCIM); empty when none is open.
    QString OpenCardRoot() const;
    // Draws the pads again from the store, after something else changed the card.
    void RedrawPads();
    // Shows bank 0 … 5, number 0 … 11 of the open card, as choosing them in the lists does (the card
    // overview's choice).
    void GoToNumber(int bank, int number);
    // The pad as the store has it now, whatever a command did or failed to do.
    void ShowPad(int pad);

    int BankIndex() const { return bankIndex_; }
    int NumberIndex() const { return numberIndex_; }
    int SelectedPad() const { return selectedPad_; }
    bool GridReady() const { return gridReady_; }
    bool Busy() const { return busy_; }
    // The open card cannot be written: it is looked at, played and exported, and nothing changes it.
    bool ReadOnly() const;
    PadKind LastImportKind() const;
    // The card's root folder while one is open (or was open and has gone), else empty.
    QString CardRoot() const;
    // The status bar's line: the card, its free space, and what an import will use.
    QString CardStatusText() const;
    // The same with the card's whole path, for the line's tooltip.
    QString CardStatusToolTip() const;

    QComboBox* DriveList() const { return driveList_; }
    QComboBox* BankList() const { return bankList_; }
    QComboBox* NumberList() const { return numberList_; }
    CPadView* PadView() const { return padView_; }
    // Files dropped on a pad go to handler first; it returns true when it took them (a fill).
    void SetFillDrop(std::function<bool(int, const QStringList&)> handler) { fillDrop_ = std::move(handler); }
    QPushButton* ImportButton() const { return importButton_; }
    QPushButton* ExportButton() const { return exportButton_; }
    QPushButton* InformationButton() const { return informationButton_; }
    QPushButton* DeleteButton() const { return deleteButton_; }
    QPushButton* ExitButton() const { return exitButton_; }

    static constexpr const char* kNotACard = "A drive other than the K-72's SD card is selected.";
    static constexpr const char* kExportFolderTitle = "Choose the folder for saving.";
    static constexpr const char* kCardFolderTitle = "Choose the card's folder (the one holding DCIM).";
    static constexpr const char* kDeleteQuestion = "Delete file as well?";
    static constexpr int kCardCheckMilliseconds = 1000;

    // --- The windows the commands open; tests replace them with scripted answers ---
    virtual QStringList AskImportFiles(const QStringList& filters);
    // The preview of files about to be imported, when the preferences ask for one: true for Convert,
    // with the fit chosen for each file in fits.
    virtual bool AskPreview(const QStringList& paths, std::vector<FitMode>& fits);
    virtual QString AskExportFolder();
    virtual QString AskCardFolder();
    // The delete question (Yes, No or Cancel; Cancel is the default).
    virtual QMessageBox::StandardButton AskDeleteFiles(const QString& text);
    // A Yes/No question whose default is No.
    virtual bool AskYesNo(const QString& text);
    virtual void ShowMessage(const QString& text);
    virtual void ShowMovieInformation(int pad);
    virtual void ShowStillInformation(int pad);
    // Shows a store result's text, when it has one.
    void ShowResult(const StoreResult& result);

public slots:
    // The commands, from the buttons, the menu and the keyboard. Each does nothing without a card, while
    // another command runs, or without a selected pad.
    void Import();
    void Export();
    void Information();
    void Delete();
    // File → Open Card Folder…: asks for a folder and opens the card in it.
    void OpenCardFolder();
    // Opens the card whose root (or DCIM or card folder) is given, listing it in the drive list.
    void OpenCard(const QString& folder);
    // Looks whether the open card is still there: a card that has gone is closed and said so once; a
    // card that has come back is opened again. Runs every second.
    void CheckCard();
    // Imports files onto a pad as a drop does: a movie, pictures (added to a picture pad), a sound.
    void DropFiles(int pad, const QStringList& paths);

signals:
    // Exit: the main window closes as when it is closed from its frame.
    void ExitRequested();
    // A line for the status bar about something that has just happened.
    void StatusMessage(const QString& text);
    // The card, its free space or the pads changed: the status bar reads CardStatusText again.
    void CardChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

    CPadBankStore& Store() { return store_; }

private:
    void CardOpened(bool again);
    void CardClosed(bool lost);
    // Offers to finish an import converted while this card was out; the pad it went onto, if it did.
    std::optional<PadLocation> FinishKeptImport();
    void OnBankChosen(int index);
    void OnNumberChosen(int index);
    void ShowBank();
    void ChoosePad(int pad);
    void SelectPadAt(const QPoint& point);
    // Places the pads and the buttons for the form's size (see resizeEvent).
    void Relayout();
    void PadInformation();
    void UpdateButtons();
    bool CommandAllowed() const;
    // A command that would change the card: allowed as CommandAllowed, and never on a read-only card.
    bool ChangeAllowed();
    PadKind KindOf(int pad) const;

    PadCommands& padCommands_;
    CPadBankStore& store_;
    std::unique_ptr<FormCommands> commands_;
    CardController* card_ = nullptr;
    bool setUpDone_ = false;
    PadContentCache contentCache_;

    int bankIndex_ = -1;
    int numberIndex_ = -1;
    int selectedPad_ = -1;
    bool gridReady_ = false;
    bool busy_ = false;

    QComboBox* driveList_ = nullptr;
    QComboBox* bankList_ = nullptr;
    QComboBox* numberList_ = nullptr;
    CPadView* padView_ = nullptr;
    std::function<bool(int, const QStringList&)> fillDrop_;
    QPushButton* importButton_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    QPushButton* informationButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    // Where each button stands in the form at its natural size, and how much of the extra width it
    // moves by (0 left, 1/2 centre, 1 right); all keep to the bottom.
    struct Anchored {
        QWidget* widget;
        QPoint base;
        double shareOfWidth;
    };
    std::vector<Anchored> anchored_;
};

} // namespace k72
