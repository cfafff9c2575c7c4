#pragma once
// The known extensions of a pad kind as text for k72-card's help and messages (what a file becomes on a
// pad is the store's ImportKindOf).

#include "store/PadRecords.h"

#include <string>

namespace k72::cli {

// "AVI, MPG, …" for a pad kind's known extensions (movie or still); for messages and help.
std::string KnownExtensionText(PadKind kind, const char* separator = ", ");

} // namespace k72::cli
