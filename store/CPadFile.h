#pragma once
// The open pad assignment file and the one bank of it held in memory.
//
// The file is opened for reading and writing, never created, and locked with flock(LOCK_EX) for as long
// as it is open, so a second writer (this process or another, k72-card or the desktop program) is
// refused. A command that only reads holds a shared lock (LOCK_SH) for as long as it takes to read the
// file once; a writer that meets only such readers waits for them a few seconds. Only the bank that is
// loaded is ever written, and of it only the record headers and the fields of movie and still records:
// the gap bytes keep whatever the device stored there.

#include "base/FileHandle.h"
#include "store/CardOpenResult.h"
#include "store/PadRecords.h"
#include "store/SaveJournal.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

class CPadFile {
public:
    CPadFile();
    virtual ~CPadFile();
    CPadFile(const CPadFile&) = delete;
    CPadFile& operator=(const CPadFile&) = delete;

    // How long a writer waits for commands that only read to let go of the file.
    static constexpr int kReaderWaitMilliseconds = 5000;

    // Opens an existing pad file of exactly 1,178,496 bytes for reading and writing with an exclusive
    // lock. Fails (nothing open) with the reason when it does not exist, is not a regular file (a link
    // is not followed), cannot be opened for writing, is held by another writer (Locked), was held by
    // readers for longer than kReaderWaitMilliseconds (Busy) or has another length. An open file is
    // closed first.
    // With CardAccess::ReadOnly the file is opened for reading only and not locked, and SaveBank fails.
    // With CardAccess::Snapshot it is read once, consistently, into memory (under a shared lock that is
    // let go at once, or, while a writer holds the file, by reading it until two reads agree), so that a
    // card another program holds or one mounted read-only can be read; it is never written either.
    CardOpenResult Open(const std::filesystem::path& path, CardAccess access = CardAccess::ReadWrite);
    // Closes the file and releases the lock at once. The bank in memory stays as it is.
    void Close();
    bool IsOpen() const { return static_cast<bool>(fd_); }
    bool ReadOnly() const { return readOnly_; }

    // Reads bank 0 … 5 into memory. Any bank loaded before is dropped first; on a read error no bank is
    // loaded afterwards.
    bool LoadBank(int bank);
    // Writes the loaded bank back (headers and field bytes only) and flushes it to the medium. Each
    // record that changed is written with one write of the span from its first to its last changed
    // byte, records in their order, after a journal of the save (see SetJournalPath) is on its medium:
    // a crash leaves every record old or new, and the next open puts an interrupted save back. A save
    // that fails puts back every byte it changed. Writes nothing and fails when the file at the path it
    // was opened from is no longer the open file: the card was taken out or the pad file removed or
    // replaced, and the writes would go nowhere.
    bool SaveBank();
    // Where the journal of a save in progress is kept (empty, the default: saves keep none), and the
    // serial of the card's volume that each journal records with the bytes the save leaves alone.
    void SetJournalPath(const std::filesystem::path& path, const std::string& volume = {}) {
        journalPath_ = path;
        volume_ = volume;
    }
    const std::filesystem::path& JournalPath() const { return journalPath_; }
    // Writes the old bytes of a save that was cut off back (see SaveJournal) and flushes them; the bank
    // in memory is read again. False when that failed.
    bool PutBack(const std::vector<JournalSpan>& spans);

    // A media or sound name that a record of the whole file (all six banks) names.
    struct NamedFile {
        std::string name;
        int bank = 0;
        int number = 0;
        int pad = 0;
        bool sound = false;
    };
    // Every name the records of the file name, read through the open handle.
    bool ReadAllNames(std::vector<NamedFile>& names) const;
    bool Loaded() const { return loaded_ != 0; }
    int LoadedBank() const { return loadedBank_; }

    // True while the path the file was opened from still names the open file.
    bool StillAtItsPath() const;
    // The whole file as it is on the medium now, read through the open (locked) handle.
    bool ReadWholeFile(std::vector<std::uint8_t>& bytes) const;

    // The entry of (number, pad) of the loaded bank; none while no bank is loaded or out of range.
    const PadEntry* EntryAt(int number, int pad) const;
    PadEntry* EntryAt(int number, int pad);

    std::optional<MovieRecord> GetMovieRecord(int number, int pad) const;
    std::optional<StillRecord> GetStillRecord(int number, int pad) const;
    // Make the pad a movie or still image pad with a copy of the record; false while no bank is loaded.
    // Neither writes the file: the caller follows with SaveBank.
    bool SetMovieRecord(int number, int pad, const MovieRecord& record);
    bool SetStillRecord(int number, int pad, const StillRecord& record);
    // used 0, kindCode 0, no records.
    void ClearPad(int number, int pad);
    // Every pad cleared and no bank loaded.
    void ClearAll();

protected:
    // One write of bytes at offset (passing a fault point), and the flush that makes writes durable.
    bool WriteSpan(std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
    bool FlushToMedium();

private:
    static bool InRange(int number, int pad);
    PadEntry* Entry(int number, int pad);

    FileHandle fd_;
    std::filesystem::path path_;
    std::filesystem::path journalPath_;
    std::string volume_;
    bool readOnly_ = false;
    int loadedBank_ = -1;
    int loaded_ = 0;
    std::vector<PadEntry> entries_;
};

} // namespace k72
