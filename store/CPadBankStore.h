#pragma once
// The open card: its folder and files, its pad file, locked while it is open, with the journal of a
// save in progress and the copy kept before the first change, the one bank held in memory, the
// selected bank and number, and the file numbering. One store lives for the whole run of the program.
//
// It reads pads for everyone and writes them through one door, WritePad, which keeps the pad file's
// copy, journals the save and puts memory back when the card does not take the change. What the user
// does to pads (import, pictures, sounds, delete, export) is in PadCommands, on top of this.

#include "store/CPadFile.h"
#include "store/CardFiles.h"
#include "store/CardOpenResult.h"
#include "store/PadRecords.h"
#include "store/StoreResult.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace k72 {

// File numbers set aside for files being converted, so that conversions running at the same time
// never get the same name. Given back when this ends, unless Commit has taken them into the card's
// numbering (the files under them are on the card).
class FileNumberReservation {
public:
    // Hands the numbers back to the store that set them aside; used: they name files on the card.
    using GiveBack = std::function<void(const std::vector<std::uint32_t>& numbers, bool used)>;

    FileNumberReservation() = default;
    FileNumberReservation(GiveBack giveBack, std::vector<std::uint32_t> numbers)
        : giveBack_(std::move(giveBack)), numbers_(std::move(numbers)) {}
    ~FileNumberReservation() { Release(); }
    FileNumberReservation(FileNumberReservation&& other) noexcept;
    FileNumberReservation& operator=(FileNumberReservation&& other) noexcept;
    FileNumberReservation(const FileNumberReservation&) = delete;
    FileNumberReservation& operator=(const FileNumberReservation&) = delete;

    const std::vector<std::uint32_t>& Numbers() const { return numbers_; }
    // The numbers now name files on the card: the card's numbering goes on after them.
    void Commit();

private:
    void Release();

    GiveBack giveBack_;
    std::vector<std::uint32_t> numbers_;
};

class CPadBankStore {
public:
    CPadBankStore();
    virtual ~CPadBankStore();
    CPadBankStore(const CPadBankStore&) = delete;
    CPadBankStore& operator=(const CPadBankStore&) = delete;

    // --- Where the store keeps things ---
    // Where conversions write before the result is copied to the card; empty: the system's (TMPDIR).
    void SetTemporaryFolder(const std::filesystem::path& folder) { temporaryFolder_ = folder; }
    std::filesystem::path TemporaryFolder() const;
    // Where copies of the cards' pad files are kept. Before the first change to a card in the life of
    // this store (one run of the program), its K72_PAD.SYS is copied into that card's folder below this
    // one, where the newest 20 copies are kept (see PadFileBackup). Empty, the default: no copies. A
    // copy that cannot be made is logged and does not stop the change.
    void SetBackupFolder(const std::filesystem::path& folder) { backupFolder_ = folder; }
    // The folder of the open card's copies; empty without a backup folder or an open card.
    std::filesystem::path CardBackupFolder() const;
    // The serial of the volume a card folder lies on (see VolumeSerialOf); tests give their own.
    using VolumeProbe = std::function<std::string(const std::filesystem::path& cardFolder)>;
    void SetVolumeProbe(VolumeProbe probe) { volumeProbe_ = std::move(probe); }

    // --- The card ---
    // Opens the card whose folder and pad file are given (see FindCardPaths) to change it. A failure
    // (NoCard, with the reason in the value and its text) leaves no card open and nothing written: the
    // pad file is missing, of the wrong length, not a file, read-only or in use. Before anything else, a
    // save that a crash cut off on this very card is put back after a copy of the pad file is kept (the
    // result's text says so); a journal written for another card that was at this path is kept aside
    // for it. Then the leftovers of runs that ended without cleaning up are removed: partial copies in
    // the card folder and in the folder of pad-file copies, and temporary folders of this program whose
    // process is gone. An unrecorded K72_ file is never removed.
    //
    // With CardAccess::ReadOnly (the desktop program on a write-protected card) or CardAccess::Snapshot
    // (a command that only reads: the pad file read once into memory, so that a card another program
    // holds, or one mounted read-only, can be read, and a writer is never kept waiting for long) the
    // card is only looked at: no save is put back and no leftover removed, and every change is refused
    // (WriteFailed, with the read-only text) with nothing written. A snapshot tells of a save that was
    // cut off (the result's text says that one waits, and how to finish it).
    StoreOutcome<CardOpenResult> Open(const std::filesystem::path& cardFolder,
                                      const std::filesystem::path& padFilePath,
                                      CardAccess access = CardAccess::ReadWrite);
    // Open with the card folder and pad file found under a card's root (the folder holding DCIM).
    StoreOutcome<CardOpenResult> OpenCardRoot(const std::filesystem::path& root,
                                              CardAccess access = CardAccess::ReadWrite);
    void Close();
    bool IsCardOpen() const { return padFile_.IsOpen(); }
    // The open card was opened only to be looked at (CardAccess::ReadOnly or Snapshot).
    bool IsReadOnly() const { return padFile_.IsOpen() && padFile_.ReadOnly(); }
    // True while the open pad file is still the one at its path and the card folder can be read: the
    // card has not been taken out.
    bool CardStillThere() const;
    const std::filesystem::path& CardFolder() const { return cardFolder_; }
    const std::filesystem::path& PadFilePath() const { return padFilePath_; }
    const CardFiles& Files() const { return files_; }

    // --- Bank and number selection, and reading pads ---
    // Bank 0 … 5: reads that bank from the pad file (unless it is the one already in memory).
    void SelectBank(int index);
    // Number 0 … 11; no file access, the whole bank is in memory.
    void SelectNumber(int index);
    bool SelectionValid() const { return selectionValid_; }
    int Bank() const { return bank_; }
    int Number() const { return number_; }
    // Pad 0 … 11 of the selected number; none without a valid selection or with its bank not in memory.
    const PadEntry* Entry(int pad) const;
    // Its kind; PadKindEmpty when there is no such pad.
    PadKind PadKindOf(int pad) const { return Entry(pad) != nullptr ? Entry(pad)->Kind() : PadKindEmpty; }
    // A pad of any bank, as the pad file holds it (a bank not in memory is read for it); none without
    // an open card or when its bank cannot be read.
    std::optional<PadEntry> EntryAt(const PadLocation& where);

    // --- Writing pads ---
    // Gives the pad the entry `after` and saves its bank: the one way pads are written. The pad file is
    // copied first when this is the card's first change in this store's life. When the card does not
    // take the change, every byte it got is put back and so is memory: WriteFailed, with the text.
    // The result's change holds the entry before and after. The selection stays as it was.
    StoreResult WritePad(const PadLocation& where, const PadEntry& after);
    // Writes span.newBytes over the pad file at span.offset when it holds span.oldBytes there now, through
    // the same journaled save (undo and redo put a record back byte for byte, gap bytes included). Memory
    // is read again. WriteFailed, nothing written, when the bytes there are others or the save failed.
    StoreResult ReplacePadFileBytes(const JournalSpan& span);
    // Drops from pad 0 … 11 of the selected number every file that is no longer in the card folder and
    // saves it when that changed anything. The sound is left alone. A read-only card is left as it is.
    StoreResult RefreshPad(int pad);
    // Keeps the copy of the pad file now, as before a change (for a change made to the card's files
    // alone, such as the card check's moving of unused files).
    void BackUpPadFileOnce();

    // --- File numbers ---
    // Finds the highest file number of the card's K72_????.AVI and K72_????.JPG files.
    void RescanFileNumbers();
    std::uint32_t LastFileNumber() const { return lastFileNumber_; }
    // The number a new file gets: the first after lastFileNumber (and any number set aside) that no
    // record of the pad file names, so that a pad whose file is missing never shows a new file under its
    // old name; from 9999 on, the lowest number that no file on the card, no record and no reservation
    // uses. None when all 9999 are taken.
    std::optional<std::uint32_t> NewFileNumber() const;
    // Sets aside `count` new numbers, in order; none (TooManyFiles) when there are not that many.
    StoreOutcome<FileNumberReservation> ReserveFileNumbers(std::size_t count);

private:
    // What a reservation does when it ends: its numbers are given back, or, used, taken into the
    // numbering (lastFileNumber then is at least the highest of them).
    void ReturnFileNumbers(const std::vector<std::uint32_t>& numbers, bool used);
    bool PadInSelection(int pad) const { return selectionValid_ && pad >= 0 && pad < padlayout::kPads; }
    // Removes what earlier runs left behind (see Open).
    void RemoveLeftovers();
    // Puts back a save cut off on this card, and keeps aside the journals of other cards (see Open);
    // the text for the user, empty when there was nothing to put back.
    std::string FinishInterruptedSaves();
    // True when a journal in the card's folder of copies was written for this card and would be put
    // back over the pad file bytes given.
    bool SaveWasCutOff(const std::vector<std::uint8_t>& padBytes) const;
    // Copies the pad file bytes into the card's folder of copies.
    void KeepCopy(const std::vector<std::uint8_t>& padBytes);
    // The common part of both opens once the pad file is open (or was refused, as opened says): the card
    // folder opened and its files reached through it. False, with the reason in opened, on failure.
    bool TakeCard(CardOpenResult& opened, const std::filesystem::path& cardFolder,
                  const std::filesystem::path& padFilePath);
    // The number files and records give, read once for NewFileNumber; the names the pad file records.
    std::optional<std::uint32_t> NextFreeNumber(const std::set<std::uint32_t>& recorded) const;
    bool RecordedNumbers(std::set<std::uint32_t>& recorded) const;

    bool selectionValid_ = false;
    int bank_ = -1;
    int number_ = -1;
    CPadFile padFile_;
    CardFiles files_{padFile_};
    std::filesystem::path cardFolder_;
    std::filesystem::path padFilePath_;
    std::uint32_t lastFileNumber_ = 0;
    std::set<std::uint32_t> reserved_;

    std::string volume_; // the serial of the open card's volume; empty when it has none
    VolumeProbe volumeProbe_;

    std::filesystem::path temporaryFolder_;
    std::filesystem::path backupFolder_;
    std::set<std::string> backedUpCards_; // pad files copied in this store's life
};

} // namespace k72
