#pragma once
// How every operation of the store answers: whether it worked, why not, the text the user is to read,
// and what it changed on the card. A face shows the text (when there is one) and decides what to do
// next from the reason; it never looks at the card again to find out what happened.
//
// A failed operation has left the card as it was, except where `failure` says that the change was made
// and only some of the files could not be dealt with (Incomplete). A successful one may still have a
// text: files it kept because another pad names them, a save it put back when the card was opened.

#include "codecs/ResultCodes.h"
#include "store/PadRecords.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace k72 {

enum class StoreFailure {
    None,
    NoCard,           // no card is open, or the card could not be opened
    NoPad,            // no bank and number selected, the bank not in memory, or no such pad
    WrongKind,        // the pad does not hold what the operation works on
    NoSuchPicture,    // a position outside the pad's list of pictures
    SourceUnusable,   // a file to import or attach is missing, or on the card it is not a regular file
    TooManyFiles,     // every file number of the card is taken
    StillLimit,       // the pad cannot take that many pictures
    NoSpace,          // the card has too little free space for what would be written
    TemporaryFolder,  // the temporary folder is full or cannot be used
    ConversionFailed, // the converter failed; `code` says how
    TooLarge,         // the converted file cannot be opened or is too large for the card
    Cancelled,        // the user stopped it
    Declined,         // the user answered no to a question of the operation
    CopyFailed,       // a copy to or from the card failed or was declined (its own window said why)
    WriteFailed,      // the card's pad file could not be written; the pad is as it was
    NameTaken,        // the sound's name is that of a file another pad uses
    BadName,          // a name the card folder cannot take
    SoundNotAccepted, // the sound is not in the device's WAV form, and converting it was not asked for
    Incomplete,       // the change was made, but some files could not be deleted or exported
    NotUndoable,      // nothing to undo or redo, or the card is no longer as the change left it
};

// A pad of the card: bank 0 … 5, number 0 … 11, pad 0 … 11.
struct PadLocation {
    int bank = -1;
    int number = -1;
    int pad = -1;

    bool Valid() const;
    // "A-1-6".
    std::string Text() const;
    bool operator==(const PadLocation&) const = default;
};

// What an operation changed: the pad's entry before and after, and the files it put onto the card or
// took off it. Enough to put everything back.
struct PadChange {
    PadLocation where;              // the pad whose entry changed; invalid when none did
    std::optional<PadEntry> before; // both set exactly when the pad file was written
    std::optional<PadEntry> after;
    std::vector<std::string> added;   // files put into the card folder
    std::vector<std::string> removed; // files deleted from the card folder

    bool PadChanged() const { return before.has_value() && after.has_value(); }
};

struct [[nodiscard]] StoreResult {
    StoreFailure failure = StoreFailure::None;
    // What the user is to read; empty when there is nothing to tell (a success, a cancel, a declined
    // question, or a copy whose own window has said why it failed).
    std::string text;
    // The result code behind a failed conversion or a sound the device cannot play; 0 otherwise.
    ResultCode code = 0;
    // The position, in the operation's list of files, of the file a failure is about.
    std::optional<std::size_t> source;
    PadChange change;
    std::vector<std::string> kept;             // files asked to be deleted but kept: another pad names them
    std::vector<std::string> notDeleted;       // files that could not be deleted
    std::vector<std::filesystem::path> copied; // an export: the files written into the folder

    bool Ok() const { return failure == StoreFailure::None; }
    explicit operator bool() const { return Ok(); }
    bool Cancelled() const { return failure == StoreFailure::Cancelled; }
};

// A result that also carries a value: what an open found, a prepared import, a picture count.
template <class T> struct [[nodiscard]] StoreOutcome : StoreResult {
    StoreOutcome() = default;
    StoreOutcome(StoreResult result) : StoreResult(std::move(result)) {} // NOLINT: a result converts
    StoreOutcome(StoreResult result, T v) : StoreResult(std::move(result)), value(std::move(v)) {}
    T value{};
};

// A failure with its reason, text and code.
[[nodiscard]] StoreResult StoreFailed(StoreFailure failure, std::string text = {}, ResultCode code = 0);

// Adds a line to a text of several lines.
void AddLine(std::string& text, const std::string& line);

// Takes over what `later` changed on top of `result` (the files added and removed, kept and not
// deleted, its text as further lines); the pad entry after it is the later one. The failure stays the
// first one's unless that succeeded.
void Merge(StoreResult& result, StoreResult later);

} // namespace k72
