#include "store/CardHistory.h"

#include "base/DiagnosticLog.h"
#include "store/CPadBankStore.h"
#include "store/CardLayout.h"
#include "store/Leftovers.h"
#include "store/PrintableText.h"
#include "store/StoreMessages.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "undo history";
constexpr const char* kPartName = ".K72UNDO.part";
constexpr int kVersion = 1;
// A history of kKept changes of whole records in hex is about 110 KB; anything far larger is not ours.
constexpr off_t kLargestFile = 4 << 20;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> FromHex(const std::string& text) {
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    if (text.size() != padlayout::kRecordSize * 2) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(padlayout::kRecordSize);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = digit(text[2 * i]);
        const int low = digit(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return bytes;
}

PadLocation LocationOf(std::uint64_t offset) {
    const auto record = static_cast<int>((offset % padlayout::kBankSize) / padlayout::kRecordSize);
    return {static_cast<int>(offset / padlayout::kBankSize), record / padlayout::kPads,
            record % padlayout::kPads};
}

std::string TrashName(std::uint32_t id, const std::string& name) {
    return std::to_string(id) + "-" + name;
}

// Renames without replacing anything at the target; false, errno set, when not moved.
bool MoveNoReplace(int fromFd, const std::string& from, int toFd, const std::string& to) {
    if (::renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the no-replace rename: look first, then rename.
    struct stat info {};
    if (::fstatat(toFd, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::renameat(fromFd, from.c_str(), toFd, to.c_str()) == 0;
}

bool IsFileIn(int folderFd, const std::string& name) {
    struct stat info {};
    return ::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> Names(const nlohmann::json& list) {
    std::vector<std::string> names;
    if (!list.is_array()) {
        throw std::runtime_error("not a list of names");
    }
    for (const auto& name : list) {
        const std::string text = name.get<std::string>();
        if (!IsPlainCardName(text)) {
            throw std::runtime_error("not a card file name");
        }
        names.push_back(text);
    }
    return names;
}

// Moves the trash's file into the folder kept under its card name (without "<change>-"), or with "-2",
// "-3" … before the extension when that is taken.
bool KeepAside(int trashFd, const std::string& name, int keptFd) {
    const std::size_t dash = name.find('-');
    const std::filesystem::path plain(dash == std::string::npos ? name : name.substr(dash + 1));
    for (int n = 1; n < 1000; ++n) {
        const std::string to =
            n == 1 ? plain.string()
                   : plain.stem().string() + "-" + std::to_string(n) + plain.extension().string();
        if (MoveNoReplace(trashFd, name, keptFd, to)) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

} // namespace

CardHistory::CardHistory(CPadBankStore& store) : store_(store) {
    if (store_.IsCardOpen() && !store_.IsReadOnly()) {
        folder_.reset(::open(store_.CardFolder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        Load();
    }
}

void CardHistory::Load() {
    const FileHandle fd(::openat(folder_.get(), kFileName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kLargestFile) {
        return;
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    if (::pread(fd.get(), text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
        LogLine(kLogModule, "the card's undo history cannot be read; it starts again");
        return;
    }
    try {
        const nlohmann::json json = nlohmann::json::parse(text);
        if (json.at("k72-undo").get<int>() != kVersion) {
            throw std::runtime_error("another version");
        }
        std::vector<HistoryChange> changes;
        for (const auto& item : json.at("changes")) {
            HistoryChange change;
            change.id = item.at("id").get<std::uint32_t>();
            change.what = item.at("what").get<std::string>();
            change.offset = item.at("offset").get<std::uint64_t>();
            const auto before = FromHex(item.at("before").get<std::string>());
            const auto after = FromHex(item.at("after").get<std::string>());
            if (!before || !after || change.offset % padlayout::kRecordSize != 0 ||
                change.offset + padlayout::kRecordSize > padlayout::kFileSize) {
                throw std::runtime_error("a record out of place");
            }
            change.before = *before;
            change.after = *after;
            change.added = Names(item.at("added"));
            change.removed = Names(item.at("removed"));
            changes.push_back(std::move(change));
        }
        const auto done = json.at("done").get<std::size_t>();
        const auto next = json.at("next").get<std::uint32_t>();
        if (done > changes.size()) {
            throw std::runtime_error("more changes done than recorded");
        }
        changes_ = std::move(changes);
        done_ = done;
        next_ = next;
        for (const HistoryChange& change : changes_) {
            next_ = std::max(next_, change.id + 1);
        }
    } catch (const std::exception& error) {
        LogLine(kLogModule,
                std::string("the card's undo history is damaged (") + error.what() + "); it starts again");
    }
}

bool CardHistory::Save() const {
    if (!folder_) {
        return false;
    }
    if (changes_.empty()) {
        return ::unlinkat(folder_.get(), kFileName, 0) == 0 || errno == ENOENT;
    }
    nlohmann::json list = nlohmann::json::array();
    for (const HistoryChange& change : changes_) {
        list.push_back({{"id", change.id},
                        {"what", change.what},
                        {"offset", change.offset},
                        {"before", Hex(change.before)},
                        {"after", Hex(change.after)},
                        {"added", change.added},
                        {"removed", change.removed}});
    }
    const nlohmann::json json = {{"k72-undo", kVersion}, {"next", next_}, {"done", done_}, {"changes", list}};
    const std::string text = json.dump(1);
    // Written whole under another name and renamed: the history is the old one or the new one.
    FileHandle fd(
        ::openat(folder_.get(), kPartName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    bool ok = fd && ::write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
              ::fsync(fd.get()) == 0;
    ok = fd.close() == 0 && ok;
    if (ok && ::renameat(folder_.get(), kPartName, folder_.get(), kFileName) == 0) {
        ::fsync(folder_.get());
        return true;
    }
    LogLine(kLogModule, std::string("the card's undo history cannot be written: ") + std::strerror(errno));
    ::unlinkat(folder_.get(), kPartName, 0);
    return false;
}

std::optional<std::string> CardHistory::UndoWhat() const {
    return done_ > 0 ? std::optional<std::string>(changes_[done_ - 1].what) : std::nullopt;
}

std::optional<std::string> CardHistory::RedoWhat() const {
    return done_ < changes_.size() ? std::optional<std::string>(changes_[done_].what) : std::nullopt;
}

std::vector<std::uint8_t> CardHistory::RecordBytes(std::uint64_t offset) const {
    std::vector<std::uint8_t> bytes(padlayout::kRecordSize);
    const FileHandle fd(::open(store_.PadFilePath().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd || ::pread(fd.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
                   static_cast<ssize_t>(bytes.size())) {
        return {};
    }
    return bytes;
}

bool CardHistory::LastFits() const {
    return done_ == 0 || RecordBytes(changes_[done_ - 1].offset) == changes_[done_ - 1].after;
}

FileHandle CardHistory::TrashFolder(bool make) const {
    if (make && ::mkdirat(folder_.get(), kTrashFolder, 0755) != 0 && errno != EEXIST) {
        return FileHandle();
    }
    return FileHandle(::openat(folder_.get(), kTrashFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool CardHistory::Trash(std::uint32_t id, const std::string& name) const {
    const FileHandle trash = TrashFolder(true);
    return trash && MoveNoReplace(folder_.get(), name, trash.get(), TrashName(id, name));
}

bool CardHistory::KeepsFiles() const {
    const FileHandle trash = TrashFolder(false);
    if (!trash) {
        return false;
    }
    const auto names = leftovers::NamesIn(trash.get());
    return std::any_of(names.begin(), names.end(),
                       [](const std::string& n) { return n != "." && n != ".."; });
}

void CardHistory::Purge(std::uint32_t id) const {
    const FileHandle trash = TrashFolder(false);
    if (!trash) {
        return;
    }
    const std::string prefix = std::to_string(id) + "-";
    for (const std::string& name : leftovers::NamesIn(trash.get())) {
        if (name.compare(0, prefix.size(), prefix) == 0 && ::unlinkat(trash.get(), name.c_str(), 0) != 0) {
            LogLine(kLogModule, "cannot delete " + name + " from the trash: " + std::strerror(errno));
        }
    }
}

void CardHistory::SweepTrash() const {
    const FileHandle trash = TrashFolder(false);
    if (!trash) {
        return;
    }
    for (const std::string& name : leftovers::NamesIn(trash.get())) {
        const std::size_t dash = name.find('-');
        const bool recorded = dash != std::string::npos &&
                              std::any_of(changes_.begin(), changes_.end(), [&](const HistoryChange& c) {
                                  return name.compare(0, dash, std::to_string(c.id)) == 0;
                              });
        if (!recorded && name != "." && name != "..") {
            ::unlinkat(trash.get(), name.c_str(), 0);
        }
    }
}

void CardHistory::Forget(const std::string& keepIn) {
    if (!folder_) {
        return;
    }
    if (const FileHandle trash = TrashFolder(false)) {
        FileHandle kept;
        if (!keepIn.empty()) {
            const std::string spelled =
                FindEntryNoCase(store_.CardFolder(), keepIn).value_or(keepIn).filename().string();
            ::mkdirat(folder_.get(), spelled.c_str(), 0755);
            kept.reset(
                ::openat(folder_.get(), spelled.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        for (const std::string& name : leftovers::NamesIn(trash.get())) {
            if (name == "." || name == "..") {
                continue;
            }
            if (kept && KeepAside(trash.get(), name, kept.get())) {
                continue;
            }
            if (::unlinkat(trash.get(), name.c_str(), 0) != 0) {
                LogLine(kLogModule, "cannot delete " + name + " from the trash: " + std::strerror(errno));
            }
        }
        ::unlinkat(folder_.get(), kTrashFolder, AT_REMOVEDIR);
    }
    changes_.clear();
    done_ = 0;
    static_cast<void>(Save());
}

bool CardHistory::Add(HistoryChange change, bool fits) {
    if (!folder_) {
        return false;
    }
    const auto drop = [this](std::size_t at) {
        Purge(changes_[at].id);
        changes_.erase(changes_.begin() + static_cast<long>(at));
    };
    while (changes_.size() > done_) {
        drop(changes_.size() - 1);
    }
    if (!fits) {
        while (!changes_.empty()) {
            drop(0);
        }
    }
    next_ = std::max(next_, change.id + 1);
    changes_.push_back(std::move(change));
    while (changes_.size() > kKept) {
        drop(0);
    }
    done_ = changes_.size();
    return Save();
}

StoreResult CardHistory::Undo() {
    return Step(true);
}

StoreResult CardHistory::Redo() {
    return Step(false);
}

StoreResult CardHistory::Step(bool undo) {
    if (!store_.IsCardOpen()) {
        return StoreFailed(StoreFailure::NoCard);
    }
    if (!folder_) {
        return StoreFailed(StoreFailure::WriteFailed, messages::kCardReadOnly);
    }
    if (undo ? done_ == 0 : done_ == changes_.size()) {
        return StoreFailed(StoreFailure::NotUndoable, undo ? "There is nothing to undo on this card."
                                                           : "There is nothing to redo on this card.");
    }
    const HistoryChange& change = changes_[undo ? done_ - 1 : done_];
    const std::vector<std::uint8_t>& from = undo ? change.after : change.before;
    const std::vector<std::uint8_t>& to = undo ? change.before : change.after;
    const std::vector<std::string>& back = undo ? change.removed : change.added;
    const std::vector<std::string>& away = undo ? change.added : change.removed;
    const std::string refused =
        std::string("Cannot ") + (undo ? "undo the " : "redo the ") + change.what + ": ";
    const std::string nothing = "\nNothing was changed.";
    if (RecordBytes(change.offset) != from) {
        return StoreFailed(StoreFailure::NotUndoable,
                           refused + "pad " + LocationOf(change.offset).Text() + " is no longer as " +
                               (undo ? "that change" : "the undo") +
                               " left it (the K-72 or another program has changed the card's pad file "
                               "since)." +
                               nothing +
                               " Change the pad by hand instead; the next change made here starts "
                               "a new undo history.");
    }
    const FileHandle trash = TrashFolder(!back.empty() || !away.empty());
    for (const std::string& name : back) {
        if (!trash || !IsFileIn(trash.get(), TrashName(change.id, name))) {
            return StoreFailed(StoreFailure::NotUndoable, refused + PrintableName(name) +
                                                              ", kept for it in the card's " + kTrashFolder +
                                                              " folder, is gone." + nothing);
        }
        const auto state = store_.Files().Inspect(name);
        if (!state || state->exists) {
            return StoreFailed(StoreFailure::NotUndoable, refused + "the card holds a file named " +
                                                              PrintableName(name) + " again." + nothing +
                                                              " Move that file away, then try again.");
        }
    }
    // The files come back before the pad names them again, and go back into the trash when it cannot.
    std::vector<std::string> brought;
    const auto takeBack = [&] {
        for (const std::string& name : brought) {
            static_cast<void>(MoveNoReplace(folder_.get(), name, trash.get(), TrashName(change.id, name)));
        }
    };
    for (const std::string& name : back) {
        if (!MoveNoReplace(trash.get(), TrashName(change.id, name), folder_.get(), name)) {
            const std::string reason = std::strerror(errno);
            takeBack();
            return StoreFailed(StoreFailure::WriteFailed, refused + PrintableName(name) +
                                                              " could not be brought back: " + reason + "." +
                                                              nothing);
        }
        brought.push_back(name);
    }
    StoreResult result = store_.ReplacePadFileBytes({change.offset, from, to});
    if (!result) {
        takeBack();
        return result;
    }
    result.change.where = LocationOf(change.offset);
    result.change.added = brought;
    for (const std::string& name : away) {
        const auto state = store_.Files().Inspect(name);
        if (!state || !state->exists || store_.Files().UsedBy(name)) {
            continue; // gone already, or a pad names it: it stays
        }
        const std::string onCard = state->path.filename().string();
        if (state->regular && MoveNoReplace(folder_.get(), onCard, trash.get(), TrashName(change.id, name))) {
            result.change.removed.push_back(onCard);
        } else {
            AddLine(result.text, PrintableName(onCard) + " stays on the card: it could not be moved into " +
                                     kTrashFolder + ".");
            result.notDeleted.push_back(onCard);
            result.failure = StoreFailure::Incomplete;
        }
    }
    done_ = undo ? done_ - 1 : done_ + 1;
    if (!Save()) {
        AddLine(result.text, "The card's undo history could not be written; it may not be undone further.");
    }
    store_.RescanFileNumbers();
    return result;
}

} // namespace k72
