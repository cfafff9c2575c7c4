#pragma once
// The journal of a pad-file save in progress: for every record span the save changes, its offset in
// the pad file with the old bytes and the new ones, and the identity of the card it was written for.
// It is written and flushed before the first byte of the pad file changes and removed once the pad file
// is flushed, so a journal found when a card is opened means a save was cut off; the old bytes put the
// pad file back as it was before that save.
//
// The journal lies on the computer, found by the card's path, and another card may be at that path
// when it is found (two cards of one volume label under /media, or one drive letter). The identity
// tells them apart: the serial of the card's volume where the system gives one, and a hash of every
// byte of the pad file outside the spans, which the save does not change. A journal is put back only
// onto the card whose identity it holds.
//
// Layout: "K72JRNL2", the identity (a 32-bit length and the volume's serial, then the 64-bit hash), a
// 32-bit count, then per span a 64-bit offset, a 32-bit length, the old and the new bytes; last a
// 32-bit FNV-1a of everything before it. All little-endian. A journal of an earlier version
// ("K72JRNL1") has no identity. It is written under a temporary name and renamed, so it is whole or
// absent.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

struct JournalSpan {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> oldBytes;
    std::vector<std::uint8_t> newBytes;
};

// Which card a journal was written for.
struct CardIdentity {
    std::string volume;        // the volume's serial; empty where the system gives none
    std::uint64_t outside = 0; // the hash of the pad file's bytes outside the journal's spans

    bool operator==(const CardIdentity&) const = default;
};

struct Journal {
    std::optional<CardIdentity> identity; // none in a journal of an earlier version
    std::vector<JournalSpan> spans;
};

class SaveJournal {
public:
    enum class State { Absent, Valid, Damaged };

    // What a journal means for the pad file as it is now (its bytes, and the volume it lies on).
    enum class Fit {
        PutBack,   // written for this card, and its spans hold the save's old or new bytes
        OtherCard, // written for another card: another volume, or other bytes outside its spans
        Changed,   // its spans hold other bytes: the device changed them since
        Whole,     // an earlier version's journal (no identity) whose spans are each wholly old or
                   // wholly new: no record is torn, and which card it belongs to cannot be known
    };

    // The journal of the card whose copies are kept in folder.
    static std::filesystem::path PathIn(const std::filesystem::path& folder);
    // The journals in folder: the journal of a save in progress, then those set aside because another
    // card was at the card's path when they were found (see SetAside), oldest first.
    static std::vector<std::filesystem::path> Found(const std::filesystem::path& folder);

    // Writes the journal at path (its folder made when missing), flushed to its medium. False, with the
    // reason in the diagnostic log, when it could not be written.
    static bool Write(const std::filesystem::path& path, const Journal& journal);
    // Reads a journal; journal is filled only for a valid one.
    static State Read(const std::filesystem::path& path, Journal& journal);
    // Removes the journal and flushes its folder, so that a finished save is not undone later.
    static bool Remove(const std::filesystem::path& path);
    // Keeps a journal of another card under a name of its own beside the card's journal, so that the
    // saves of the card now at the path do not replace it and its own card finds it when it comes back.
    // At most kSetAsideKept are kept, the oldest dropped. False when it could not be moved.
    static bool SetAside(const std::filesystem::path& path, const CardIdentity& identity);
    static constexpr std::size_t kSetAsideKept = 10;

    // The hash of padFile's bytes outside the spans (FNV-1a, 64 bits).
    static std::uint64_t HashOutside(const std::vector<std::uint8_t>& padFile,
                                     const std::vector<JournalSpan>& spans);
    static Fit FitOf(const Journal& journal, const std::vector<std::uint8_t>& padFile,
                     const std::string& volume);
};

} // namespace k72
