#pragma once
// The information of a movie pad: the converted movie's name, size, running time and frame rate, the
// pad's bank, number and sound file, and the name the movie had before it was converted where the card
// still knows it; a sound file can be attached or taken off. Below, the movie plays as the device
// plays it, with its sound or the pad's WAV instead; "Open in Player" opens it in the desktop's player.
// The running time is read from the movie file on the card.

#include "ui/PadInformationDialog.h"

#include <QString>

#include <filesystem>

namespace k72 {

class CMovieInfoBox;
class PlayerWidget;

class CDialogMovieInformation : public PadInformationDialog {
    Q_OBJECT
public:
    explicit CDialogMovieInformation(PadCommands& commands, QWidget* parent = nullptr);

    // The pad to show, set before the dialog is shown; the texts are filled at once.
    void SetPad(int bank, int number, int pad);

    CMovieInfoBox* InfoBox() const { return infoBox_; }
    const std::filesystem::path& MoviePath() const { return moviePath_; }
    PlayerWidget* Player() const { return player_; }

public slots:
    void reject() override; // Escape and the close box end the dialog like Close
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

    // The windows the buttons open; tests replace them.
    virtual QString AskAudioFile();
    // Asks whether to convert a sound the device cannot play as it is; true for yes.
    virtual bool AskConvertSound(const QString& question);
    // Asks whether to take the sound off, and its file too: QMessageBox::Yes, No or Cancel (the default).
    virtual int AskRemoveSound(const QString& question);
    virtual void OpenWithDesktop(const std::filesystem::path& path);
    virtual void ShowMessage(const QString& text);

    // The player's height below the form: a 4:3 picture across the form's width, its controls and a
    // line for what it has to say.
    static constexpr int kPlayerHeight = 256;

private:
    void Start();
    void OnAudio();
    void OnRemoveSound();
    void OnPreview();
    void ShowHeader();
    void OpenPlayer();

    std::filesystem::path moviePath_;
    bool placed_ = false;

    CMovieInfoBox* infoBox_ = nullptr;
    PlayerWidget* player_ = nullptr;
};

} // namespace k72
