#include "store/PadImport.h"

#include "base/DiagnosticLog.h"
#include "store/CardLayout.h"
#include "store/CardOpenResult.h"
#include "store/DeviceForm.h"
#include "store/ImportSpace.h"
#include "store/ImportedSources.h"
#include "store/PrintableText.h"
#include "store/SourceIdentification.h"
#include "store/StoreMessages.h"

#include <algorithm>
#include <sys/stat.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "import";

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

// The folder of a source on the card, compared as the file system sees it, so that neither a different
// spelling of the card folder nor a file in a folder below it counts wrongly.
bool IsInCardFolder(const std::filesystem::path& source, const std::filesystem::path& cardFolder) {
    if (cardFolder.empty()) {
        return false;
    }
    std::error_code ec;
    const auto folder = std::filesystem::absolute(source, ec).parent_path();
    return !ec && std::filesystem::equivalent(folder, cardFolder, ec) && !ec;
}

// How the free-space message names what is imported.
std::string WhatIsImported(const ImportRequest& request) {
    if (request.kind == PadKindMovie || request.sources.size() == 1) {
        return "\"" + request.sources.front().filename().string() + "\"";
    }
    return std::to_string(request.sources.size()) + " pictures";
}

StoreResult ConversionFailed(const ConversionResult& result, const std::filesystem::path& temporaryFolder) {
    StoreResult failed;
    failed.failure = result.failure == ConversionFailure::Cancelled  ? StoreFailure::Cancelled
                     : result.failure == ConversionFailure::TooLarge ? StoreFailure::TooLarge
                                                                     : StoreFailure::ConversionFailed;
    failed.code = result.code;
    failed.text = ConversionMessage(result, temporaryFolder.string()).value_or(std::string());
    return failed;
}

} // namespace

PadImport::PadImport(CPadBankStore& store, IFileCopy& fileCopy, const Settings& settings,
                     MovieConverterHook hook)
    : store_(store), fileCopy_(fileCopy), settings_(settings), hook_(std::move(hook)) {}

StoreOutcome<std::vector<PreparedImport::Item>> PadImport::ItemsOf(const ImportRequest& request) const {
    // A file in the card folder that the device plays as it is, under a name it finds, is recorded where
    // it is (its name given); any other (a CLIP.MP4, a photo.jpg, a name too long for the pad's name
    // field) is converted like a file from elsewhere (no name yet).
    std::vector<PreparedImport::Item> items;
    for (std::size_t i = 0; i < request.sources.size(); ++i) {
        const std::filesystem::path& source = request.sources[i];
        const std::string name = source.filename().string();
        StoreResult unusable;
        struct stat info {};
        if (::stat(source.c_str(), &info) != 0) {
            unusable = StoreFailed(StoreFailure::SourceUnusable,
                                   "The file " + PrintableName(source.string()) + " is not there.");
        } else if (!S_ISREG(info.st_mode)) {
            // A FIFO or a device would keep the conversion waiting for ever.
            unusable =
                StoreFailed(StoreFailure::SourceUnusable, PrintableName(source.string()) + " is " +
                                                              FileTypeWords(info.st_mode) + ", not a file.");
        } else if (IsInCardFolder(source, store_.CardFolder()) && InDeviceForm(source, request.kind)) {
            const auto state = store_.Files().Inspect(name);
            if (state && state->exists && state->regular) {
                items.push_back({source, name, {}});
                continue;
            }
            // A link in the card folder may lead out of the card; the device could not read it either.
            unusable = StoreFailed(StoreFailure::SourceUnusable,
                                   PrintableName(name) + " cannot be recorded: on the card it is " +
                                       (state && state->exists ? state->typeWords : std::string("missing")) +
                                       ", not a file.");
        }
        if (!unusable) {
            unusable.source = i;
            return unusable;
        }
        items.push_back({source, {}, {}});
    }
    return {StoreResult{}, std::move(items)};
}

StoreOutcome<PreparedImport> PadImport::Prepare(const ImportRequest& request, IPadQuestions* questions) {
    const PadEntry* entry = store_.Entry(request.pad);
    if (entry == nullptr) {
        return StoreFailed(StoreFailure::NoPad);
    }
    const bool movie = request.kind == PadKindMovie;
    if ((!movie && request.kind != PadKindStill) || request.sources.empty() ||
        (movie && request.sources.size() != 1)) {
        return StoreFailed(StoreFailure::WrongKind);
    }
    PreparedImport prepared;
    prepared.where = {store_.Bank(), store_.Number(), request.pad};
    prepared.kind = request.kind;
    prepared.append = !movie && request.add && entry->Kind() == PadKindStill && entry->stills;
    prepared.settings = settings_;
    prepared.hook = hook_;
    prepared.temporaryFolder = store_.TemporaryFolder();

    const std::size_t count = prepared.append ? entry->stills->stillCount : 0;
    if (!movie && count + request.sources.size() > padlayout::kMaxStills) {
        return StoreFailed(StoreFailure::StillLimit, messages::kStillLimit);
    }
    auto items = ItemsOf(request);
    if (!items) {
        return StoreResult(std::move(items));
    }
    prepared.items = std::move(items.value);
    const auto toConvert = static_cast<std::size_t>(
        std::count_if(prepared.items.begin(), prepared.items.end(),
                      [](const PreparedImport::Item& item) { return item.name.empty(); }));

    if (!prepared.append && entry->Kind() != PadKindEmpty) {
        if (questions != nullptr && !questions->ReplacePad(request.pad, *entry)) {
            return StoreFailed(StoreFailure::Declined);
        }
        prepared.replaced = *entry;
    }
    if (toConvert == 0) {
        return {StoreResult{}, std::move(prepared)};
    }
    // Checked before anything is converted, so that a long conversion does not end in a full card.
    const ImportSize size{movie ? request.sources.front() : std::filesystem::path(), movie ? 0 : toConvert,
                          WhatIsImported(request)};
    if (auto text = NotEnoughSpaceText(store_.CardFolder(), size, settings_)) {
        return StoreFailed(StoreFailure::NoSpace, std::move(*text));
    }
    auto numbers = store_.ReserveFileNumbers(toConvert);
    if (!numbers) {
        return StoreResult(std::move(numbers));
    }
    prepared.numbers = std::move(numbers.value);
    // Removed, with what the conversion left in it, when the import ends.
    prepared.workspace = std::make_unique<TemporaryWorkspace>(prepared.temporaryFolder);
    if (!prepared.workspace->Ok()) {
        return prepared.workspace->Failure();
    }
    std::size_t next = 0;
    for (PreparedImport::Item& item : prepared.items) {
        if (item.name.empty()) {
            item.name = MakeCardFileName(prepared.numbers.Numbers()[next++], movie ? "AVI" : "JPG");
            item.converted = prepared.workspace->Path() / item.name;
        }
    }
    return {StoreResult{}, std::move(prepared)};
}

StoreOutcome<ConvertedImport> PadImport::Convert(const PreparedImport& prepared,
                                                 IConversionProgress* progress,
                                                 const StillBatchProgress& pictureProgress) {
    ConvertedImport converted;
    // Read for the record of sources beside the conversion, which reads them anyway.
    std::vector<std::filesystem::path> toIdentify;
    for (const PreparedImport::Item& item : prepared.items) {
        if (!item.InPlace()) {
            toIdentify.push_back(item.source);
        }
    }
    SourceIdentification identification(toIdentify);
    const auto identified = [&] {
        std::vector<std::optional<SourceIdentity>> found = identification.Take();
        std::size_t next = 0;
        for (const PreparedImport::Item& item : prepared.items) {
            converted.sources.push_back(item.InPlace() ? std::nullopt : std::move(found[next++]));
        }
        return StoreOutcome<ConvertedImport>{StoreResult{}, converted};
    };
    if (prepared.kind == PadKindMovie) {
        const PreparedImport::Item& item = prepared.items.front();
        if (item.InPlace()) {
            converted.frames = MovieFrames(item.source);
            return identified();
        }
        const ConversionResult result =
            ConvertMovie(item.source, item.converted, prepared.settings, progress, prepared.hook);
        if (!result) {
            return ConversionFailed(result, prepared.temporaryFolder);
        }
        converted.frames = result.frames;
        return identified();
    }

    std::vector<StillBatchItem> batch;
    std::vector<std::size_t> sourceOf;
    for (std::size_t i = 0; i < prepared.items.size(); ++i) {
        if (!prepared.items[i].InPlace()) {
            batch.push_back({prepared.items[i].source.string(), prepared.items[i].converted.string()});
            sourceOf.push_back(i);
        }
    }
    if (batch.empty()) {
        return identified();
    }
    StillBatchSettings settings;
    settings.quality = prepared.settings.StillImageQuality();
    settings.fit = prepared.settings.fit;
    const StillBatchOutcome outcome = ConvertStillBatch(batch, settings, pictureProgress);
    if (outcome.cancelled) {
        return StoreFailed(StoreFailure::Cancelled, {}, outcome.result);
    }
    if (Failed(outcome.result)) {
        LogLine(kLogModule, batch[outcome.failedIndex].sourcePath + " could not be converted");
        // A full temporary disk is no fault of the picture's: its message says so.
        StoreResult failed =
            ConversionFailed({ConversionFailure::Failed, outcome.result, std::nullopt, outcome.cause},
                             prepared.temporaryFolder);
        failed.source = sourceOf[outcome.failedIndex];
        return failed;
    }
    for (std::size_t k = 0; k < batch.size(); ++k) {
        if (!FitsOnCard(batch[k].destinationPath)) {
            StoreResult failed = StoreFailed(StoreFailure::TooLarge, messages::kFileTooLarge);
            failed.source = sourceOf[k];
            return failed;
        }
    }
    return identified();
}

StoreOutcome<PadEntry> PadImport::RecordFor(const PreparedImport& prepared,
                                            const ConvertedImport& converted) {
    const auto& items = prepared.items;
    if (prepared.kind == PadKindMovie) {
        return {StoreResult{}, MoviePad(NewMovieRecord(items.front().name, converted.frames.value_or(0)))};
    }
    StillRecord record;
    std::size_t first = 0;
    if (prepared.append) {
        // The pad's pictures as they are now: another import may have added to them since this one was
        // prepared.
        const auto current = store_.EntryAt(prepared.where);
        if (!current || current->Kind() != PadKindStill || !current->stills) {
            return StoreFailed(StoreFailure::WrongKind,
                               "Pad " + prepared.where.Text() + " no longer holds pictures to add to.");
        }
        record = *current->stills;
        if (record.stillCount + items.size() > padlayout::kMaxStills) {
            return StoreFailed(StoreFailure::StillLimit, messages::kStillLimit);
        }
    } else {
        // A new still image pad; its first picture marks it converted unless it was on the card.
        record = NewStillRecord(items.front().name, !items.front().InPlace());
        first = 1;
    }
    for (std::size_t i = first; i < items.size(); ++i) {
        SetNameText(record.stillNames[record.stillCount], items[i].name);
        record.stillCount += 1;
    }
    return {StoreResult{}, StillPad(record)};
}

StoreResult PadImport::Commit(PreparedImport prepared, const ConvertedImport& converted) {
    auto after = RecordFor(prepared, converted);
    if (!after) {
        return StoreResult(std::move(after));
    }
    // Onto the card in the list's order; the files go again when anything after them fails, since no
    // pad would name them.
    std::vector<std::string> copied;
    const auto undo = [&] {
        for (const std::string& name : copied) {
            store_.Files().Remove(name);
        }
    };
    for (const PreparedImport::Item& item : prepared.items) {
        if (item.InPlace()) {
            continue;
        }
        if (!fileCopy_.Copy({FileCopyItem{item.converted, store_.CardFolder() / item.name}})) {
            undo();
            return StoreFailed(StoreFailure::CopyFailed);
        }
        copied.push_back(item.name);
    }
    StoreResult result = store_.WritePad(prepared.where, after.value);
    if (!result) {
        undo();
        return result;
    }
    prepared.numbers.Commit();
    result.change.added = std::move(copied);
    // Only after the pad is saved: the record is a shortcut the pad never depends on.
    std::vector<ImportedSource> imported;
    for (std::size_t i = 0; i < prepared.items.size() && i < converted.sources.size(); ++i) {
        if (!prepared.items[i].InPlace()) {
            imported.push_back({prepared.items[i].name,
                                prepared.kind == PadKindMovie ? SourceKind::Movie : SourceKind::Picture,
                                prepared.items[i].source, converted.sources[i], prepared.settings});
        }
    }
    (void)RecordImportedSources(store_.CardFolder(), imported);
    return result;
}

} // namespace k72
