#pragma once
// The open pad assignment file and the one bank of it held in memory.
//
// The file is opened for reading and writing, never created, and locked with flock(LOCK_EX | LOCK_NB)
// for as long as it is open, so a second opener (this process or another) is refused. Only the bank
// that is loaded is ever written, and of it only the record headers and the fields of movie and still
// records: the gap bytes keep whatever the device stored there.

#include "store/PadRecords.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace k72 {

class CPadFile {
public:
    CPadFile();
    virtual ~CPadFile();
    CPadFile(const CPadFile&) = delete;
    CPadFile& operator=(const CPadFile&) = delete;

    // Opens an existing pad file of exactly 1,178,496 bytes for reading and writing with an exclusive
    // lock. False (nothing open) when it does not exist, is not a regular file, cannot be opened for
    // writing, is locked by another opener or has another length. An open file is closed first.
    bool Open(const std::filesystem::path& path);
    // Closes the file and releases the lock at once. The bank in memory stays as it is.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // Reads bank 0 … 5 into memory. Any bank loaded before is dropped first; on a read error no bank is
    // loaded afterwards.
    bool LoadBank(int bank);
    // Writes the loaded bank back (headers and field bytes only) and flushes it to the medium. Writes
    // nothing and fails when the file at the path it was opened from is no longer the open file: the
    // card was taken out or the pad file removed or replaced, and the writes would go nowhere.
    bool SaveBank();
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
    // The two halves of SaveBank: the writes, and the flush that makes them durable.
    bool WriteBank();
    bool FlushToMedium();

private:
    static bool InRange(int number, int pad);
    PadEntry* Entry(int number, int pad);

    int fd_ = -1;
    std::filesystem::path path_;
    int loadedBank_ = -1;
    int loaded_ = 0;
    std::vector<PadEntry> entries_;
};

} // namespace k72
