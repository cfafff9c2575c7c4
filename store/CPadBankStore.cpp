#include "store/CPadBankStore.h"

#include "codecs/DiagnosticLog.h"
#include "engine/PcmFileCheck.h"
#include "store/CardLayout.h"
#include "store/PadFileBackup.h"
#include "store/ShortName.h"
#include "store/StoreMessages.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
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
        DebugOutput("message: " + text + "\n");
    }
}

void CPadBankStore::ShowResultMessage(std::int32_t resultCode) {
    switch (resultCode) {
    case rc::FileSizeOverLimit:
    case rc::ConvertedFileTooLarge:
        ShowMessage(messages::kFileTooLarge);
        break;
    case rc::TempFileFailed:
    case rc::DiscSpaceInsufficient:
        ShowMessage(messages::kTemporaryDiskFull);
        break;
    default:
        ShowMessage(messages::kLoadFailed);
        break;
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
    if (PadEntry* entry = padFile_.EntryAt(number_, pad)) {
        *entry = before;
    }
    padFile_.SaveBank();
    ShowMessage(messages::kCardWriteFailed);
    return false;
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
        DebugOutput("pad file backup: no copy of " + padFilePath_.string() +
                    " was kept before changing it\n");
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
    std::error_code ec;
    auto folder = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : folder;
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
    selectionValid_ = (bank_ >= 0 && number_ >= 0) ? 1 : 0;
}

void CPadBankStore::SelectNumber(int index) {
    if (index < 0 || index >= padlayout::kNumbers) {
        return;
    }
    number_ = index;
    selectionValid_ = (bank_ >= 0 && number_ >= 0) ? 1 : 0;
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
    if (!FileExists(padFilePath)) {
        return false;
    }
    if (!padFile_.Open(padFilePath)) {
        return false;
    }
    cardFolder_ = cardFolder;
    padFilePath_ = padFilePath;
    RescanFileNumbers();
    return true;
}

bool CPadBankStore::OpenCardRoot(const std::filesystem::path& root) {
    const CardPaths paths = FindCardPaths(root);
    return Open(paths.cardFolder, paths.padFilePath);
}

void CPadBankStore::Close() {
    if (padFile_.IsOpen()) {
        padFile_.Close();
    }
    padFile_.ClearAll();
    selectionValid_ = 0;
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
        const NameField removed = before.stills->stillNames[static_cast<std::size_t>(position)];
        if (!NamedInLoadedBank(NameText(removed))) {
            DeleteCardFile(removed);
        }
    }
    return true;
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

    std::string shortName;
    if (FolderKeepsShortNames(cardFolder_)) {
        // The card itself: the file keeps its long name and FAT gives it a short one. A declined
        // overwrite keeps the file that is there already, which then is the pad's sound.
        const auto destination = FindEntryNoCase(cardFolder_, name).value_or(cardFolder_ / name);
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
    const auto path = CardFilePath(NameText(name));
    if (!path) {
        return;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(*path, padFilePath_, ec)) {
        DebugOutput("delete: a pad names the pad file; it is kept\n");
        return;
    }
    if (FileExists(*path)) {
        DeleteFile(*path);
    }
}

void CPadBankStore::DeleteFilesOf(const PadEntry& entry) {
    if (entry.Kind() == PadKindMovie && entry.movie) {
        DeleteCardFile(entry.movie->fileName);
        if (!IsEmptyName(entry.movie->audioFileName)) {
            DeleteCardFile(entry.movie->audioFileName);
        }
    } else if (entry.Kind() == PadKindStill && entry.stills) {
        for (std::size_t i = 0; i < entry.stills->UsableCount(); ++i) {
            DeleteCardFile(entry.stills->stillNames[i]);
        }
        if (!IsEmptyName(entry.stills->audioFileName)) {
            DeleteCardFile(entry.stills->audioFileName);
        }
    }
}

bool CPadBankStore::DeleteMovieFiles(int pad) {
    const PadEntry* entry = PadInSelection(pad) ? padFile_.EntryAt(number_, pad) : nullptr;
    if (entry == nullptr || entry->kindCode != padlayout::kKindMovie || !entry->movie) {
        return false;
    }
    DeleteFilesOf(*entry);
    return true;
}

bool CPadBankStore::DeleteStillFiles(int pad) {
    const PadEntry* entry = PadInSelection(pad) ? padFile_.EntryAt(number_, pad) : nullptr;
    if (entry == nullptr || entry->kindCode != padlayout::kKindStill || !entry->stills) {
        return false;
    }
    DeleteFilesOf(*entry);
    return true;
}

bool CPadBankStore::DeletePad(int pad, bool deleteFiles) {
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

bool CPadBankStore::NamedInLoadedBank(const std::string& name) const {
    if (name.empty() || !padFile_.Loaded()) {
        return false;
    }
    const auto same = [&name](const NameField& field) {
        return UpperCase(NameText(field)) == UpperCase(name);
    };
    for (int number = 0; number < padlayout::kNumbers; ++number) {
        for (int pad = 0; pad < padlayout::kPads; ++pad) {
            const PadEntry* entry = padFile_.EntryAt(number, pad);
            if (entry == nullptr) {
                continue;
            }
            if (entry->Kind() == PadKindMovie && entry->movie &&
                (same(entry->movie->fileName) || same(entry->movie->audioFileName))) {
                return true;
            }
            if (entry->Kind() == PadKindStill && entry->stills) {
                if (same(entry->stills->audioFileName)) {
                    return true;
                }
                for (std::size_t i = 0; i < entry->stills->UsableCount(); ++i) {
                    if (same(entry->stills->stillNames[i])) {
                        return true;
                    }
                }
            }
        }
    }
    return false;
}

void CPadBankStore::DeleteReplacedFiles(const PadEntry& replaced) {
    if (!padFile_.IsOpen()) {
        return;
    }
    std::vector<NameField> names;
    if (replaced.Kind() == PadKindMovie && replaced.movie) {
        names = {replaced.movie->fileName, replaced.movie->audioFileName};
    } else if (replaced.Kind() == PadKindStill && replaced.stills) {
        names.assign(replaced.stills->stillNames.begin(),
                     replaced.stills->stillNames.begin() +
                         static_cast<std::ptrdiff_t>(replaced.stills->UsableCount()));
        names.push_back(replaced.stills->audioFileName);
    }
    for (const NameField& name : names) {
        if (!IsEmptyName(name) && !NamedInLoadedBank(NameText(name))) {
            DeleteCardFile(name);
        }
    }
    RescanFileNumbers();
}

std::optional<bool> CPadBankStore::ExportCardFile(const NameField& name,
                                                  const std::filesystem::path& folder) {
    const std::string text = NameText(name);
    const auto source = CardFilePath(text);
    if (!source || !FileExists(*source)) {
        return std::nullopt;
    }
    return CopyFileShell(folder / text, *source);
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
    std::vector<std::filesystem::path> sources;
    std::vector<std::filesystem::path> destinations;
    for (std::size_t i = 0; i < record->UsableCount(); ++i) {
        const std::string text = NameText(record->stillNames[i]);
        const auto source = CardFilePath(text);
        if (source && FileExists(*source)) {
            sources.push_back(*source);
            destinations.push_back(folder / text);
        }
    }
    bool result = true;
    if (!sources.empty()) {
        result = CopyFilesShell(sources, destinations);
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
        DebugOutput("delete: cannot delete " + path.string() + "\n");
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
