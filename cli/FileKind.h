#pragma once
// What a file is for a pad, decided by its content with its extension as the first guess (the
// engine's one list of known extensions, letter case ignored): movies, pictures, and everything else.

#include "store/PadRecords.h"

#include <filesystem>
#include <string>

namespace k72::cli {

// PadKindMovie, PadKindStill, or PadKindEmpty for a file that is neither.
PadKind FileKindOf(const std::filesystem::path& file);

// "AVI, MPG, …" for a pad kind's known extensions (movie or still); for messages and help.
std::string KnownExtensionText(PadKind kind, const char* separator = ", ");

} // namespace k72::cli
