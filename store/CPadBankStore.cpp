#include "store/CPadBankStore.h"

#include "codecs/DiagnosticLog.h"
#include "store/CardLayout.h"

#include <cerrno>
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
        padFile_.SaveBank();
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
            padFile_.SaveBank();
        } else if (anyMissing) {
            for (std::size_t i = 0; i < padlayout::kMaxStills; ++i) {
                stills.stillNames[i] = i < kept.size() ? kept[i] : NameField{};
            }
            stills.stillCount = static_cast<std::uint32_t>(kept.size());
            padFile_.SaveBank();
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
