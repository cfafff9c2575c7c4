#pragma once
// The journal of a pad-file save in progress: for every record span the save changes, its offset in
// the pad file with the old bytes and the new ones. It is written and flushed before the first byte of
// the pad file changes and removed once the pad file is flushed, so a journal found when a card is
// opened means a save was cut off; the old bytes put the pad file back as it was before that save.
//
// Layout: "K72JRNL1", a 32-bit count, then per span a 64-bit offset, a 32-bit length, the old and the
// new bytes; last a 32-bit FNV-1a of everything before it. All little-endian. It is written under a
// temporary name and renamed, so it is whole or absent.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace k72 {

struct JournalSpan {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> oldBytes;
    std::vector<std::uint8_t> newBytes;
};

class SaveJournal {
public:
    enum class State { Absent, Valid, Damaged };

    // Writes the journal at path (its folder made when missing), flushed to its medium. False, with the
    // reason in the diagnostic log, when it could not be written.
    static bool Write(const std::filesystem::path& path, const std::vector<JournalSpan>& spans);
    // Reads a journal; spans is filled only for a valid one.
    static State Read(const std::filesystem::path& path, std::vector<JournalSpan>& spans);
    // Removes the journal and flushes its folder, so that a finished save is not undone later.
    static bool Remove(const std::filesystem::path& path);
};

} // namespace k72
