#pragma once
// The texts the store shows to the user, exactly as the user reads them. The main view shows the
// format message for files of an unknown type too.

#include <string>

namespace k72::messages {

inline constexpr const char* kTooManyFiles = "Up to 9999 files can be import.";
inline constexpr const char* kFileTooLarge = "The maximum usable file size has been exceeded.";
inline constexpr const char* kStillLimit = "No more than 100 still images can be assigned to one pad.";
// A change that could not be written to the card's pad file (the card taken out, write-protected or
// failing, or the pad file removed or replaced by another program); the pad stays as it was.
inline constexpr const char* kCardWriteFailed =
    "The SD card could not be written.\nPlease check that the card is inserted and not write-protected.";
// A change asked of a card that was opened only to look at it.
inline constexpr const char* kCardReadOnly =
    "This card is read-only: it is write-protected, or its folder cannot be written.\n"
    "It can be looked at and exported, but nothing on it can be changed.";
// A save that a crash, a kill or a pulled card cut off, found and undone when the card was opened.
inline constexpr const char* kInterruptedSaveUndone =
    "The last change to this card was cut off before it was complete.\n"
    "The card's pad file has been put back as it was before that change.";
inline constexpr const char* kInterruptedSaveNotUndone =
    "The last change to this card was cut off before it was complete, and the card's pad file could not "
    "be put back.\nPlease check that the card is inserted and not write-protected, and open it again.";
// The same found by a command that only reads the card, which leaves the card as it is.
inline constexpr const char* kInterruptedSaveWaiting =
    "The last change to this card was cut off before it was complete; the pads are shown as that change "
    "left them.\nOpen the card with K-72 Image Converter, or with a command that changes it, to put the "
    "card's pad file back as it was before that change.";
inline constexpr const char* kLoadFailed =
    "Failed to load the file.\nPlease select a file in a format supported by this converter.";

// The temporary disk message with the folder that is full.
inline std::string TemporaryDiskFull(const std::string& folder) {
    return "There is insufficient free space on the computer's temporary disk.\n"
           "Please increase the amount of free space in " +
           folder + ".";
}
// A conversion that ran out of memory; the file itself may be fine.
inline std::string OutOfMemory(const std::string& file) {
    return "There is not enough memory to convert \"" + file +
           "\".\nPlease close other programs and try again.";
}
// A temporary folder that is missing or cannot be written.
inline std::string TemporaryFolderUnusable(const std::string& folder, const std::string& reason) {
    return "The temporary folder " + folder + " cannot be used: " + reason +
           ".\nPlease check that it exists and can be written, or choose another one (TMPDIR).";
}

} // namespace k72::messages
