#pragma once
// What the two information windows of a pad share: the pad commands they change the card through, the
// pad they show, and their header (bank, number and pad, the sound's name with the button that attaches
// one and the cross that takes it off) with the "Open in Player" and Close buttons. Each window builds
// these widgets itself, in its own layout.

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QToolButton;

namespace k72 {

class CPadBankStore;
class PadCommands;

class PadInformationDialog : public QDialog {
    Q_OBJECT
public:
    QLabel* BankLabel() const { return bankLabel_; }
    QLabel* PadLabel() const { return padLabel_; }
    QLabel* AudioNameLabel() const { return audioNameLabel_; }
    QPushButton* AudioButton() const { return audioButton_; }
    // The cross after the sound's name, shown while the pad has a sound.
    QToolButton* RemoveSoundButton() const { return removeSoundButton_; }
    // "Open in Player": the desktop's own player or viewer.
    QPushButton* PreviewButton() const { return previewButton_; }
    QPushButton* CloseButton() const { return closeButton_; }
    QString AudioDisplayText() const { return audioDisplayName_; }

protected:
    PadInformationDialog(PadCommands& commands, QWidget* parent, Qt::WindowFlags flags);

    PadCommands& commands_;
    CPadBankStore& store_;
    int bank_ = -1;
    int number_ = -1;
    int pad_ = -1;
    QString audioDisplayName_;

    QLabel* bankLabel_ = nullptr;
    QLabel* padLabel_ = nullptr;
    QLabel* audioLabel_ = nullptr;
    QLabel* audioNameLabel_ = nullptr;
    QPushButton* audioButton_ = nullptr;
    QToolButton* removeSoundButton_ = nullptr;
    QPushButton* previewButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

} // namespace k72
