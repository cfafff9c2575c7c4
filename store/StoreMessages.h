#pragma once
// The texts the store shows to the user, exactly as the user reads them. The main view shows the
// format message for files of an unknown type too.

namespace k72::messages {

inline constexpr const char* kTooManyFiles = "Up to 9999 files can be import.";
inline constexpr const char* kFileTooLarge = "The maximum usable file size has been exceeded.";
inline constexpr const char* kTemporaryDiskFull =
    "There is insufficient free space on the computer's temporary disk.\n"
    "Please increase the amount of free space on drive C.";
// A change that could not be written to the card's pad file (the card taken out, write-protected or
// failing, or the pad file removed or replaced by another program); the pad stays as it was.
inline constexpr const char* kCardWriteFailed =
    "The SD card could not be written.\nPlease check that the card is inserted and not write-protected.";
inline constexpr const char* kLoadFailed =
    "Failed to load the file.\nPlease select a file in a format supported by this converter.";

} // namespace k72::messages
