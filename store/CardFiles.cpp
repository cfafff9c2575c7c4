#include "store/CardFiles.h"

#include "base/DiagnosticLog.h"
#include "store/CardLayout.h"
#include "store/CardOpenResult.h"
#include "store/Leftovers.h"
#include "store/PrintableText.h"
#include "store/WriteFaults.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {
namespace {

bool SameNameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto fold = [](char c) {
                   return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
               };
               return fold(x) == fold(y);
           });
}

// The first record of names that names the file, other than the pad exceptPad and the sound of the pad
// exceptSound.
std::optional<std::string> UserOf(const std::vector<CPadFile::NamedFile>& names, std::string_view name,
                                  const PadLocation& exceptPad, const PadLocation& exceptSound) {
    for (const auto& named : names) {
        const PadLocation where{named.bank, named.number, named.pad};
        if (where == exceptPad || (named.sound && where == exceptSound)) {
            continue;
        }
        if (SameNameNoCase(named.name, name)) {
            return where.Text();
        }
    }
    return std::nullopt;
}

} // namespace

void CardFiles::Open(const std::filesystem::path& folder, FileHandle folderFd) {
    folder_ = folder;
    folderFd_ = std::move(folderFd);
}

void CardFiles::Close() {
    folderFd_.reset();
    folder_.clear();
}

std::optional<std::filesystem::path> CardFiles::PathOf(std::string_view name) const {
    if (folder_.empty() || !IsPlainCardName(name)) {
        return std::nullopt;
    }
    if (auto found = FindEntryNoCase(folder_, name)) {
        return found;
    }
    return folder_ / std::string(name);
}

std::optional<CardFiles::State> CardFiles::Inspect(std::string_view name) const {
    const auto path = PathOf(name);
    if (!path || !folderFd_) {
        return std::nullopt;
    }
    State state;
    state.path = *path;
    struct stat info {};
    if (::fstatat(folderFd_.get(), path->filename().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        state.exists = true;
        state.regular = S_ISREG(info.st_mode);
        state.typeWords = FileTypeWords(info.st_mode);
    }
    return state;
}

void CardFiles::Listing::Add(const std::string& name) {
    names_.insert(name);
    std::string upper = name;
    for (char& c : upper) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    }
    auto [at, added] = byUpperCase_.emplace(upper, name);
    if (!added && name < at->second) {
        at->second = name;
    }
}

std::optional<std::string> CardFiles::Listing::Find(std::string_view name) const {
    if (names_.count(std::string(name)) != 0) {
        return std::string(name);
    }
    std::string upper(name);
    for (char& c : upper) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    }
    const auto found = byUpperCase_.find(upper);
    return found != byUpperCase_.end() ? std::optional<std::string>(found->second) : std::nullopt;
}

CardFiles::Listing CardFiles::List() const {
    Listing listing;
    for (const std::string& name : leftovers::NamesIn(folderFd_.get())) {
        listing.Add(name);
    }
    return listing;
}

std::optional<CardFiles::State> CardFiles::Inspect(std::string_view name, const Listing& listing) const {
    if (folder_.empty() || !folderFd_ || !IsPlainCardName(name)) {
        return std::nullopt;
    }
    State state;
    const auto found = listing.Find(name);
    state.path = folder_ / (found ? *found : std::string(name));
    struct stat info {};
    if (found && ::fstatat(folderFd_.get(), found->c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        state.exists = true;
        state.regular = S_ISREG(info.st_mode);
        state.typeWords = FileTypeWords(info.st_mode);
    }
    return state;
}

bool CardFiles::IsFile(std::string_view name) const {
    const auto state = Inspect(name);
    return state && state->exists && state->regular;
}

std::optional<std::string> CardFiles::UsedBy(std::string_view name, const PadLocation& exceptPad,
                                             const PadLocation& exceptSound) const {
    std::vector<CPadFile::NamedFile> names;
    if (!padFile_.ReadAllNames(names)) {
        return std::string("?"); // unknown: treated as in use
    }
    return UserOf(names, name, exceptPad, exceptSound);
}

StoreResult CardFiles::DeleteUnused(const std::vector<std::string>& names, const PadLocation& except,
                                    const Remover& remover) const {
    StoreResult result;
    // The pad file as it is on the card now, read once for all the names.
    std::vector<CPadFile::NamedFile> named;
    const bool readable = padFile_.ReadAllNames(named);
    std::set<std::string> done;
    const auto notDeleted = [&result](const std::string& name, const std::string& line) {
        AddLine(result.text, line);
        result.notDeleted.push_back(name);
    };
    const Listing listing = List();
    // One text for the whole delete (a list of 100 pictures must not mean 100 message boxes).
    for (const std::string& name : names) {
        const auto state = name.empty() ? std::nullopt : Inspect(name, listing);
        if (!state || !state->exists || !done.insert(state->path.filename().string()).second) {
            continue;
        }
        const std::string shown = PrintableName(name);
        if (SameNameNoCase(state->path.filename().string(), cardlayout::kPadFileName)) {
            LogLine("delete", "a pad names the pad file; it is kept");
            continue;
        }
        if (!readable) {
            // Whether another pad uses it cannot be known: it stays.
            notDeleted(name, shown + " was not deleted: the card's pad file cannot be read to see whether "
                                     "another pad uses it.");
            continue;
        }
        if (const auto user = UserOf(named, name, except, {})) {
            AddLine(result.text, shown + " was kept on the card: pad " + *user + " uses it too.");
            result.kept.push_back(name);
            continue;
        }
        if (!state->regular) {
            notDeleted(name,
                       shown + " was not deleted: on the card it is " + state->typeWords + ", not a file.");
            continue;
        }
        const std::string onCard = state->path.filename().string();
        if (!writefault::Pass("delete") ||
            !(remover ? remover(onCard) : ::unlinkat(folderFd_.get(), onCard.c_str(), 0) == 0)) {
            if (errno != ENOENT) {
                notDeleted(name, shown + " could not be deleted: " + std::strerror(errno) + ".");
            }
            continue;
        }
        result.change.removed.push_back(onCard);
    }
    if (!result.notDeleted.empty()) {
        result.failure = StoreFailure::Incomplete;
    }
    return result;
}

void CardFiles::Remove(const std::string& name) const {
    const auto path = PathOf(name);
    if (!path) {
        return;
    }
    if (::unlink(path->c_str()) != 0 && errno != ENOENT) {
        LogLine("delete", "cannot delete " + path->string());
    }
}

StoreResult CardFiles::MoveIntoSubfolder(const std::vector<std::string>& names,
                                         std::string_view subfolder) const {
    StoreResult result;
    const auto notMoved = [&result](const std::string& name, const std::string& line) {
        AddLine(result.text, line);
        result.notDeleted.push_back(name);
        result.failure = StoreFailure::Incomplete;
    };
    if (!folderFd_) {
        return StoreFailed(StoreFailure::NoCard);
    }
    const std::string folderName =
        FindEntryNoCase(folder_, subfolder).value_or(folder_ / std::string(subfolder)).filename().string();
    if (::mkdirat(folderFd_.get(), folderName.c_str(), 0755) != 0 && errno != EEXIST) {
        const std::string reason = std::strerror(errno);
        for (const std::string& name : names) {
            notMoved(name, PrintableName(name) + " could not be moved: " + folderName +
                               " could not be made: " + reason + ".");
        }
        return result;
    }
    const FileHandle target(
        ::openat(folderFd_.get(), folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!target) {
        struct stat info {};
        const std::string what =
            ::fstatat(folderFd_.get(), folderName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0
                ? FileTypeWords(info.st_mode) + ", not a folder"
                : std::string(std::strerror(errno));
        for (const std::string& name : names) {
            notMoved(name, PrintableName(name) + " was not moved: " + PrintableName(folderName) +
                               " in the card folder is " + what + ".");
        }
        return result;
    }
    for (const std::string& name : names) {
        const auto state = Inspect(name);
        if (!state || !state->exists) {
            continue;
        }
        const std::string from = state->path.filename().string();
        const std::filesystem::path plain(from);
        const std::string stem = plain.stem().string();
        const std::string extension = plain.extension().string();
        std::string error;
        bool moved = false;
        for (int n = 1; n < 1000 && !moved && error.empty(); ++n) {
            const std::string to = n == 1 ? from : stem + "-" + std::to_string(n) + extension;
            if (!writefault::Pass("move")) {
                error = std::strerror(errno);
                break;
            }
            if (::renameat2(folderFd_.get(), from.c_str(), target.get(), to.c_str(), RENAME_NOREPLACE) == 0) {
                moved = true;
            } else if (errno == EEXIST) {
                continue;
            } else if (errno == EINVAL || errno == ENOSYS) {
                // A file system without the no-replace rename: look first, then rename.
                struct stat info {};
                if (::fstatat(target.get(), to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
                    continue;
                }
                if (::renameat(folderFd_.get(), from.c_str(), target.get(), to.c_str()) == 0) {
                    moved = true;
                } else {
                    error = std::strerror(errno);
                }
            } else {
                error = std::strerror(errno);
            }
        }
        if (moved) {
            result.change.removed.push_back(from);
        } else {
            notMoved(name, PrintableName(from) + " could not be moved into " + PrintableName(folderName) +
                               ": " + (error.empty() ? "no free name there" : error) + ".");
        }
    }
    return result;
}

void CardFiles::RemoveStaleCopies() const {
    leftovers::RemoveStaleCopies(folderFd_.get());
}

bool CardFiles::Exists(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace k72
