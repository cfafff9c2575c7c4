#pragma once
// What the two information dialogs share: their header line (bank, pad and sound file of the pad) and
// the sound file's display name.

#include <QString>

#include <string>

class QLabel;

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
// from x = 10, with gaps of 10, 10 and 2 pixels.
void PlaceHeaderLabels(QLabel* bank, QLabel* pad, QLabel* audio, QLabel* audioName);

} // namespace k72
