#pragma once
// Why a card could not be opened, as the store found it when it tried, and the one text that tells the
// user the cause and what to do about it. Both the desktop program and k72-card show that text.

#include <cstdint>
#include <filesystem>
#include <string>

namespace k72 {

enum class CardOpenFailure {
    None,
    NotFound,        // the card's root folder is not there
    NotAFolder,      // the card's root is a file, not a folder
    NotACard,        // no DCIM/000KAVLO/K72_PAD.SYS under the root
    NotARegularFile, // the pad file is a link, folder, device, FIFO or socket
    WrongLength,     // the pad file is not 1,178,496 bytes long
    Locked,          // another program (k72-card, or a window of the desktop program) has the card open
    Busy,            // commands that only read the card kept it for longer than a writer waits
    ReadOnly,        // the pad file cannot be opened for writing
    IoError,         // anything else the system reported
};

// How a card is opened: for changing it (the pad file locked, a save journalled), or only to look at it.
// ReadOnly (the desktop program on a write-protected medium or in a folder that cannot be written)
// keeps the pad file open, unlocked, so that the card's watch still sees it go; Snapshot (a command
// that only reads) reads the pad file once into memory, so that a card another program holds can be
// read and a writer is never kept waiting for long. Either way nothing on the card is written, and what
// earlier runs left on it is left alone.
enum class CardAccess { ReadWrite, ReadOnly, Snapshot };

struct CardOpenResult {
    CardOpenFailure failure = CardOpenFailure::None;
    std::filesystem::path root;    // the card's root, when it is known
    std::filesystem::path padFile; // the pad file that was tried
    std::uint64_t sizeFound = 0;   // WrongLength: the length the pad file has
    int errorNumber = 0;           // the errno behind NotFound, ReadOnly and IoError
    std::string fileType;          // NotARegularFile: "a symbolic link", "a folder", ...

    bool Ok() const { return failure == CardOpenFailure::None; }
    explicit operator bool() const { return Ok(); }
};

// The words for a file type of stat's st_mode: "a file", "a folder", "a symbolic link", "a FIFO", ...
std::string FileTypeWords(unsigned int mode);

// The message for a card that could not be opened: the cause on the first line, the remedy after it.
// Empty for a card that was opened.
std::string CardOpenMessage(const CardOpenResult& result);

} // namespace k72
