#pragma once
// Writes a picture as an 8-bit RGB PNG file, for k72-card's preview (the terminal tool links no
// toolkit that could write one).

#include "engine/RgbImage.h"

#include <filesystem>
#include <string>

namespace k72 {

// False, with the reason in words, when the picture is empty or the file cannot be written; a file
// that failed halfway is removed.
bool WritePng(const std::filesystem::path& path, const RgbImage& image, std::string* reason = nullptr);

} // namespace k72
