#pragma once
// The card the main form works on: the drive list (filled when the form is first shown and kept current
// as volumes are mounted and unmounted, with the card folders opened by hand), the card chosen in it
// opened and the one before let go, the watch that notices a card taken out and opens it again once it
// is back, and letting go of the card for Eject. The form hears of all this through the signals and
// draws the pads itself.

#include "store/CardOpenResult.h"
#include "store/StoreResult.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QComboBox;

namespace k72 {

class CPadBankStore;

class CardController : public QObject {
    Q_OBJECT
public:
    // driveList belongs to the form; cardRoot is the folder named on the command line (listed first and
    // chosen at the start), or empty.
    CardController(CPadBankStore& store, QComboBox* driveList, const QString& cardRoot, QObject* parent);

    // Fills the drive list, chooses the command line's card and starts the watch.
    void Start();
    // While busy answers true a command is running: no card is opened or let go under it.
    void SetBusyCheck(std::function<bool()> busy) { busy_ = std::move(busy); }

    // Opens the card of entry `index` of the drive list (the empty first entry: none).
    void ChooseDrive(int index);
    // Opens the card whose root (or DCIM or card folder) is given, listing it in the drive list.
    void OpenCard(const QString& folder);
    // Fills the drive list again, keeping the chosen entry; when no card is open and a volume that looks
    // like a K-72 card is listed that was not before, that card is chosen.
    void UpdateDrives();
    // Looks whether the open card is still there (see the class comment).
    void CheckCard();
    // Lets go of the open card as choosing no drive does, without a message.
    void ReleaseCard();
    // A command found the card gone and has said so: the form waits for it to come back, as when the
    // watch finds it gone, without a second message.
    void CardTakenOut();

    // The root of the open card as the drive list names it; empty when none is open.
    QString OpenCardRoot() const;
    // The card's root folder while one is open (or was open and has gone), else empty.
    const QString& CardRoot() const { return openRoot_; }
    bool CardGone() const { return cardGone_; }
    // The open card cannot be written (write-protected, or its folder is read-only): it was opened to
    // be looked at, played and exported.
    bool ReadOnly() const;

    static constexpr int kCardCheckMilliseconds = 1000;

signals:
    // A card was opened; again: the card that had gone is back, where it was left.
    void CardOpened(bool again);
    // The card was let go; lost: it went away, and the form waits for it to come back.
    void CardClosed(bool lost);
    // Something the user is to read in a message box.
    void Message(const QString& text);
    void StatusMessage(const QString& text);
    // The card, its free space or the pads changed.
    void CardChanged();

private:
    void FillDriveList();
    void Forget();
    void Lost(bool tell);
    void Tell(const StoreResult& result);
    bool Busy() const { return busy_ && busy_(); }
    StoreOutcome<CardOpenResult> OpenRoot(const QString& root);

    CPadBankStore& store_;
    QComboBox* driveList_;
    QString cardRoot_;
    QString openRoot_;          // root of the open card
    QStringList openedFolders_; // card folders opened by hand
    bool cardGone_ = false;     // the open card went away and has been said so
    QTimer watch_;
    std::function<bool()> busy_;
};

} // namespace k72
