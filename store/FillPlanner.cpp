#include "store/FillPlanner.h"

#include "base/DeviceFormat.h"
#include "store/NaturalOrder.h"
#include "store/SourceIdentity.h"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

namespace k72 {
namespace {

namespace fs = std::filesystem;

// One source before it is given pads: a movie, a picture, or a folder's pictures.
struct FillItem {
    FillItemKind kind = FillItemKind::Movie;
    fs::path source;
    std::vector<fs::path> pictures;
    std::string nameKey; // folder and base name, for matching sounds
    std::optional<fs::path> sound;
};

std::string FoldedAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Sounds go with sources in the same folder whose base name is theirs, letter case aside ("B.WAV" with
// "b.mkv"); a folder's base name is its whole name. Names count as the user sees them, links or not.
std::string NameKey(const fs::path& path, bool folder) {
    const fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const fs::path name = folder ? path.filename() : path.stem();
    return SourcePathKey(parent) + '/' + FoldedAscii(name.string());
}

bool IsHidden(const fs::path& path) {
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

// The entries of a folder in name order; false when it cannot be read.
bool ListFolder(const fs::path& folder, std::vector<fs::path>& entries) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        return false;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            return false;
        }
        // Joined to the path as given, so that what is shown keeps the user's spelling.
        entries.push_back(folder / it->path().filename());
    }
    std::sort(entries.begin(), entries.end(), NaturalPathLess);
    return true;
}

class Planner {
public:
    Planner(const FillRequest& request, const KindOfPath& kindOf) : request_(request), kindOf_(kindOf) {}

    FillPlan Run() {
        for (const fs::path& given : request_.paths) {
            TakeGiven(given);
        }
        std::sort(files_.begin(), files_.end(), NaturalPathLess);
        std::sort(folders_.begin(), folders_.end(), NaturalPathLess);
        for (const fs::path& file : files_) {
            TakeFile(file);
        }
        for (const fs::path& folder : folders_) {
            TakeFolder(folder);
        }
        std::stable_sort(items_.begin(), items_.end(), [](const FillItem& a, const FillItem& b) {
            return NaturalPathLess(a.source, b.source);
        });
        MatchSounds();
        Place();
        return std::move(plan_);
    }

private:
    void Ignore(const fs::path& path, FillIgnoreReason reason) { plan_.ignored.push_back({path, reason}); }

    bool FirstTime(const fs::path& path) {
        // One file reached twice (as "a/x.mov" and "./a/x.mov", or through a link) is taken once.
        if (seen_.insert(SourcePathKey(path)).second) {
            return true;
        }
        Ignore(path, FillIgnoreReason::Duplicate);
        return false;
    }

    // A path as the user gave it: a file is a source; a folder's files are sources and its sub-folders
    // picture folders.
    void TakeGiven(const fs::path& given) {
        std::error_code ec;
        const fs::file_status status = fs::status(given, ec);
        if (!fs::exists(status)) {
            Ignore(given, FillIgnoreReason::Missing);
            return;
        }
        if (!fs::is_directory(status)) {
            if (FirstTime(given)) {
                files_.push_back(given);
            }
            return;
        }
        if (!FirstTime(given)) {
            return;
        }
        std::vector<fs::path> entries;
        if (!ListFolder(given, entries)) {
            Ignore(given, FillIgnoreReason::Unreadable);
            return;
        }
        for (const fs::path& entry : entries) {
            if (IsHidden(entry)) {
                Ignore(entry, FillIgnoreReason::Hidden);
            } else if (FirstTime(entry)) {
                (fs::is_directory(entry, ec) ? folders_ : files_).push_back(entry);
            }
        }
    }

    void TakeFile(const fs::path& file) {
        std::error_code ec;
        if (!fs::is_regular_file(file, ec)) {
            Ignore(file, FillIgnoreReason::NotAFile);
            return;
        }
        switch (kindOf_(file)) {
        case MediaKind::Movie:
            items_.push_back({FillItemKind::Movie, file, {}, NameKey(file, false), std::nullopt});
            break;
        case MediaKind::Picture:
            items_.push_back({FillItemKind::Picture, file, {file}, NameKey(file, false), std::nullopt});
            break;
        case MediaKind::Sound:
            sounds_.push_back(file);
            break;
        case MediaKind::Unknown:
            Ignore(file, FillIgnoreReason::NotMedia);
            break;
        }
    }

    void TakeFolder(const fs::path& folder) {
        FolderPictures found = PicturesOfFolder(folder, kindOf_);
        if (!found.readable) {
            Ignore(folder, FillIgnoreReason::Unreadable);
        } else if (found.pictures.empty()) {
            // What else the folder holds is not worth listing one by one: it is not a picture folder.
            Ignore(folder, found.empty ? FillIgnoreReason::EmptyFolder : FillIgnoreReason::NoPictures);
        } else {
            plan_.ignored.insert(plan_.ignored.end(), found.ignored.begin(), found.ignored.end());
            items_.push_back({FillItemKind::PictureFolder, folder, std::move(found.pictures),
                              NameKey(folder, true), std::nullopt});
        }
    }

    void MatchSounds() {
        std::sort(sounds_.begin(), sounds_.end(), NaturalPathLess);
        std::set<std::string> taken;
        for (const fs::path& sound : sounds_) {
            const std::string key = NameKey(sound, false);
            if (taken.count(key) != 0) {
                Ignore(sound, FillIgnoreReason::SecondSound);
                continue;
            }
            bool matched = false;
            for (FillItem& item : items_) {
                if (item.nameKey == key) {
                    item.sound = sound;
                    matched = true;
                }
            }
            if (matched) {
                taken.insert(key);
            } else {
                Ignore(sound, FillIgnoreReason::SoundWithoutPartner);
            }
        }
    }

    void Place() {
        std::vector<int> freePads;
        for (int pad = std::max(request_.startPad, 0); pad < padlayout::kPads; ++pad) {
            if (!request_.occupied[static_cast<std::size_t>(pad)] || request_.replace) {
                freePads.push_back(pad);
            }
        }
        std::size_t next = 0;
        for (FillItem& item : items_) {
            const std::size_t perPad = device::kMaxStillsPerPad;
            const std::size_t parts =
                item.kind == FillItemKind::PictureFolder ? (item.pictures.size() + perPad - 1) / perPad : 1;
            for (std::size_t part = 0; part < parts; ++part) {
                const auto first = item.pictures.begin() +
                                   static_cast<std::ptrdiff_t>(std::min(part * perPad, item.pictures.size()));
                if (next == freePads.size()) {
                    plan_.leftOver.push_back({item.kind, item.source,
                                              std::vector<fs::path>(first, item.pictures.end()), item.sound});
                    break;
                }
                const auto last =
                    item.pictures.begin() +
                    static_cast<std::ptrdiff_t>(std::min((part + 1) * perPad, item.pictures.size()));
                const int pad = freePads[next++];
                plan_.placements.push_back({pad, item.kind, item.source, std::vector<fs::path>(first, last),
                                            item.sound, part + 1, parts,
                                            request_.occupied[static_cast<std::size_t>(pad)]});
            }
        }
    }

    const FillRequest& request_;
    const KindOfPath& kindOf_;
    FillPlan plan_;
    std::set<std::string> seen_;
    std::vector<fs::path> files_;
    std::vector<fs::path> folders_;
    std::vector<fs::path> sounds_;
    std::vector<FillItem> items_;
};

} // namespace

FillPlan PlanFill(const FillRequest& request, const KindOfPath& kindOf) {
    return Planner(request, kindOf).Run();
}

FolderPictures PicturesOfFolder(const fs::path& folder, const KindOfPath& kindOf) {
    FolderPictures found;
    std::vector<fs::path> entries;
    if (!ListFolder(folder, entries)) {
        found.readable = false;
        return found;
    }
    std::error_code ec;
    for (const fs::path& entry : entries) {
        if (IsHidden(entry)) {
            found.ignored.push_back({entry, FillIgnoreReason::Hidden});
            continue;
        }
        found.empty = false;
        if (fs::is_directory(entry, ec)) {
            found.ignored.push_back({entry, FillIgnoreReason::NestedFolder});
        } else if (!fs::is_regular_file(entry, ec)) {
            found.ignored.push_back({entry, FillIgnoreReason::NotAFile});
        } else {
            switch (kindOf(entry)) {
            case MediaKind::Picture:
                found.pictures.push_back(entry);
                break;
            case MediaKind::Movie:
            case MediaKind::Sound:
                found.ignored.push_back({entry, FillIgnoreReason::NotAPicture});
                break;
            case MediaKind::Unknown:
                found.ignored.push_back({entry, FillIgnoreReason::NotMedia});
                break;
            }
        }
    }
    return found;
}

std::string_view FillKindWord(FillItemKind kind) {
    switch (kind) {
    case FillItemKind::Movie:
        return "movie";
    case FillItemKind::Picture:
        return "picture";
    case FillItemKind::PictureFolder:
        return "pictures";
    }
    return "movie";
}

std::string_view FillIgnoreText(FillIgnoreReason reason) {
    switch (reason) {
    case FillIgnoreReason::Missing:
        return "does not exist";
    case FillIgnoreReason::Unreadable:
        return "cannot be read";
    case FillIgnoreReason::Hidden:
        return "hidden file";
    case FillIgnoreReason::Duplicate:
        return "given twice";
    case FillIgnoreReason::NotAFile:
        return "not a file";
    case FillIgnoreReason::NotMedia:
        return "not a movie, picture or sound";
    case FillIgnoreReason::EmptyFolder:
        return "empty folder";
    case FillIgnoreReason::NoPictures:
        return "no pictures in this folder";
    case FillIgnoreReason::NestedFolder:
        return "a folder inside a picture folder is not looked into";
    case FillIgnoreReason::NotAPicture:
        return "a picture folder takes only pictures";
    case FillIgnoreReason::SoundWithoutPartner:
        return "no movie, picture or picture folder has this sound's name";
    case FillIgnoreReason::SecondSound:
        return "another sound of the same name goes with it";
    }
    return "not a movie, picture or sound";
}

} // namespace k72
