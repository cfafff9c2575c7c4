#pragma once
// Small pieces the commands share: checking input files, describing a pad in one line, and telling
// the user the result code behind a failed conversion.

#include "cli/PadAddress.h"
#include "codecs/ResultCodes.h"
#include "store/PadRecords.h"

#include <filesystem>
#include <map>
#include <string>

namespace k72::cli {

class TerminalMessages;

// A PAD the command line has already checked.
PadAddress PadOf(const std::string& text);

// True for an existing regular file; otherwise prints why not.
bool CheckInputFile(TerminalMessages& messages, const std::filesystem::path& file);

// One line about a pad: "A-1-1  movie  K72_0001.AVI  300 frames  audio SOUND.WAV",
// "A-1-2  still  3 pictures: K72_0002.JPG K72_0003.JPG K72_0004.JPG", "A-1-3  empty". A file whose
// original name is known (originals, keyed by upper-case card name) is followed by it:
// "K72_0001.AVI (Beach Day.mp4)".
std::string DescribePad(const PadAddress& address, const PadEntry* entry,
                        const std::map<std::string, std::string>& originals = {});

// Prints the diagnostic line of a result code ("JPEG_ERROR :80000200").
void PrintResultCode(TerminalMessages& messages, ResultCode code);

// The path a conversion writes to: destination itself, or, when it is a folder, the source's name with
// the given extension in that folder.
std::filesystem::path OutputPath(const std::filesystem::path& source,
                                 const std::filesystem::path& destination, const std::string& extension);

// The card's root as the user reads it: absolute, without a trailing separator.
std::string CardText(const std::string& card);

// Prints text and a line feed on standard output.
void PrintLine(const std::string& text);

} // namespace k72::cli
