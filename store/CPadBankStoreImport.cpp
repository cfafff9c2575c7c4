// The commands of the store that convert: ImportFile, AddStillImage and AddStillImages. They are the
// parts of the store that drive the conversion engine (through CardConversion), kept apart from the pad
// and file bookkeeping. The store library as a whole links the engine (store/CMakeLists.txt).
#include "store/CPadBankStore.h"

#include "base/DiagnosticLog.h"
#include "engine/StillBatch.h"
#include "store/CardConversion.h"
#include "store/CardLayout.h"
#include "store/Leftovers.h"
#include "store/PrintableText.h"
#include "store/StoreMessages.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "import";

// A folder of our own in the temporary folder for one conversion, removed with what it holds. The
// converted file keeps the card file's name inside it; a private folder means no other user or program
// can have put a file or link of that name in our way.
class TemporaryWorkspace {
public:
    // The name carries this process's id, so that a later run can tell a folder of a run that was
    // killed from one still in use.
    explicit TemporaryWorkspace(const std::filesystem::path& parent) {
        std::string pattern = (parent / leftovers::OwnedPattern(leftovers::kImportPrefix)).string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        } else {
            error_ = errno;
            LogLine(kLogModule, "cannot create a temporary folder in " + parent.string());
        }
    }
    ~TemporaryWorkspace() {
        if (!path_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(path_, ec);
        }
    }
    TemporaryWorkspace(const TemporaryWorkspace&) = delete;
    TemporaryWorkspace& operator=(const TemporaryWorkspace&) = delete;

    bool Ok() const { return !path_.empty(); }
    int Error() const { return error_; }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    int error_ = 0;
};

MovieRecord NewMovieRecord(const std::string& name, std::uint32_t frames) {
    MovieRecord record;
    SetNameText(record.fileName, name);
    record.frameCount = frames;
    record.deviceByte3 = 1;
    record.deviceByte2 = 4;
    return record;
}

StillRecord NewStillRecord(const std::string& name, bool converted) {
    StillRecord record;
    SetNameText(record.stillNames[0], name);
    record.stillCount = 1;
    record.deviceByte2 = 4;
    record.deviceBytes[0] = converted ? 1 : 0;
    return record;
}

} // namespace

bool CPadBankStore::UsableInPlace(const std::string& name) {
    const auto state = InspectCardFile(name);
    if (state && state->exists && state->regular) {
        return true;
    }
    // A link in the card folder may lead out of the card; the device could not read it either.
    ShowMessage(PrintableName(name) + " cannot be recorded: on the card it is " +
                (state && state->exists ? state->typeWords : std::string("missing")) + ", not a file.");
    return false;
}

bool CPadBankStore::ReportConversion(const ConversionResult& result) {
    lastConversionResult_ = result.code;
    lastConversionCancelled_ = result.failure == ConversionFailure::Cancelled;
    if (const auto text = ConversionMessage(result, TemporaryFolder().string())) {
        ShowMessage(*text);
    }
    return result.Ok();
}

bool CPadBankStore::ImportFile(const std::filesystem::path& source, int pad, PadKind kind) {
    lastConversionResult_ = 0;
    lastConversionCancelled_ = false;
    if ((kind != PadKindMovie && kind != PadKindStill) || SelectedEntry(pad) == nullptr ||
        !FileExists(source)) {
        return false;
    }
    const PadEntry before = *SelectedEntry(pad);

    // A file in the card folder is recorded where it is. A name too long for the pad's name field
    // cannot be recorded; such a file is converted like any other.
    const std::string sourceName = source.filename().string();
    if (IsInCardFolder(source) && IsPlainCardName(sourceName)) {
        if (!UsableInPlace(sourceName)) {
            return false;
        }
        bool set = false;
        if (kind == PadKindMovie) {
            const std::uint32_t frames = MovieFrames(source).value_or(0);
            set = padFile_.SetMovieRecord(number_, pad, NewMovieRecord(sourceName, frames));
        } else {
            set = padFile_.SetStillRecord(number_, pad, NewStillRecord(sourceName, false));
        }
        return set && SaveChange(pad, before);
    }

    const auto number = NewFileNumber();
    if (!number) {
        ShowMessage(messages::kTooManyFiles);
        return false;
    }
    const std::string name = MakeCardFileName(*number, kind == PadKindMovie ? "AVI" : "JPG");
    const std::filesystem::path destination = cardFolder_ / name;
    // Removed, with what the conversion left in it, when the import ends.
    const TemporaryWorkspace workspace(TemporaryFolder());
    if (!workspace.Ok()) {
        ShowTemporaryFolderMessage(workspace.Error());
        return false;
    }
    const std::filesystem::path temporary = workspace.Path() / name;

    const ConversionResult converted =
        kind == PadKindMovie ? ConvertMovie(source, temporary, settings_, progress_, movieConverterHook_)
                             : ConvertPicture(source, temporary, settings_);
    if (!ReportConversion(converted)) {
        return false;
    }
    if (!CopyFileShell(destination, temporary)) {
        return false;
    }
    const bool set =
        kind == PadKindMovie
            ? padFile_.SetMovieRecord(number_, pad, NewMovieRecord(name, converted.frames.value_or(0)))
            : padFile_.SetStillRecord(number_, pad, NewStillRecord(name, true));
    // The new file is recorded nowhere unless the pad file takes it: then it goes again, and the
    // number with it.
    if (!set || !SaveChange(pad, before)) {
        DeleteFile(destination);
        return false;
    }
    lastFileNumber_ = std::max(lastFileNumber_, *number);
    return true;
}

int CPadBankStore::AddStillImage(const std::filesystem::path& source, int pad) {
    lastConversionResult_ = 0;
    lastConversionCancelled_ = false;
    PadEntry* entry = SelectedEntry(pad);
    if (entry == nullptr || entry->Kind() != PadKindStill || !entry->stills ||
        entry->stills->stillCount >= padlayout::kMaxStills || !FileExists(source)) {
        return -1;
    }
    const PadEntry before = *entry;
    StillRecord& stills = *entry->stills;

    const std::string sourceName = source.filename().string();
    if (IsInCardFolder(source) && IsPlainCardName(sourceName)) {
        if (!UsableInPlace(sourceName)) {
            return -1;
        }
        SetNameText(stills.stillNames[stills.stillCount], sourceName);
        stills.stillCount += 1;
        return SaveChange(pad, before) ? static_cast<int>(stills.stillCount) : -1;
    }

    const auto number = NewFileNumber();
    if (!number) {
        ShowMessage(messages::kTooManyFiles);
        return -1;
    }
    const std::string name = MakeCardFileName(*number, "JPG");
    const std::filesystem::path destination = cardFolder_ / name;
    const TemporaryWorkspace workspace(TemporaryFolder());
    if (!workspace.Ok()) {
        ShowTemporaryFolderMessage(workspace.Error());
        return -1;
    }
    const std::filesystem::path temporary = workspace.Path() / name;

    // A full temporary disk is no fault of the picture's: its message says so.
    if (!ReportConversion(ConvertPicture(source, temporary, settings_))) {
        return -1;
    }
    if (!CopyFileShell(destination, temporary)) {
        return -1;
    }
    SetNameText(stills.stillNames[stills.stillCount], name);
    stills.stillCount += 1;
    if (!SaveChange(pad, before)) {
        DeleteFile(destination);
        return -1;
    }
    lastFileNumber_ = std::max(lastFileNumber_, *number);
    return static_cast<int>(stills.stillCount);
}

int CPadBankStore::AddStillImages(const std::vector<std::filesystem::path>& sources, int pad,
                                  const std::function<bool(std::size_t, std::size_t)>& progress) {
    lastBatchFailure_.reset();
    lastConversionResult_ = 0;
    lastConversionCancelled_ = false;
    PadEntry* entry = SelectedEntry(pad);
    const bool empty = entry != nullptr && entry->Kind() == PadKindEmpty;
    if (entry == nullptr || sources.empty() ||
        (!empty && (entry->Kind() != PadKindStill || !entry->stills))) {
        return -1;
    }
    const std::size_t count = empty ? 0 : entry->stills->stillCount;
    if (count + sources.size() > padlayout::kMaxStills) {
        ShowMessage(messages::kStillLimit);
        return -1;
    }
    for (const auto& source : sources) {
        if (!FileExists(source)) {
            return -1;
        }
    }
    const PadEntry before = *entry;
    const std::uint32_t lastNumberBefore = lastFileNumber_;

    // Files already on the card are recorded where they are; the others are converted into a folder of
    // our own, under names of their position, and copied onto the card in the batch's order.
    std::vector<bool> inPlace(sources.size(), false);
    std::vector<StillBatchItem> items;
    std::vector<std::size_t> itemOf(sources.size(), 0);
    std::optional<TemporaryWorkspace> workspace;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const std::string sourceName = sources[i].filename().string();
        if (IsInCardFolder(sources[i]) && IsPlainCardName(sourceName)) {
            if (!UsableInPlace(sourceName)) {
                return -1;
            }
            inPlace[i] = true;
            continue;
        }
        if (!workspace) {
            workspace.emplace(TemporaryFolder());
            if (!workspace->Ok()) {
                ShowTemporaryFolderMessage(workspace->Error());
                return -1;
            }
        }
        itemOf[i] = items.size();
        items.push_back({sources[i].string(), (workspace->Path() / (std::to_string(i) + ".JPG")).string()});
    }

    if (!items.empty()) {
        StillBatchSettings settings;
        settings.quality = settings_.StillImageQuality();
        settings.fit = settings_.fit;
        const StillBatchOutcome outcome = ConvertStillBatch(items, settings, progress);
        if (outcome.cancelled) {
            lastConversionCancelled_ = true;
            return -1;
        }
        if (Failed(outcome.result)) {
            for (std::size_t i = 0; i < sources.size(); ++i) {
                if (!inPlace[i] && itemOf[i] == outcome.failedIndex) {
                    lastBatchFailure_ = i;
                }
            }
            LogLine(kLogModule, items[outcome.failedIndex].sourcePath + " could not be converted");
            ConversionResult failed;
            failed.failure = ConversionFailure::Failed;
            failed.code = outcome.result;
            ReportConversion(failed);
            return -1;
        }
    }

    // Onto the card, each under the next file number, as one-by-one additions would have numbered them.
    std::vector<std::filesystem::path> copied;
    const auto undo = [&] {
        for (const auto& file : copied) {
            DeleteFile(file);
        }
        lastFileNumber_ = lastNumberBefore;
        if (PadEntry* current = SelectedEntry(pad)) {
            *current = before;
        }
        return -1;
    };
    std::vector<std::string> names;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (inPlace[i]) {
            names.push_back(sources[i].filename().string());
            continue;
        }
        const std::filesystem::path temporary = items[itemOf[i]].destinationPath;
        if (!FitsOnCard(temporary)) {
            ShowMessage(messages::kFileTooLarge);
            return undo();
        }
        const auto number = NewFileNumber();
        if (!number) {
            ShowMessage(messages::kTooManyFiles);
            return undo();
        }
        const std::string name = MakeCardFileName(*number, "JPG");
        if (!CopyFileShell(cardFolder_ / name, temporary)) {
            return undo();
        }
        copied.push_back(cardFolder_ / name);
        lastFileNumber_ = std::max(lastFileNumber_, *number);
        names.push_back(name);
    }

    // The record as the additions one by one leave it: an empty pad takes the first picture as a new
    // still record (marked converted unless it was on the card), the others are appended.
    StillRecord record = empty ? NewStillRecord(names[0], !inPlace[0]) : *entry->stills;
    for (std::size_t i = empty ? 1 : 0; i < names.size(); ++i) {
        SetNameText(record.stillNames[record.stillCount], names[i]);
        record.stillCount += 1;
    }
    if (!padFile_.SetStillRecord(number_, pad, record)) {
        return undo();
    }
    if (!SaveChange(pad, before)) {
        return undo();
    }
    return static_cast<int>(record.stillCount);
}

} // namespace k72
