#pragma once
// The still image list of a pad: its pictures in their stored order with thumbnails, names and sizes;
// they can be moved up and down, added, removed (with or without their files), given a sound file and
// opened in the desktop's viewer. Every change is made by the store, which writes the pad file at
// once; the rows follow it one for one.

#include <QDialog>
#include <QRect>
#include <QString>

#include <filesystem>
#include <string>

class QLabel;
class QPushButton;

namespace k72 {

class CPadBankStore;
class CPictureListBox;
class CThemeButton;
struct StillRecord;

class CDialogPictureInformation : public QDialog {
    Q_OBJECT
public:
    explicit CDialogPictureInformation(CPadBankStore& store, QWidget* parent = nullptr);

    // The pad to show, set before the dialog is shown; the rows are filled at once.
    void SetPad(int bank, int number, int pad);

    CPictureListBox* List() const { return list; }
    CThemeButton* UpButton() const { return upButton; }
    CThemeButton* DownButton() const { return downButton; }
    QPushButton* ImportButton() const { return importButton; }
    QPushButton* DeleteButton() const { return deleteButton; }
    QPushButton* AudioButton() const { return audioButton; }
    QPushButton* PreviewButton() const { return previewButton; }
    QPushButton* CloseButton() const { return closeButton; }
    QLabel* BankLabel() const { return bankLabel; }
    QLabel* PadLabel() const { return padLabel; }
    QLabel* AudioNameLabel() const { return audioNameLabel; }
    QString AudioDisplayText() const { return audioDisplayName; }
    QSize InitialSize() const { return initialSize; }

    static constexpr const char* kTooManyStills = "No more than 100 still images can be assigned to one pad.";
    static constexpr const char* kDeleteQuestion = "Delete file as well?";

public slots:
    void reject() override; // Escape and the close box end the dialog like Close

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Pictures dropped on the list are added to the pad, in the order given.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    // The windows the buttons open; tests replace them.
    virtual QStringList AskImageFiles();
    virtual QString AskAudioFile();
    // Asks whether to convert a sound the device cannot play as it is; true for yes.
    virtual bool AskConvertSound(const QString& question);
    virtual int AskDeleteFiles(const QString& text); // QMessageBox::Yes, No or Cancel (the default)
    virtual void ShowMessage(const QString& text, bool owned);
    virtual void OpenWithDesktop(const std::filesystem::path& path);

private:
    void Start();
    const StillRecord* Stills() const;
    int StillCount() const;
    std::string StillName(int index) const;
    void AddRow(const std::string& name, int index = -1);
    void UpdateArrows();
    void Relayout();
    void OnUp();
    void OnDown();
    void Move(int from, int to);
    void OnImport();
    void AddPictures(const QStringList& paths);
    void OnDelete();
    void OnAudio();
    void OnPreview();

    CPadBankStore& store;
    int bank = -1;
    int number = -1;
    int pad = -1;
    QString audioDisplayName;
    QSize initialSize;
    int initialListWidth = 0;
    bool initialised = false;
    bool placed = false;

    QLabel* bankLabel = nullptr;
    QLabel* padLabel = nullptr;
    QLabel* audioLabel = nullptr;
    QLabel* audioNameLabel = nullptr;
    CPictureListBox* list = nullptr;
    CThemeButton* upButton = nullptr;
    CThemeButton* downButton = nullptr;
    QPushButton* importButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* audioButton = nullptr;
    QPushButton* previewButton = nullptr;
    QPushButton* closeButton = nullptr;
};

} // namespace k72
