#pragma once
// The main form: the card's drive, the bank and the number, the twelve pads of that number, and the
// commands Import, Export, Information, Delete and Exit on the selected pad. The form owns no card
// data; everything about the card is in the store, which the commands call.

#include "store/PadRecords.h"

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>

class QComboBox;
class QLabel;
class QPushButton;

namespace k72 {

class CPadBankStore;
class CPadView;

class CConvertToolView : public QWidget {
    Q_OBJECT
public:
    // cardRoot: the folder holding DCIM named on the command line, listed first and chosen when the
    // form is first shown; empty for none.
    explicit CConvertToolView(CPadBankStore& store, const QString& cardRoot = QString(),
                              QWidget* parent = nullptr);

    // The form's set-up when it is first shown: drive list (filled once), lists disabled, grid in
    // place, and the command line's card chosen. Runs once; showing the form runs it too.
    void InitialSetUp();

    // The two fixed rules of the Import command: the file filters, movies or pictures first after
    // the kind last imported, and the kind of a file by its extension (0 when not supported).
    static QStringList ImportFilters(PadKind lastImportKind);
    // The kind of a file by its content, its extension the first guess.
    static PadKind ImportKindOf(const QString& path);
    // The file dialog filters of a sound: every sound we know, then all files.
    static QString SoundFilters();

    // --- Cards coming and going (the main frame's card watcher and its Eject and Check commands) ---
    // Fills the drive list again, keeping the chosen entry; when no card is open and a volume that looks
    // like a K-72 card is listed that was not before, that card is chosen.
    void UpdateDrives();
    // Lets go of the open card as choosing no drive does, without a message.
    void ReleaseCard();
    // The root of the open card (the folder holding DCIM); empty when none is open.
    QString OpenCardRoot() const;
    // Draws the pads again from the store, after something else changed the card.
    void RedrawPads();

    int BankIndex() const { return bankIndex; }
    int NumberIndex() const { return numberIndex; }
    int SelectedPad() const { return selectedPad; }
    bool GridReady() const { return gridReady != 0; }
    bool Busy() const { return busy != 0; }
    PadKind LastImportKind() const { return lastImportKind; }

    QComboBox* DriveList() const { return driveList; }
    QComboBox* BankList() const { return bankList; }
    QComboBox* NumberList() const { return numberList; }
    CPadView* PadView() const { return padView; }
    QPushButton* ImportButton() const { return importButton; }
    QPushButton* ExportButton() const { return exportButton; }
    QPushButton* InformationButton() const { return informationButton; }
    QPushButton* DeleteButton() const { return deleteButton; }
    QPushButton* ExitButton() const { return exitButton; }

    static constexpr const char* kNotACard = "A drive other than the K-72's SD card is selected.";
    static constexpr const char* kExportFolderTitle = "Choose the folder for saving.";
    static constexpr const char* kDeleteQuestion = "Delete file as well?";

signals:
    // Exit: the main window closes as when it is closed from its frame.
    void ExitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

    // The windows the commands open. Tests replace them with scripted answers.
    virtual QString AskImportFile(const QStringList& filters);
    virtual QString AskExportFolder();
    virtual QMessageBox::StandardButton AskDeleteFiles();
    virtual void ShowMessage(const QString& text);
    virtual void ShowMovieInformation(int pad);
    virtual void ShowStillInformation(int pad);

    CPadBankStore& Store() { return store; }

private:
    void FillDriveList();
    void OnDriveChosen(int index);
    void OnBankChosen(int index);
    void OnNumberChosen(int index);
    void ShowBank();
    void SelectPadAt(const QPoint& point);
    void PadInformation();
    void ShowPadInformation(int pad);
    void OnImport();
    void OnExport();
    void OnInformation();
    void OnDelete();
    bool CommandAllowed() const;

    CPadBankStore& store;
    QString cardRoot;
    bool setUpDone = false;

    int bankIndex = -1;
    int numberIndex = -1;
    int selectedPad = -1;
    int gridReady = 0;
    int busy = 0;
    PadKind lastImportKind = PadKindEmpty;

    QComboBox* driveList = nullptr;
    QComboBox* bankList = nullptr;
    QComboBox* numberList = nullptr;
    CPadView* padView = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* informationButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* exitButton = nullptr;
};

} // namespace k72
