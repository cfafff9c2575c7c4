#include "store/CPadBankStore.h"

#include "base/DiagnosticLog.h"
#include "store/CardLayout.h"
#include "store/Leftovers.h"
#include "store/PadFileBackup.h"
#include "store/SaveJournal.h"
#include "store/StoreMessages.h"
#include "store/VolumeSerial.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {

// --- File number reservations ---

FileNumberReservation::FileNumberReservation(FileNumberReservation&& other) noexcept
    : giveBack_(std::exchange(other.giveBack_, nullptr)), numbers_(std::move(other.numbers_)) {}

FileNumberReservation& FileNumberReservation::operator=(FileNumberReservation&& other) noexcept {
    if (this != &other) {
        Release();
        giveBack_ = std::exchange(other.giveBack_, nullptr);
        numbers_ = std::move(other.numbers_);
    }
    return *this;
}

void FileNumberReservation::Commit() {
    if (giveBack_) {
        std::exchange(giveBack_, nullptr)(numbers_, true);
    }
}

void FileNumberReservation::Release() {
    if (giveBack_) {
        std::exchange(giveBack_, nullptr)(numbers_, false);
    }
}

// --- The store ---

CPadBankStore::CPadBankStore() = default;

CPadBankStore::~CPadBankStore() {
    Close();
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

std::filesystem::path CPadBankStore::CardBackupFolder() const {
    if (backupFolder_.empty() || cardFolder_.empty()) {
        return {};
    }
    return backupFolder_ / PadFileBackup::CardFolderName(PadFileBackup::CardRoot(cardFolder_));
}

void CPadBankStore::BackUpPadFileOnce() {
    if (backupFolder_.empty() || !padFile_.IsOpen() || padFile_.ReadOnly()) {
        return;
    }
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(padFilePath_, ec);
    if (!backedUpCards_.insert((ec ? padFilePath_ : canonical).string() + "\n" + volume_).second) {
        return;
    }
    std::vector<std::uint8_t> bytes;
    if (!padFile_.ReadWholeFile(bytes)) {
        LogLine("pad file backup", "no copy of " + padFilePath_.string() + " was kept before changing it");
        return;
    }
    KeepCopy(bytes);
}

void CPadBankStore::KeepCopy(const std::vector<std::uint8_t>& padBytes) {
    if (backupFolder_.empty() ||
        !PadFileBackup::Write(CardBackupFolder(), PadFileBackup::CardRoot(cardFolder_), padBytes,
                              std::chrono::system_clock::now(), volume_)) {
        LogLine("pad file backup", "no copy of " + padFilePath_.string() + " was kept before changing it");
    }
}

// --- The card ---

namespace {

StoreOutcome<CardOpenResult> OpenFailed(CardOpenResult reason) {
    std::string text = CardOpenMessage(reason);
    return {StoreFailed(StoreFailure::NoCard, std::move(text)), std::move(reason)};
}

// False, with the failure, for a card root that is not there or not a folder.
bool RootIsFolder(const std::filesystem::path& root, StoreOutcome<CardOpenResult>& failed) {
    struct stat info {};
    errno = 0;
    // An empty root is the working folder.
    if (::stat(root.empty() ? "." : root.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return true;
    }
    CardOpenResult reason;
    reason.root = root;
    reason.errorNumber = errno;
    reason.failure = reason.errorNumber == 0 || S_ISREG(info.st_mode) ? CardOpenFailure::NotAFolder
                                                                      : CardOpenFailure::NotFound;
    if (reason.failure == CardOpenFailure::NotAFolder) {
        reason.errorNumber = 0;
    }
    failed = OpenFailed(std::move(reason));
    return false;
}

} // namespace

bool CPadBankStore::TakeCard(CardOpenResult& opened, const std::filesystem::path& cardFolder,
                             const std::filesystem::path& padFilePath) {
    opened.root = PadFileBackup::CardRoot(cardFolder);
    if (!opened) {
        if (opened.failure == CardOpenFailure::NotFound) {
            opened.failure = CardOpenFailure::NotACard;
        }
        return false;
    }
    // The card folder is opened once (through any links above it, as the card may be mounted under a
    // linked path); the media files are reached relative to it and never through a link of their own.
    FileHandle folderFd(::open(cardFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd) {
        opened.failure = CardOpenFailure::IoError;
        opened.errorNumber = errno;
        padFile_.Close();
        return false;
    }
    files_.Open(cardFolder, std::move(folderFd));
    cardFolder_ = cardFolder;
    padFilePath_ = padFilePath;
    volume_ = volumeProbe_ ? volumeProbe_(cardFolder) : VolumeSerialOf(cardFolder);
    return true;
}

StoreOutcome<CardOpenResult> CPadBankStore::Open(const std::filesystem::path& cardFolder,
                                                 const std::filesystem::path& padFilePath,
                                                 CardAccess access) {
    Close();
    CardOpenResult opened = padFile_.Open(padFilePath, access);
    if (!TakeCard(opened, cardFolder, padFilePath)) {
        return OpenFailed(std::move(opened));
    }
    StoreOutcome<CardOpenResult> result{StoreResult{}, std::move(opened)};
    if (access == CardAccess::Snapshot) {
        std::vector<std::uint8_t> bytes;
        if (padFile_.ReadWholeFile(bytes) && SaveWasCutOff(bytes)) {
            result.text = messages::kInterruptedSaveWaiting;
        }
        RescanFileNumbers();
        return result;
    }
    // A pad file elsewhere (a copy of the card's, to read a card another program holds) is not the
    // card's: its journal and leftovers are the business of the program that holds the card. A card
    // opened read-only is only looked at: nothing on it is put back or removed.
    std::error_code ec;
    if (access == CardAccess::ReadOnly ||
        !std::filesystem::equivalent(padFilePath.parent_path(), cardFolder, ec)) {
        RescanFileNumbers();
        return result;
    }
    if (!backupFolder_.empty()) {
        padFile_.SetJournalPath(SaveJournal::PathIn(CardBackupFolder()), volume_);
    }
    // Before anything else: a save that was cut off on this card is put back.
    result.text = FinishInterruptedSaves();
    RemoveLeftovers();
    RescanFileNumbers();
    return result;
}

std::string CPadBankStore::FinishInterruptedSaves() {
    const std::filesystem::path folder = CardBackupFolder();
    if (folder.empty()) {
        return {};
    }
    const std::filesystem::path current = SaveJournal::PathIn(folder);
    std::string text;
    for (const std::filesystem::path& path : SaveJournal::Found(folder)) {
        Journal journal;
        const SaveJournal::State state = SaveJournal::Read(path, journal);
        if (state == SaveJournal::State::Absent) {
            continue;
        }
        std::vector<std::uint8_t> bytes;
        if (state == SaveJournal::State::Damaged) {
            LogLine("pad file", "the journal " + path.string() + " is damaged; it is dropped");
            static_cast<void>(SaveJournal::Remove(path));
            continue;
        }
        if (!padFile_.ReadWholeFile(bytes)) {
            return messages::kInterruptedSaveNotUndone;
        }
        switch (SaveJournal::FitOf(journal, bytes, volume_)) {
        case SaveJournal::Fit::PutBack:
            // The pad file as the cut-off save left it is kept too: should the journal be wrong, nothing
            // of it is lost.
            KeepCopy(bytes);
            if (!padFile_.PutBack(journal.spans)) {
                return messages::kInterruptedSaveNotUndone; // the journal stays for the next open
            }
            static_cast<void>(SaveJournal::Remove(path));
            text = messages::kInterruptedSaveUndone;
            break;
        case SaveJournal::Fit::OtherCard:
            LogLine("pad file", "the journal " + path.string() +
                                    " was written for another card that was at this path; it is kept for it");
            if (path == current && journal.identity) {
                static_cast<void>(SaveJournal::SetAside(path, *journal.identity));
            }
            break;
        case SaveJournal::Fit::Changed:
        case SaveJournal::Fit::Whole:
            LogLine("pad file",
                    "the journal " + path.string() +
                        " does not fit the pad file; it is dropped and the pad file kept as it is");
            static_cast<void>(SaveJournal::Remove(path));
            break;
        }
    }
    return text;
}

bool CPadBankStore::SaveWasCutOff(const std::vector<std::uint8_t>& padBytes) const {
    const std::filesystem::path folder = CardBackupFolder();
    if (folder.empty()) {
        return false;
    }
    for (const std::filesystem::path& path : SaveJournal::Found(folder)) {
        Journal journal;
        if (SaveJournal::Read(path, journal) == SaveJournal::State::Valid &&
            SaveJournal::FitOf(journal, padBytes, volume_) == SaveJournal::Fit::PutBack) {
            return true;
        }
    }
    return false;
}

void CPadBankStore::RemoveLeftovers() {
    files_.RemoveStaleCopies();
    if (!backupFolder_.empty()) {
        leftovers::RemovePartialFiles(CardBackupFolder());
    }
    leftovers::RemoveStaleTemporaryFolders(TemporaryFolder());
}

StoreOutcome<CardOpenResult> CPadBankStore::OpenCardRoot(const std::filesystem::path& root,
                                                         CardAccess access) {
    StoreOutcome<CardOpenResult> failed;
    if (!RootIsFolder(root, failed)) {
        Close();
        return failed;
    }
    const CardPaths paths = FindCardPaths(root);
    StoreOutcome<CardOpenResult> result = Open(paths.cardFolder, paths.padFilePath, access);
    result.value.root = root;
    if (!result) {
        result.text = CardOpenMessage(result.value);
    }
    return result;
}

void CPadBankStore::Close() {
    if (padFile_.IsOpen()) {
        padFile_.Close();
    }
    files_.Close();
    padFile_.SetJournalPath({});
    padFile_.ClearAll();
    selectionValid_ = false;
    bank_ = -1;
    number_ = -1;
    cardFolder_.clear();
    padFilePath_.clear();
    volume_.clear();
    lastFileNumber_ = 0;
    reserved_.clear();
}

bool CPadBankStore::CardStillThere() const {
    return padFile_.IsOpen() && padFile_.StillAtItsPath() && ::access(cardFolder_.c_str(), R_OK) == 0;
}

// --- Bank and number selection, and reading pads ---

void CPadBankStore::SelectBank(int index) {
    if (index < 0 || index >= padlayout::kBanks) {
        return;
    }
    // The same bank again reads nothing, unless its last read failed and memory holds no bank.
    if (index == bank_ && padFile_.Loaded() && padFile_.LoadedBank() == bank_) {
        return;
    }
    bank_ = index;
    if (!padFile_.LoadBank(index)) {
        LogLine("pad file", "bank " + std::string(1, static_cast<char>('A' + index)) + " cannot be read");
    }
    selectionValid_ = bank_ >= 0 && number_ >= 0;
}

void CPadBankStore::SelectNumber(int index) {
    if (index < 0 || index >= padlayout::kNumbers) {
        return;
    }
    number_ = index;
    selectionValid_ = bank_ >= 0 && number_ >= 0;
}

const PadEntry* CPadBankStore::Entry(int pad) const {
    if (!PadInSelection(pad) || !padFile_.Loaded() || padFile_.LoadedBank() != bank_) {
        return nullptr;
    }
    return padFile_.EntryAt(number_, pad);
}

std::optional<PadEntry> CPadBankStore::EntryAt(const PadLocation& where) {
    if (!where.Valid() || !padFile_.IsOpen()) {
        return std::nullopt;
    }
    if (padFile_.Loaded() && padFile_.LoadedBank() == where.bank) {
        return *padFile_.EntryAt(where.number, where.pad);
    }
    // Another bank is read for it; the selected one is read back afterwards.
    std::optional<PadEntry> entry;
    if (padFile_.LoadBank(where.bank)) {
        entry = *padFile_.EntryAt(where.number, where.pad);
    }
    if (bank_ >= 0) {
        static_cast<void>(padFile_.LoadBank(bank_));
    } else {
        padFile_.ClearAll();
    }
    return entry;
}

// --- Writing pads ---

StoreResult CPadBankStore::WritePad(const PadLocation& where, const PadEntry& after) {
    if (!padFile_.IsOpen()) {
        return StoreFailed(StoreFailure::NoCard);
    }
    if (!where.Valid()) {
        return StoreFailed(StoreFailure::NoPad);
    }
    if (IsReadOnly()) {
        return StoreFailed(StoreFailure::WriteFailed, messages::kCardReadOnly);
    }
    const bool otherBank = !padFile_.Loaded() || padFile_.LoadedBank() != where.bank;
    const auto readSelectedBank = [this, otherBank] {
        if (!otherBank) {
            return;
        }
        if (bank_ >= 0) {
            static_cast<void>(padFile_.LoadBank(bank_));
        } else {
            padFile_.ClearAll();
        }
    };
    if (otherBank && !padFile_.LoadBank(where.bank)) {
        readSelectedBank();
        return StoreFailed(StoreFailure::WriteFailed, messages::kCardWriteFailed);
    }
    PadEntry* entry = padFile_.EntryAt(where.number, where.pad);
    StoreResult result;
    result.change.where = where;
    result.change.before = *entry;
    *entry = after;
    BackUpPadFileOnce();
    if (padFile_.SaveBank()) {
        result.change.after = after;
    } else {
        // The failed save has put back every byte it changed on the card; memory follows.
        *entry = *result.change.before;
        result.change.before.reset();
        result.failure = StoreFailure::WriteFailed;
        result.text = messages::kCardWriteFailed;
    }
    readSelectedBank();
    return result;
}

StoreResult CPadBankStore::RefreshPad(int pad) {
    const PadEntry* current = Entry(pad);
    if (current == nullptr) {
        return StoreFailed(StoreFailure::NoPad);
    }
    // A read-only card keeps what its pad file says; the missing files show as missing.
    if (current->used != padlayout::kUsed || IsReadOnly()) {
        return {};
    }
    const auto present = [this](const NameField& name) {
        const auto path = files_.PathOf(NameText(name));
        return path && CardFiles::Exists(*path);
    };
    PadEntry entry = *current;
    if (entry.kindCode == padlayout::kKindMovie && entry.movie) {
        if (present(entry.movie->fileName)) {
            return {};
        }
        entry.used = 0; // the kindCode stays as it was
        entry.movie.reset();
    } else if (entry.kindCode == padlayout::kKindStill && entry.stills) {
        StillRecord& stills = *entry.stills;
        std::vector<NameField> kept;
        for (std::size_t i = 0; i < stills.UsableCount(); ++i) {
            if (present(stills.stillNames[i])) {
                kept.push_back(stills.stillNames[i]);
            }
        }
        if (kept.empty()) {
            entry.used = 0;
            entry.stills.reset();
        } else if (kept.size() != stills.UsableCount()) {
            for (std::size_t i = 0; i < padlayout::kMaxStills; ++i) {
                stills.stillNames[i] = i < kept.size() ? kept[i] : NameField{};
            }
            stills.stillCount = static_cast<std::uint32_t>(kept.size());
        } else {
            return {};
        }
    } else {
        return {};
    }
    return WritePad({bank_, number_, pad}, entry);
}

// --- File numbers ---

void CPadBankStore::RescanFileNumbers() {
    std::uint32_t highest = 0;
    std::error_code ec;
    if (!cardFolder_.empty()) {
        for (auto it = std::filesystem::directory_iterator(cardFolder_, ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (WildcardMatchNoCase(cardlayout::kMoviePattern, name) ||
                WildcardMatchNoCase(cardlayout::kStillPattern, name)) {
                highest = std::max(highest, FileNumberOfName(name));
            }
        }
    }
    lastFileNumber_ = highest;
}

bool CPadBankStore::RecordedNumbers(std::set<std::uint32_t>& recorded) const {
    std::vector<CPadFile::NamedFile> names;
    if (!padFile_.ReadAllNames(names)) {
        return false;
    }
    for (const auto& named : names) {
        if (WildcardMatchNoCase(cardlayout::kMoviePattern, named.name) ||
            WildcardMatchNoCase(cardlayout::kStillPattern, named.name)) {
            recorded.insert(FileNumberOfName(named.name));
        }
    }
    return true;
}

std::optional<std::uint32_t> CPadBankStore::NextFreeNumber(const std::set<std::uint32_t>& recorded) const {
    const std::uint32_t highest = std::max(lastFileNumber_, reserved_.empty() ? 0u : *reserved_.rbegin());
    for (std::uint32_t n = highest + 1; n <= cardlayout::kHighestFileNumber; ++n) {
        if (recorded.count(n) == 0 && reserved_.count(n) == 0) {
            return n;
        }
    }
    // Past the end of the sequence: the lowest number neither a file on the card nor a record uses,
    // so that a new file never takes the name of one a pad still expects.
    std::vector<bool> used(cardlayout::kHighestFileNumber + 1, false);
    for (const std::uint32_t n : recorded) {
        if (n <= cardlayout::kHighestFileNumber) {
            used[n] = true;
        }
    }
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(cardFolder_, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (WildcardMatchNoCase(cardlayout::kMoviePattern, name) ||
            WildcardMatchNoCase(cardlayout::kStillPattern, name)) {
            const std::uint32_t value = FileNumberOfName(name);
            if (value <= cardlayout::kHighestFileNumber) {
                used[value] = true;
            }
        }
    }
    if (ec) {
        return std::nullopt;
    }
    for (std::uint32_t n = 1; n <= cardlayout::kHighestFileNumber; ++n) {
        if (!used[n] && reserved_.count(n) == 0) {
            return n;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> CPadBankStore::NewFileNumber() const {
    std::set<std::uint32_t> recorded;
    if (!RecordedNumbers(recorded)) {
        return std::nullopt;
    }
    return NextFreeNumber(recorded);
}

StoreOutcome<FileNumberReservation> CPadBankStore::ReserveFileNumbers(std::size_t count) {
    // The pad file is read once for all of them.
    std::set<std::uint32_t> recorded;
    std::vector<std::uint32_t> numbers;
    if (!RecordedNumbers(recorded)) {
        return StoreFailed(StoreFailure::WriteFailed, messages::kCardWriteFailed);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const auto number = NextFreeNumber(recorded);
        if (!number) {
            ReturnFileNumbers(numbers, false);
            return StoreFailed(StoreFailure::TooManyFiles, messages::kTooManyFiles);
        }
        reserved_.insert(*number);
        numbers.push_back(*number);
    }
    return {StoreResult{}, FileNumberReservation([this](const std::vector<std::uint32_t>& given,
                                                        bool used) { ReturnFileNumbers(given, used); },
                                                 std::move(numbers))};
}

void CPadBankStore::ReturnFileNumbers(const std::vector<std::uint32_t>& numbers, bool used) {
    for (const std::uint32_t number : numbers) {
        reserved_.erase(number);
        if (used) {
            lastFileNumber_ = std::max(lastFileNumber_, number);
        }
    }
}

} // namespace k72
