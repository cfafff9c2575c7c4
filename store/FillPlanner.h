#pragma once
// Where each source of a fill goes: the pads of one number from a first pad on, in order, skipping
// pads that hold something unless asked to replace them. Sources are taken in name order: each movie
// and each picture given as a file takes a pad of its own, a sub-folder of pictures becomes one still
// image pad (100 pictures a pad; more go on to the next pad), and a sound whose base name equals a
// movie's, a picture's or a picture folder's goes with it ("b.wav" with "b.mkv"). Nothing is
// converted here: the result says what goes where, what did not fit and what was left aside and why,
// and is the same for the same files whatever order the file system lists them in.

#include "engine/MediaKind.h"
#include "store/PadRecords.h"

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace k72 {

enum class FillItemKind { Movie, Picture, PictureFolder };

struct FillPlacement {
    int pad = 0; // 0 … 11 within the number
    FillItemKind kind = FillItemKind::Movie;
    std::filesystem::path source;                // the movie, the picture or the picture folder
    std::vector<std::filesystem::path> pictures; // what the pad shows, in name order; none for a movie
    std::optional<std::filesystem::path> sound;  // the sound of the same base name
    std::size_t part = 1;                        // a folder of more than 100 pictures: pad `part` of `parts`
    std::size_t parts = 1;
    bool replaces = false; // the pad held something, and the fill was asked to replace it
};

// A source, or the rest of a picture folder, for which the number had no free pad left.
struct FillLeftOver {
    FillItemKind kind = FillItemKind::Movie;
    std::filesystem::path source;
    std::vector<std::filesystem::path> pictures;
    std::optional<std::filesystem::path> sound;
};

enum class FillIgnoreReason {
    Missing,             // the path does not exist
    Unreadable,          // a folder that cannot be listed
    Hidden,              // a name starting with a dot inside a folder (".DS_Store", "._clip.mov")
    Duplicate,           // the same file or folder reached a second time
    NotAFile,            // a device, pipe or socket
    NotMedia,            // neither a movie, a picture nor a sound
    EmptyFolder,         // a sub-folder with nothing in it
    NoPictures,          // a sub-folder with no picture in it
    NestedFolder,        // a folder inside a picture folder
    NotAPicture,         // a movie or a sound inside a picture folder
    SoundWithoutPartner, // no movie, picture or picture folder has the sound's base name
    SecondSound,         // another sound of the same base name came first in name order
};

struct FillIgnored {
    std::filesystem::path path;
    FillIgnoreReason reason = FillIgnoreReason::NotMedia;
};

struct FillRequest {
    std::vector<std::filesystem::path> paths;         // files and folders, as the user gave them
    int startPad = 0;                                 // 0 … 11
    std::array<bool, padlayout::kPads> occupied = {}; // the pads of the number that hold something
    bool replace = false;
};

struct FillPlan {
    std::vector<FillPlacement> placements; // in pad order
    std::vector<FillLeftOver> leftOver;    // in name order
    std::vector<FillIgnored> ignored;
    bool AllPlaced() const { return leftOver.empty(); }
};

// What a file is; the content decides (KindOfFile), tests may decide by name.
using KindOfPath = std::function<MediaKind(const std::filesystem::path&)>;

[[nodiscard]] FillPlan PlanFill(const FillRequest& request, const KindOfPath& kindOf = KindOfFile);

// The pictures of one folder in name order, and what else it holds. A plan's picture folder is read
// the same way.
struct FolderPictures {
    bool readable = true;
    bool empty = true; // nothing in it but hidden files
    std::vector<std::filesystem::path> pictures;
    std::vector<FillIgnored> ignored;
};
[[nodiscard]] FolderPictures PicturesOfFolder(const std::filesystem::path& folder,
                                              const KindOfPath& kindOf = KindOfFile);

// "movie", "picture", "pictures".
std::string_view FillKindWord(FillItemKind kind);
// Why something was left aside, as the user reads it ("not a movie, picture or sound").
std::string_view FillIgnoreText(FillIgnoreReason reason);

} // namespace k72
