#pragma once
// The card's undo history: the last changes made to its pads, by the desktop program or by k72-card,
// kept on the card itself beside the pad file (K72UNDO.DAT), so that either can undo what the other did.
// A change holds the bytes of its pad's record before and after it, and the names of the files it put
// into the card folder and took out of it. An undo writes the record's old bytes back through the pad
// file's journaled save (so the pad file is byte for byte as it was), brings back the files the change
// took out and takes out the files it put in; a redo does the opposite.
//
// Files taken out wait in the hidden folder .K72UNDO of the card folder, as "<change>-<name>", until the
// history forgets their change: once kKept newer changes follow it, when a new change follows an undo
// (what could have been redone is dropped), when an import finds the card full, and by a card check's
// repair. Until then they take up room on the card.
//
// An undo or redo is refused, with nothing changed, when the pad's record on the card is not as the
// change left it (the device or another program changed the pad file since) or when a file it would
// bring back is missing from the trash or has been put in its place again.

#include "base/FileHandle.h"
#include "store/StoreResult.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

class CPadBankStore;

// One change of the history.
struct HistoryChange {
    std::uint32_t id = 0;             // names its files in the trash
    std::string what;                 // "delete of pad A-1-3"
    std::uint64_t offset = 0;         // of the pad's record in the pad file
    std::vector<std::uint8_t> before; // the record's bytes before the change
    std::vector<std::uint8_t> after;  // and after it
    std::vector<std::string> added;   // files the change put into the card folder
    std::vector<std::string> removed; // files it took out (kept in the trash)
};

class CardHistory {
public:
    static constexpr std::size_t kKept = 20;
    static constexpr const char* kFileName = "K72UNDO.DAT";
    static constexpr const char* kTrashFolder = ".K72UNDO";

    // The history of the store's open card as the card holds it; empty without a card that can be
    // changed, or when the file is missing or damaged (a damaged one is logged and replaced by the next
    // change).
    explicit CardHistory(CPadBankStore& store);

    // What an undo or a redo would do ("delete of pad A-1-3"); none when there is nothing to undo or redo.
    std::optional<std::string> UndoWhat() const;
    std::optional<std::string> RedoWhat() const;
    // Undoes the last change done, or redoes the last one undone. The result's change names the pad, the
    // files brought back into the card folder (added) and those put into the trash (removed). Refused
    // (NotUndoable, with the cause and what to do in the text) with nothing changed when the card does
    // not fit the change.
    StoreResult Undo();
    StoreResult Redo();
    // Forgets every change and deletes the files kept for them, or, with keepIn (a subfolder of the card
    // folder, made when missing), moves them there under their own names ("-2" … when taken).
    void Forget(const std::string& keepIn = {});
    // True when files wait in the trash.
    bool KeepsFiles() const;

    // --- Recording a change (HistoryStep) ---
    // The id the next change recorded gets; its files go into the trash under it.
    std::uint32_t NextId() const { return next_; }
    // True when there is no change done, or the last one's pad is as that change left it.
    bool LastFits() const;
    // Adds change (its id NextId()) after those done. The changes that could be redone are dropped with
    // their files, so is every change before when fits is false (the history no longer fits the card),
    // and so are the oldest beyond kKept. False when the history could not be written to the card.
    bool Add(HistoryChange change, bool fits);
    // Moves the named file of the card folder into the trash for change id; false, errno set, when not.
    bool Trash(std::uint32_t id, const std::string& name) const;
    // Deletes the files of the trash that no change of the history names: what a run killed between
    // taking a file off the card and recording its change left there.
    void SweepTrash() const;
    // The bytes of the pad file's record at offset as the card holds them now; empty when unreadable.
    std::vector<std::uint8_t> RecordBytes(std::uint64_t offset) const;

private:
    void Load();
    bool Save() const;
    StoreResult Step(bool undo);
    // Deletes the files kept for the change id.
    void Purge(std::uint32_t id) const;
    // The trash folder, opened without following a link; made first when make is true.
    FileHandle TrashFolder(bool make) const;

    CPadBankStore& store_;
    FileHandle folder_; // the card folder
    std::vector<HistoryChange> changes_;
    std::size_t done_ = 0; // changes_[0, done_) are done, the rest undone (they can be redone)
    std::uint32_t next_ = 1;
};

} // namespace k72
