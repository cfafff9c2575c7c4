#pragma once
// Copies of a card's pad file kept on the computer, so that a wrong delete or import can be undone by
// hand. Each card path has a folder of its own below the backup folder, named after the card's root
// folder with a short hash of its full path ("K72CARD-1a2b3c4d"), holding the newest copies named
// "K72_PAD-<date>-<time>.SYS" (local time, to the millisecond) and a note of the card's path. Where the
// card's volume has a serial, the copy's name ends in it ("K72_PAD-<date>-<time>-1A2B-3C4D.SYS"), so
// that the copies of two cards mounted at the same path are told apart and each keeps its own newest.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace k72 {

class PadFileBackup {
public:
    static constexpr std::size_t kCopiesKept = 20;

    // The card's root: the folder that holds DCIM, found from the card folder <root>/DCIM/000KAVLO.
    static std::filesystem::path CardRoot(const std::filesystem::path& cardFolder);
    // The name of a card's folder of copies: the root's own name (letters, digits, '.', '-' and '_'
    // kept, anything else '_') and eight hex digits of a hash of its whole path.
    static std::string CardFolderName(const std::filesystem::path& cardRoot);
    // "K72_PAD-20240517-093012-045.SYS" for that moment, in local time.
    static std::string CopyName(std::chrono::system_clock::time_point when);

    // Writes bytes as a new copy into folder (made when missing) under the name for `when` (with "_02",
    // "_03" … added should that name be taken, and the volume's serial when there is one), then drops
    // the oldest copies of that volume beyond kCopiesKept. The copy is complete or absent: it is
    // written under a temporary name and renamed. False, with the reason in the diagnostic log, when
    // the copy could not be made.
    static bool Write(const std::filesystem::path& folder, const std::filesystem::path& cardRoot,
                      const std::vector<std::uint8_t>& bytes, std::chrono::system_clock::time_point when,
                      const std::string& volume = {});
    // The volume's serial a copy's name carries; empty for none.
    static std::string VolumeOf(const std::filesystem::path& copy);

    // The copies in folder, oldest first.
    static std::vector<std::filesystem::path> Copies(const std::filesystem::path& folder);
};

} // namespace k72
