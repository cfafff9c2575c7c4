#pragma once
// The information of a movie pad: the converted movie's name, size, running time and frame rate, the
// pad's bank, number and sound file; a sound file can be attached and the movie played in the
// desktop's player. The running time is read from the movie file on the card.

#include <QDialog>
#include <QString>

#include <filesystem>

class QLabel;
class QPushButton;

namespace k72 {

class CMovieInfoBox;
class CPadBankStore;

class CDialogMovieInformation : public QDialog {
    Q_OBJECT
public:
    explicit CDialogMovieInformation(CPadBankStore& store, QWidget* parent = nullptr);

    // The pad to show, set before the dialog is shown; the texts are filled at once.
    void SetPad(int bank, int number, int pad);

    CMovieInfoBox* InfoBox() const { return infoBox; }
    QLabel* BankLabel() const { return bankLabel; }
    QLabel* PadLabel() const { return padLabel; }
    QLabel* AudioNameLabel() const { return audioNameLabel; }
    QPushButton* AudioButton() const { return audioButton; }
    QPushButton* PreviewButton() const { return previewButton; }
    QPushButton* CloseButton() const { return closeButton; }
    QString AudioDisplayText() const { return audioDisplayName; }
    const std::filesystem::path& MoviePath() const { return moviePath; }

public slots:
    void reject() override; // Escape and the close box end the dialog like Close

protected:
    void showEvent(QShowEvent* event) override;

    // The windows the buttons open; tests replace them.
    virtual QString AskAudioFile();
    // Asks whether to convert a sound the device cannot play as it is; true for yes.
    virtual bool AskConvertSound(const QString& question);
    virtual void OpenWithDesktop(const std::filesystem::path& path);
    virtual void ShowMessage(const QString& text);

private:
    void Start();
    void OnAudio();
    void OnPreview();
    void ShowHeader();

    CPadBankStore& store;
    int bank = -1;
    int number = -1;
    int pad = -1;
    std::filesystem::path moviePath;
    QString audioDisplayName;
    bool placed = false;

    QLabel* bankLabel = nullptr;
    QLabel* padLabel = nullptr;
    QLabel* audioLabel = nullptr;
    QLabel* audioNameLabel = nullptr;
    CMovieInfoBox* infoBox = nullptr;
    QPushButton* audioButton = nullptr;
    QPushButton* previewButton = nullptr;
    QPushButton* closeButton = nullptr;
};

} // namespace k72
