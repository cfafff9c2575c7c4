#pragma once
// What a file is by its extension, as the desktop program's Import sorts files: AVI, MPG, MPEG, MOV,
// WMV, MP4, FLV and DV are movies; JPG, JPEG, BMP and PNG pictures; letter case does not matter.

#include "store/PadRecords.h"

#include <filesystem>

namespace k72::cli {

// PadKindMovie, PadKindStill, or PadKindEmpty for a file of any other type.
PadKind FileKindOf(const std::filesystem::path& file);

} // namespace k72::cli
