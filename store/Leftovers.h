#pragma once
// What a run that was killed or crashed leaves behind, and how the next run clears it up: hidden
// partial copies ".k72-copy-<pid>-XXXXXX" in the card folder, partial copies "*.part" in the folder of
// pad-file copies, and private temporary folders "k72-import-<pid>-XXXXXX" / "k72-card-<pid>-XXXXXX".
// Only what is older than this run and whose process is gone is removed; a complete but unrecorded
// K72_ media file is never touched (the user may want it).

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace k72::leftovers {

inline constexpr std::string_view kCopyPrefix = ".k72-copy-";
inline constexpr std::string_view kImportPrefix = "k72-import-";
inline constexpr std::string_view kCardToolPrefix = "k72-card-";

// The names in the folder opened as folderFd (its own handle stays as it is).
std::vector<std::string> NamesIn(int folderFd);

// The mkstemp/mkdtemp pattern of a file or folder of this process: prefix + pid + "-XXXXXX".
std::string OwnedPattern(std::string_view prefix);

// Removes the partial copies in the card folder (opened as folderFd) that no living process owns and
// that were made before this run began. The number removed.
int RemoveStaleCopies(int folderFd);
// Removes the "*.part" files in folder (the card's folder of pad-file copies, only ever written by the
// program holding the card's lock, as the caller does).
int RemovePartialFiles(const std::filesystem::path& folder);
// Removes the temporary folders of this program in parent whose process is gone. The number removed.
int RemoveStaleTemporaryFolders(const std::filesystem::path& parent);

} // namespace k72::leftovers
