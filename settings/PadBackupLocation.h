#pragma once
// Where the copies of the cards' pad files are kept: "pad-backups" in the data folder of the
// K-72 Image Converter (QStandardPaths::AppDataLocation of "KAVELO" / "K-72 Image Converter", so
// ~/.local/share/KAVELO/K-72 Image Converter/pad-backups on Linux). The desktop program and k72-card
// share it, whatever names the running program has given itself.

#include <filesystem>

namespace k72 {

// Empty when the system names no data folder.
std::filesystem::path PadBackupFolder();

} // namespace k72
