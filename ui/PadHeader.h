#pragma once
// What the two information dialogs share: their header line (bank, pad and sound file of the pad) and
// the sound file's display name.

#include <QString>

#include <string>

class QAbstractButton;
class QLabel;
class QToolButton;
class QWidget;

namespace k72 {

class CPadBankStore;

// "BANK:%s-%2d": the bank letter A … F (a space for any other bank) and number + 1.
QString BankLabelText(int bank, int number);
// "PAD:%d" with pad + 1.
QString PadLabelText(int pad);
// The name when it has at most wholeLength characters, else its first prefixLength followed by "...".
QString ShortenedName(const QString& name, int wholeLength, int prefixLength);

// The long name of the sound file a pad records by its 8.3 name: the name the file has in the card
// folder. The recorded name itself when the file cannot be found.
QString AudioDisplayName(const CPadBankStore& store, const std::string& shortName);

// The four header labels keep their sizes (grown to their texts where needed) and line up at y = 5
// from x = 10, with gaps of 10, 10 and 2 pixels. removeSound, when given, follows the sound's name and
// is shown only while there is one.
void PlaceHeaderLabels(QLabel* bank, QLabel* pad, QLabel* audio, QLabel* audioName,
                       QAbstractButton* removeSound = nullptr);

// The small button after the sound's name that takes the sound off the pad.
QToolButton* MakeRemoveSoundButton(QWidget* parent);
// The question it asks first: Yes takes the sound off and deletes its file (unless another pad names
// it), No takes it off and keeps the file, Cancel changes nothing.
QString RemoveSoundQuestion(const QString& soundName, int pad);

} // namespace k72
