#include "store/CPadBankStore.h"

#include "base/DiagnosticLog.h"
#include "engine/PcmFileCheck.h"
#include "store/CardLayout.h"
#include "store/Leftovers.h"
#include "store/PadFileBackup.h"
#include "store/PrintableText.h"
#include "store/ShortName.h"
#include "store/StoreMessages.h"
#include "store/WriteFaults.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {

CPadBankStore::CPadBankStore(IUserMessages* messages, IFileCopy* fileCopy, IConversionProgress* progress)
    : messages_(messages), fileCopy_(fileCopy), progress_(progress) {}

CPadBankStore::~CPadBankStore() {
    Close();
}

void CPadBankStore::ShowMessage(const std::string& text) {
    if (messages_ != nullptr) {
        messages_->ShowMessage(text);
    } else {
        LogLine("message", text);
    }
}

PadEntry* CPadBankStore::SelectedEntry(int pad) {
    if (!PadInSelection(pad) || padFile_.LoadedBank() != bank_) {
        return nullptr;
    }
    return padFile_.EntryAt(number_, pad);
}

bool CPadBankStore::SaveBank() {
    BackUpPadFileOnce();
    return padFile_.SaveBank();
}

bool CPadBankStore::SaveChange(int pad, const PadEntry& before) {
    if (SaveBank()) {
        return true;
    }
    // The failed save has put back every byte it changed on the card; memory follows.
    if (PadEntry* entry = padFile_.EntryAt(number_, pad)) {
        *entry = before;
    }
    ShowMessage(messages::kCardWriteFailed);
    return false;
}

std::string CPadBankStore::PadText(int bank, int number, int pad) {
    return std::string(1, static_cast<char>('A' + bank)) + "-" + std::to_string(number + 1) + "-" +
           std::to_string(pad + 1);
}

void CPadBankStore::ShowTemporaryFolderMessage(int errorNumber) {
    const std::string folder = TemporaryFolder().string();
    if (errorNumber == ENOSPC || errorNumber == EDQUOT) {
        ShowMessage(messages::TemporaryDiskFull(folder));
    } else {
        ShowMessage(messages::TemporaryFolderUnusable(folder, std::strerror(errorNumber)));
    }
}

std::filesystem::path CPadBankStore::CardBackupFolder() const {
    if (backupFolder_.empty() || cardFolder_.empty()) {
        return {};
    }
    return backupFolder_ / PadFileBackup::CardFolderName(PadFileBackup::CardRoot(cardFolder_));
}

void CPadBankStore::BackUpPadFileOnce() {
    if (backupFolder_.empty() || !padFile_.IsOpen()) {
        return;
    }
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(padFilePath_, ec);
    if (!backedUpCards_.insert((ec ? padFilePath_ : canonical).string()).second) {
        return;
    }
    std::vector<std::uint8_t> bytes;
    if (!padFile_.ReadWholeFile(bytes) ||
        !PadFileBackup::Write(CardBackupFolder(), PadFileBackup::CardRoot(cardFolder_), bytes,
                              std::chrono::system_clock::now())) {
        LogLine("pad file backup", "no copy of " + padFilePath_.string() + " was kept before changing it");
    }
}

bool CPadBankStore::IsInCardFolder(const std::filesystem::path& source) const {
    if (cardFolder_.empty()) {
        return false;
    }
    // Compared as the file system sees the folders, so that neither a different spelling of the card
    // folder nor a file in a folder below it counts wrongly.
    std::error_code ec;
    const auto folder = std::filesystem::absolute(source, ec).parent_path();
    return !ec && std::filesystem::equivalent(folder, cardFolder_, ec) && !ec;
}

std::filesystem::path CPadBankStore::TemporaryFolder() const {
    if (!temporaryFolder_.empty()) {
        return temporaryFolder_;
    }
    // TMPDIR as it is set, even when it names no folder: the user is then told about that folder
    // rather than having the conversion quietly go elsewhere.
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && *tmpdir != '\0') {
        return tmpdir;
    }
    return "/tmp";
}

// --- Bank and number selection ---

void CPadBankStore::SelectBank(int index) {
    if (index < 0 || index >= padlayout::kBanks) {
        return;
    }
    // The same bank again reads nothing, unless its last read failed and memory holds no bank.
    if (index == bank_ && padFile_.Loaded() && padFile_.LoadedBank() == bank_) {
        return;
    }
    bank_ = index;
    padFile_.LoadBank(index);
    selectionValid_ = bank_ >= 0 && number_ >= 0;
}

void CPadBankStore::SelectNumber(int index) {
    if (index < 0 || index >= padlayout::kNumbers) {
        return;
    }
    number_ = index;
    selectionValid_ = bank_ >= 0 && number_ >= 0;
}

bool CPadBankStore::GetPadKind(int pad, PadKind& kind) const {
    if (!PadInSelection(pad) || padFile_.LoadedBank() != bank_) {
        return false;
    }
    const PadEntry* entry = padFile_.EntryAt(number_, pad);
    if (entry == nullptr) {
        return false;
    }
    kind = entry->Kind();
    return true;
}

void CPadBankStore::RefreshPad(int pad) {
    if (!PadInSelection(pad)) {
        return;
    }
    PadEntry* entry = padFile_.EntryAt(number_, pad);
    if (entry == nullptr || entry->used != padlayout::kUsed) {
        return;
    }
    const auto present = [this](const NameField& name) {
        const auto path = CardFilePath(NameText(name));
        return path && FileExists(*path);
    };
    if (entry->kindCode == padlayout::kKindMovie && entry->movie) {
        if (present(entry->movie->fileName)) {
            return;
        }
        entry->used = 0; // the kindCode stays as it was
        entry->movie.reset();
        SaveBank();
    } else if (entry->kindCode == padlayout::kKindStill && entry->stills) {
        StillRecord& stills = *entry->stills;
        std::vector<NameField> kept;
        bool anyMissing = false;
        for (std::size_t i = 0; i < stills.UsableCount(); ++i) {
            if (present(stills.stillNames[i])) {
                kept.push_back(stills.stillNames[i]);
            } else {
                anyMissing = true;
            }
        }
        if (kept.empty()) {
            entry->used = 0;
            entry->stills.reset();
            SaveBank();
        } else if (anyMissing) {
            for (std::size_t i = 0; i < padlayout::kMaxStills; ++i) {
                stills.stillNames[i] = i < kept.size() ? kept[i] : NameField{};
            }
            stills.stillCount = static_cast<std::uint32_t>(kept.size());
            SaveBank();
        }
    }
}

// --- The card ---

bool CPadBankStore::Open(const std::filesystem::path& cardFolder, const std::filesystem::path& padFilePath) {
    Close();
    lastOpen_ = padFile_.Open(padFilePath);
    lastOpen_.root = PadFileBackup::CardRoot(cardFolder);
    if (!lastOpen_) {
        if (lastOpen_.failure == CardOpenFailure::NotFound) {
            lastOpen_.failure = CardOpenFailure::NotACard;
        }
        return false;
    }
    // The card folder is opened once (through any links above it, as the card may be mounted under a
    // linked path); the media files are reached relative to it and never through a link of their own.
    cardFolderFd_.reset(::open(cardFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!cardFolderFd_) {
        lastOpen_.failure = CardOpenFailure::IoError;
        lastOpen_.errorNumber = errno;
        padFile_.Close();
        return false;
    }
    cardFolder_ = cardFolder;
    padFilePath_ = padFilePath;
    // A pad file elsewhere (a copy of the card's, to read a card another program holds) is not the
    // card's: its journal and leftovers are the business of the program that holds the card.
    std::error_code ec;
    if (!std::filesystem::equivalent(padFilePath.parent_path(), cardFolder, ec)) {
        RescanFileNumbers();
        return true;
    }
    if (!backupFolder_.empty()) {
        padFile_.SetJournalPath(CardBackupFolder() / "K72_PAD-journal.bin");
    }
    // Before anything else: a save that was cut off is put back.
    switch (padFile_.RollBackInterruptedSave()) {
    case CPadFile::RollBack::RolledBack:
        ShowMessage(messages::kInterruptedSaveUndone);
        break;
    case CPadFile::RollBack::Failed:
        ShowMessage(messages::kInterruptedSaveNotUndone);
        break;
    case CPadFile::RollBack::Nothing:
    case CPadFile::RollBack::Discarded:
        break;
    }
    RemoveLeftovers();
    RescanFileNumbers();
    return true;
}

void CPadBankStore::RemoveLeftovers() {
    leftovers::RemoveStaleCopies(cardFolderFd_.get());
    if (!backupFolder_.empty()) {
        leftovers::RemovePartialFiles(CardBackupFolder());
    }
    leftovers::RemoveStaleTemporaryFolders(TemporaryFolder());
}

CardOpenResult CPadBankStore::ExamineCardRoot(const std::filesystem::path& root) {
    CardOpenResult result;
    result.root = root;
    struct stat info {};
    if (::stat(root.empty() ? "." : root.c_str(), &info) != 0) {
        result.failure = CardOpenFailure::NotFound;
        result.errorNumber = errno;
        return result;
    }
    if (!S_ISDIR(info.st_mode)) {
        result.failure = CardOpenFailure::NotAFolder;
        return result;
    }
    result.padFile = FindCardPaths(root).padFilePath;
    if (::lstat(result.padFile.c_str(), &info) != 0) {
        result.failure = CardOpenFailure::NotACard;
    } else if (!S_ISREG(info.st_mode)) {
        result.failure = CardOpenFailure::NotARegularFile;
        result.fileType = FileTypeWords(info.st_mode);
    } else if (static_cast<std::uint64_t>(info.st_size) != padlayout::kFileSize) {
        result.failure = CardOpenFailure::WrongLength;
        result.sizeFound = static_cast<std::uint64_t>(info.st_size);
    }
    return result;
}

bool CPadBankStore::OpenCardRoot(const std::filesystem::path& root) {
    struct stat info {};
    errno = 0;
    // An empty root is the working folder.
    if (::stat(root.empty() ? "." : root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        Close();
        lastOpen_ = CardOpenResult{};
        lastOpen_.root = root;
        lastOpen_.errorNumber = errno;
        lastOpen_.failure = lastOpen_.errorNumber == 0 || S_ISREG(info.st_mode) ? CardOpenFailure::NotAFolder
                                                                                : CardOpenFailure::NotFound;
        if (lastOpen_.failure == CardOpenFailure::NotAFolder) {
            lastOpen_.errorNumber = 0;
        }
        return false;
    }
    const CardPaths paths = FindCardPaths(root);
    const bool opened = Open(paths.cardFolder, paths.padFilePath);
    lastOpen_.root = root;
    return opened;
}

void CPadBankStore::Close() {
    if (padFile_.IsOpen()) {
        padFile_.Close();
    }
    cardFolderFd_.reset();
    padFile_.SetJournalPath({});
    padFile_.ClearAll();
    selectionValid_ = false;
    bank_ = -1;
    number_ = -1;
    cardFolder_.clear();
    padFilePath_.clear();
    lastFileNumber_ = 0;
}

void CPadBankStore::RescanFileNumbers() {
    std::uint32_t highest = 0;
    std::error_code ec;
    if (!cardFolder_.empty()) {
        for (auto it = std::filesystem::directory_iterator(cardFolder_, ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (WildcardMatchNoCase(cardlayout::kMoviePattern, name) ||
                WildcardMatchNoCase(cardlayout::kStillPattern, name)) {
                const std::uint32_t value = FileNumberOfName(name);
                if (value > highest) {
                    highest = value;
                }
            }
        }
    }
    lastFileNumber_ = highest;
}

std::string CPadBankStore::NextFileName(std::string_view extension) const {
    return MakeCardFileName(lastFileNumber_ + 1, extension);
}

std::optional<std::uint32_t> CPadBankStore::NewFileNumber() const {
    if (lastFileNumber_ < cardlayout::kHighestFileNumber) {
        return lastFileNumber_ + 1;
    }
    // Past the end of the sequence: the lowest number neither a file on the card nor a record uses,
    // so that a new file never takes the name of one a pad still expects.
    std::vector<bool> used(cardlayout::kHighestFileNumber + 1, false);
    const auto mark = [&used](const std::string& name) {
        if (WildcardMatchNoCase(cardlayout::kMoviePattern, name) ||
            WildcardMatchNoCase(cardlayout::kStillPattern, name)) {
            const std::uint32_t value = FileNumberOfName(name);
            if (value <= cardlayout::kHighestFileNumber) {
                used[value] = true;
            }
        }
    };
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(cardFolder_, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        mark(it->path().filename().string());
    }
    std::vector<CPadFile::NamedFile> names;
    if (ec || !padFile_.ReadAllNames(names)) {
        return std::nullopt;
    }
    for (const auto& named : names) {
        mark(named.name);
    }
    for (std::uint32_t n = 1; n <= cardlayout::kHighestFileNumber; ++n) {
        if (!used[n]) {
            return n;
        }
    }
    return std::nullopt;
}

std::optional<CPadBankStore::CardFileState> CPadBankStore::InspectCardFile(std::string_view name) const {
    const auto path = CardFilePath(name);
    if (!path || !cardFolderFd_) {
        return std::nullopt;
    }
    CardFileState state;
    state.path = *path;
    struct stat info {};
    if (::fstatat(cardFolderFd_.get(), path->filename().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        state.exists = true;
        state.regular = S_ISREG(info.st_mode);
        state.typeWords = FileTypeWords(info.st_mode);
    }
    return state;
}

namespace {

bool SameNameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto fold = [](char c) {
                   return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
               };
               return fold(x) == fold(y);
           });
}

} // namespace

std::optional<std::string> CPadBankStore::PadUsing(std::string_view name, int exceptSound,
                                                   int exceptPad) const {
    std::vector<CPadFile::NamedFile> names;
    if (!padFile_.ReadAllNames(names)) {
        return std::string("?"); // unknown: treated as in use
    }
    return PadUsing(names, name, exceptSound, exceptPad);
}

std::optional<std::string> CPadBankStore::PadUsing(const std::vector<CPadFile::NamedFile>& names,
                                                   std::string_view name, int exceptSound,
                                                   int exceptPad) const {
    for (const auto& named : names) {
        const bool selected = named.bank == bank_ && named.number == number_;
        if ((selected && named.pad == exceptPad) || (selected && named.pad == exceptSound && named.sound)) {
            continue;
        }
        if (SameNameNoCase(named.name, name)) {
            return PadText(named.bank, named.number, named.pad);
        }
    }
    return std::nullopt;
}

int CPadBankStore::DeleteUnusedCardFiles(const std::vector<std::string>& names, int except) {
    filesNotDeleted_.clear();
    // The pad file as it is on the card now, read once for all the names.
    std::vector<CPadFile::NamedFile> named;
    const bool readable = padFile_.ReadAllNames(named);
    std::set<std::string> done;
    // One message for the whole delete (a list of 100 pictures must not mean 100 message boxes).
    std::vector<std::string> lines;
    for (const std::string& name : names) {
        const auto state = name.empty() ? std::nullopt : InspectCardFile(name);
        if (!state || !state->exists || !done.insert(state->path.filename().string()).second) {
            continue;
        }
        const std::string shown = PrintableName(name);
        std::error_code ec;
        if (std::filesystem::equivalent(state->path, padFilePath_, ec)) {
            LogLine("delete", "a pad names the pad file; it is kept");
            continue;
        }
        if (!readable) {
            // Whether another pad uses it cannot be known: it stays.
            lines.push_back(shown + " was not deleted: the card's pad file cannot be read to see whether "
                                    "another pad uses it.");
            filesNotDeleted_.push_back(name);
            continue;
        }
        if (const auto user = PadUsing(named, name, -1, except)) {
            lines.push_back(shown + " was kept on the card: pad " + *user + " uses it too.");
            continue;
        }
        if (!state->regular) {
            lines.push_back(shown + " was not deleted: on the card it is " + state->typeWords +
                            ", not a file.");
            filesNotDeleted_.push_back(name);
            continue;
        }
        if (!writefault::Pass("delete") ||
            ::unlinkat(cardFolderFd_.get(), state->path.filename().c_str(), 0) != 0) {
            if (errno == ENOENT) {
                continue;
            }
            lines.push_back(shown + " could not be deleted: " + std::strerror(errno) + ".");
            filesNotDeleted_.push_back(name);
        }
    }
    if (!lines.empty()) {
        std::string text;
        for (const std::string& line : lines) {
            text += (text.empty() ? "" : "\n") + line;
        }
        ShowMessage(text);
    }
    return static_cast<int>(filesNotDeleted_.size());
}

std::optional<std::filesystem::path> CPadBankStore::CardFilePath(std::string_view name) const {
    if (cardFolder_.empty() || !IsPlainCardName(name)) {
        return std::nullopt;
    }
    if (auto found = FindEntryNoCase(cardFolder_, name)) {
        return found;
    }
    return cardFolder_ / std::string(name);
}

// --- Commands that need no conversion ---

bool CPadBankStore::RemoveStillImage(int position, int pad, bool deleteFile) {
    PadEntry* entry = SelectedEntry(pad);
    if (entry == nullptr || entry->Kind() != PadKindStill || !entry->stills) {
        return false;
    }
    const PadEntry before = *entry;
    StillRecord& stills = *entry->stills;
    const std::size_t count = stills.UsableCount();
    if (position < 0 || static_cast<std::size_t>(position) >= count) {
        return false;
    }
    for (std::size_t i = static_cast<std::size_t>(position); i + 1 < padlayout::kMaxStills; ++i) {
        stills.stillNames[i] = stills.stillNames[i + 1];
    }
    stills.stillNames[padlayout::kMaxStills - 1] = NameField{};
    stills.stillCount = static_cast<std::uint32_t>(count - 1);
    if (!SaveChange(pad, before)) {
        return false;
    }
    if (deleteFile) {
        // Only once the pad file on the card no longer names it (this list or any other pad).
        const std::string removed = NameText(before.stills->stillNames[static_cast<std::size_t>(position)]);
        if (!removed.empty()) {
            DeleteUnusedCardFiles({removed});
        }
    }
    return true;
}

bool CPadBankStore::MoveStillImage(int pad, int from, int to) {
    PadEntry* entry = SelectedEntry(pad);
    if (entry == nullptr || entry->Kind() != PadKindStill || !entry->stills) {
        return false;
    }
    StillRecord& stills = *entry->stills;
    const std::size_t count = stills.UsableCount();
    if (from < 0 || to < 0 || static_cast<std::size_t>(from) >= count ||
        static_cast<std::size_t>(to) >= count) {
        return false;
    }
    const PadEntry before = *entry;
    auto first = stills.stillNames.begin();
    if (from < to) {
        std::rotate(first + from, first + from + 1, first + to + 1);
    } else {
        std::rotate(first + to, first + from, first + from + 1);
    }
    return SaveChange(pad, before);
}

bool CPadBankStore::SwapStillImages(int pad, int i, int j) {
    PadEntry* entry = SelectedEntry(pad);
    if (entry == nullptr || entry->Kind() != PadKindStill || !entry->stills) {
        return false;
    }
    StillRecord& stills = *entry->stills;
    const std::size_t count = stills.UsableCount();
    if (i < 0 || j < 0 || static_cast<std::size_t>(i) >= count || static_cast<std::size_t>(j) >= count) {
        return false;
    }
    const PadEntry before = *entry;
    std::swap(stills.stillNames[static_cast<std::size_t>(i)], stills.stillNames[static_cast<std::size_t>(j)]);
    return SaveChange(pad, before);
}

namespace {

bool SameContent(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    if (std::filesystem::file_size(a, ec) != std::filesystem::file_size(b, ec) || ec) {
        return false;
    }
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    std::vector<char> x(1 << 16);
    std::vector<char> y(1 << 16);
    while (first && second) {
        first.read(x.data(), static_cast<std::streamsize>(x.size()));
        second.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (first.gcount() != second.gcount() ||
            !std::equal(x.begin(), x.begin() + first.gcount(), y.begin())) {
            return false;
        }
    }
    return first.eof() && second.eof();
}

std::string UpperCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

} // namespace

bool CPadBankStore::SetAudio(const std::filesystem::path& source, int pad, const std::string& name) {
    // The pad must be able to take the name before anything is copied to the card.
    PadEntry* entry = SelectedEntry(pad);
    const PadKind kind = entry != nullptr ? entry->Kind() : PadKindEmpty;
    if (!((kind == PadKindMovie && entry->movie) || (kind == PadKindStill && entry->stills))) {
        return false;
    }
    if (Failed(CheckPcmWaveFile(source.string()))) {
        return false;
    }
    // The name becomes a file in the card folder: it must be a plain name, and never the pad file.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos || UpperCase(name) == cardlayout::kPadFileName) {
        return false;
    }

    // A file that a record names is never replaced by the sound, unless it is this pad's own sound;
    // the very same sound already there is shared, not replaced.
    const auto refuseNamed = [this, pad, &source](const std::string& onCard) {
        auto user = PadUsing(onCard, pad);
        const auto state = InspectCardFile(onCard);
        if (user && state && state->exists && state->regular && SameContent(state->path, source)) {
            user.reset();
        }
        if (user) {
            ShowMessage("The sound cannot be stored as " + PrintableName(onCard) + ": pad " + *user +
                        " uses that file.\nRename the sound file and try again.");
        }
        return user.has_value();
    };

    std::string shortName;
    if (FolderKeepsShortNames(cardFolder_)) {
        // The card itself: the file keeps its long name and FAT gives it a short one. A declined
        // overwrite keeps the file that is there already, which then is the pad's sound.
        const auto destination = FindEntryNoCase(cardFolder_, name).value_or(cardFolder_ / name);
        if (refuseNamed(destination.filename().string())) {
            return false;
        }
        CopyFileShell(destination, source);
        if (!FileExists(destination)) {
            return false;
        }
        const auto fatName = ReadFatShortName(cardFolder_, destination.filename().string());
        if (!fatName) {
            return false;
        }
        shortName = UpperCase(*fatName);
    } else if (const auto exact = ExactShortName(name)) {
        // A name that is an 8.3 name already is copied under its upper-case form.
        if (*exact == cardlayout::kPadFileName) {
            return false;
        }
        const auto destination = FindEntryNoCase(cardFolder_, *exact).value_or(cardFolder_ / *exact);
        if (refuseNamed(*exact)) {
            return false;
        }
        CopyFileShell(destination, source);
        if (!FileExists(destination)) {
            return false;
        }
        shortName = *exact;
    } else {
        // Elsewhere the copy gets the short name FAT would have given it: the first free numeric tail,
        // unless one of the tailed names already holds this very sound.
        std::set<std::string> taken;
        std::error_code ec;
        for (auto it = std::filesystem::directory_iterator(cardFolder_, ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            taken.insert(UpperCase(it->path().filename().string()));
        }
        for (unsigned n = 1; n <= 999999 && shortName.empty(); ++n) {
            const std::string candidate = TailedShortName(name, n);
            if (taken.count(candidate) != 0) {
                const auto existing = FindEntryNoCase(cardFolder_, candidate);
                if (existing && SameContent(*existing, source)) {
                    shortName = candidate;
                }
                continue;
            }
            const auto destination = cardFolder_ / candidate;
            if (!CopyFileShell(destination, source) || !FileExists(destination)) {
                return false;
            }
            shortName = candidate;
        }
        if (shortName.empty()) {
            return false;
        }
    }

    const PadEntry before = *entry;
    NameField& audio = kind == PadKindMovie ? entry->movie->audioFileName : entry->stills->audioFileName;
    if (!SetNameText(audio, shortName)) {
        return false;
    }
    return SaveChange(pad, before);
}

void CPadBankStore::DeleteCardFile(const NameField& name) {
    DeleteUnusedCardFiles({NameText(name)});
}

void CPadBankStore::DeleteFilesOf(const PadEntry& entry, int except) {
    std::vector<std::string> names;
    if (entry.Kind() == PadKindMovie && entry.movie) {
        names.push_back(NameText(entry.movie->fileName));
        names.push_back(NameText(entry.movie->audioFileName));
    } else if (entry.Kind() == PadKindStill && entry.stills) {
        for (std::size_t i = 0; i < entry.stills->UsableCount(); ++i) {
            names.push_back(NameText(entry.stills->stillNames[i]));
        }
        names.push_back(NameText(entry.stills->audioFileName));
    }
    DeleteUnusedCardFiles(names, except);
}

bool CPadBankStore::DeleteMovieFiles(int pad) {
    const PadEntry* entry = PadInSelection(pad) ? padFile_.EntryAt(number_, pad) : nullptr;
    if (entry == nullptr || entry->kindCode != padlayout::kKindMovie || !entry->movie) {
        return false;
    }
    // The pad itself still names its files; other pads keep theirs.
    DeleteFilesOf(*entry, pad);
    return true;
}

bool CPadBankStore::DeleteStillFiles(int pad) {
    const PadEntry* entry = PadInSelection(pad) ? padFile_.EntryAt(number_, pad) : nullptr;
    if (entry == nullptr || entry->kindCode != padlayout::kKindStill || !entry->stills) {
        return false;
    }
    DeleteFilesOf(*entry, pad);
    return true;
}

bool CPadBankStore::DeletePad(int pad, bool deleteFiles) {
    filesNotDeleted_.clear();
    const PadEntry* entry = SelectedEntry(pad);
    if (entry == nullptr) {
        return false;
    }
    // The pad is cleared on the card first and its files deleted only then, so that a card that cannot
    // be written keeps both the pad and the files it names.
    const PadEntry before = *entry;
    padFile_.ClearPad(number_, pad);
    if (!SaveChange(pad, before)) {
        return false;
    }
    if (deleteFiles) {
        DeleteFilesOf(before);
    }
    return true;
}

void CPadBankStore::DeleteReplacedFiles(const PadEntry& replaced) {
    if (!padFile_.IsOpen()) {
        return;
    }
    std::vector<std::string> names;
    if (replaced.Kind() == PadKindMovie && replaced.movie) {
        names = {NameText(replaced.movie->fileName), NameText(replaced.movie->audioFileName)};
    } else if (replaced.Kind() == PadKindStill && replaced.stills) {
        for (std::size_t i = 0; i < replaced.stills->UsableCount(); ++i) {
            names.push_back(NameText(replaced.stills->stillNames[i]));
        }
        names.push_back(NameText(replaced.stills->audioFileName));
    }
    names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
    DeleteUnusedCardFiles(names);
    RescanFileNumbers();
}

std::optional<bool> CPadBankStore::ExportCardFile(const NameField& name,
                                                  const std::filesystem::path& folder) {
    const std::string text = NameText(name);
    const auto state = InspectCardFile(text);
    if (!state || !state->exists) {
        return std::nullopt;
    }
    if (!state->regular) {
        // A link may lead out of the card, a FIFO would never end the copy: neither is copied.
        ShowMessage(PrintableName(text) + " was not exported: on the card it is " + state->typeWords +
                    ", not a file.");
        return false;
    }
    return FileCopy().Copy({FileCopyItem{state->path, folder / text, true}});
}

bool CPadBankStore::ExportMovie(int pad, const std::filesystem::path& folder) {
    const auto record = PadInSelection(pad) ? padFile_.GetMovieRecord(number_, pad) : std::nullopt;
    if (!record) {
        return false;
    }
    // Every copy made must have succeeded; files no longer on the card are skipped.
    bool result = ExportCardFile(record->fileName, folder).value_or(true);
    if (!IsEmptyName(record->audioFileName)) {
        result = ExportCardFile(record->audioFileName, folder).value_or(true) && result;
    }
    return result;
}

bool CPadBankStore::ExportStillImages(int pad, const std::filesystem::path& folder) {
    const auto record = PadInSelection(pad) ? padFile_.GetStillRecord(number_, pad) : std::nullopt;
    if (!record) {
        return false;
    }
    std::vector<FileCopyItem> items;
    bool result = true;
    std::string skipped; // one message for all the pictures that are not files
    for (std::size_t i = 0; i < record->UsableCount(); ++i) {
        const std::string text = NameText(record->stillNames[i]);
        const auto state = InspectCardFile(text);
        if (state && state->exists && state->regular) {
            items.push_back(FileCopyItem{state->path, folder / text, true});
        } else if (state && state->exists) {
            skipped += (skipped.empty() ? "" : "\n") + PrintableName(text) +
                       " was not exported: on the card it is " + state->typeWords + ", not a file.";
            result = false;
        }
    }
    if (!skipped.empty()) {
        ShowMessage(skipped);
    }
    if (!items.empty()) {
        result = FileCopy().Copy(items) && result;
    }
    if (!IsEmptyName(record->audioFileName)) {
        result = ExportCardFile(record->audioFileName, folder).value_or(true) && result;
    }
    return result;
}

// --- File primitives ---

bool CPadBankStore::FileExists(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

void CPadBankStore::DeleteFile(const std::filesystem::path& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        LogLine("delete", "cannot delete " + path.string());
    }
}

bool CPadBankStore::CopyFileShell(const std::filesystem::path& destination,
                                  const std::filesystem::path& source) {
    return FileCopy().Copy({FileCopyItem{source, destination}});
}

bool CPadBankStore::CopyFilesShell(const std::vector<std::filesystem::path>& sources,
                                   const std::vector<std::filesystem::path>& destinations) {
    if (sources.size() != destinations.size()) {
        return false;
    }
    std::vector<FileCopyItem> items;
    items.reserve(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        items.push_back(FileCopyItem{sources[i], destinations[i]});
    }
    return FileCopy().Copy(items);
}

} // namespace k72
