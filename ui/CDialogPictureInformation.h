#pragma once
// The still image list of a pad: its pictures in their stored order with thumbnails, names and sizes;
// they can be moved up and down (or dragged), added (after a preview, when the preferences ask for
// one), removed (with or without their files), given a sound file and opened in the desktop's viewer
// ("Open in Player"); the sound can be taken off again. A picture whose original name the card still
// knows shows it beside its card name. Beside the list the pictures play as a slideshow with the pad's sound.
// Every change is made by the store, which writes the pad file at once; the rows follow it one for one.

#include "codecs/FitGeometry.h"

#include "store/StoreMessages.h"

#include "ui/OriginalNames.h"

#include "ui/PadInformationDialog.h"

#include <QRect>
#include <QString>

#include <filesystem>
#include <string>
#include <vector>

namespace k72 {

class CPictureListBox;
struct StoreResult;
class CThemeButton;
class PlayerWidget;
struct StillRecord;

class CDialogPictureInformation : public PadInformationDialog {
    Q_OBJECT
public:
    explicit CDialogPictureInformation(PadCommands& commands, QWidget* parent = nullptr);

    // The pad to show, set before the dialog is shown; the rows are filled at once.
    void SetPad(int bank, int number, int pad);

    CPictureListBox* List() const { return list_; }
    CThemeButton* UpButton() const { return upButton_; }
    CThemeButton* DownButton() const { return downButton_; }
    QPushButton* ImportButton() const { return importButton_; }
    QPushButton* DeleteButton() const { return deleteButton_; }
    PlayerWidget* Player() const { return player_; }
    QSize InitialSize() const { return initialSize_; }

    static constexpr const char* kTooManyStills = messages::kStillLimit;
    static constexpr const char* kDeleteQuestion = "Delete file as well?";
    // How long the slideshow shows each picture.
    static constexpr double kSecondsPerPicture = 2.0;
    // The player's column beside the form: a 4:3 picture, its controls and a line of text.
    static constexpr int kPlayerWidth = 320;

public slots:
    void reject() override; // Escape and the close box end the dialog like Close
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    // The windows the buttons open; tests replace them.
    virtual QStringList AskImageFiles();
    // The preview of pictures about to be added, when the preferences ask for one: true for Convert,
    // with the fit chosen for each.
    virtual bool AskPreview(const QStringList& paths, std::vector<FitMode>& fits);
    virtual QString AskAudioFile();
    // Asks whether to convert a sound the device cannot play as it is; true for yes.
    virtual bool AskConvertSound(const QString& question);
    virtual int AskDeleteFiles(const QString& text); // QMessageBox::Yes, No or Cancel (the default)
    virtual void ShowMessage(const QString& text, bool owned);
    virtual void OpenWithDesktop(const std::filesystem::path& path);

    // Pictures dropped on the list are added to the pad, in the order given.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

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
    void DragMove(int from, int to);
    void OpenPlayer();
    void ShowSelectedPicture();
    void OnImport();
    void AddPictures(const QStringList& paths);
    void OnDelete();
    void OnAudio();
    void OnRemoveSound();
    void OnPreview();
    void ShowResult(const StoreResult& result);

    OriginalNames originals_; // read when the pad is set
    QSize initialSize_;
    int initialListWidth_ = 0;
    int formWidth_ = 0; // the form's own width; the player's column lies right of it
    bool initialised_ = false;
    bool placed_ = false;
    bool readOnly_ = false; // the card was opened only to look at it

    CPictureListBox* list_ = nullptr;
    CThemeButton* upButton_ = nullptr;
    CThemeButton* downButton_ = nullptr;
    QPushButton* importButton_ = nullptr;
    QPushButton* deleteButton_ = nullptr;
    PlayerWidget* player_ = nullptr;
};

} // namespace k72
