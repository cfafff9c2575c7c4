#pragma once
// What a file becomes on a pad, decided by its content with its extension as the first guess (the
// engine's one list of known extensions, letter case ignored). The desktop program and k72-card both
// ask here, so that a file one of them imports the other imports the same way.

#include "store/PadRecords.h"

#include <filesystem>

namespace k72 {

// PadKindMovie, PadKindStill, or PadKindEmpty for a file that is neither (a sound, or unknown).
PadKind ImportKindOf(const std::filesystem::path& file);

} // namespace k72
