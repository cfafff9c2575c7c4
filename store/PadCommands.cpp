#include "store/PadCommands.h"

#include "codecs/SoundConverter.h"
#include "engine/PcmFileCheck.h"
#include "store/CardHistory.h"
#include "store/CardLayout.h"
#include "store/HistoryStep.h"
#include "store/ImportedSources.h"
#include "store/PrintableText.h"
#include "store/ShortName.h"
#include "store/SourceIdentification.h"
#include "store/StoreMessages.h"
#include "store/TemporaryWorkspace.h"

#include <algorithm>
#include <fstream>
#include <set>

namespace k72 {
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

// The sound a movie or still image pad names; empty for none or another kind of pad.
std::string SoundOf(const PadEntry& entry) {
    if (entry.Kind() == PadKindMovie && entry.movie) {
        return NameText(entry.movie->audioFileName);
    }
    if (entry.Kind() == PadKindStill && entry.stills) {
        return NameText(entry.stills->audioFileName);
    }
    return {};
}

// What a sound conversion that did not finish says; a success when it finished.
StoreResult SoundConversionFailure(const SoundConversionRun& run, const std::string& shownName,
                                   const std::filesystem::path& temporaryFolder) {
    if (run.cancelled) {
        // Whatever the converter got to, even a finished file, goes with the folder.
        return StoreFailed(StoreFailure::Cancelled,
                           "The conversion of \"" + shownName +
                               "\" was cancelled.\nThe pad's sound has not changed.");
    }
    if (run.result == rc::DiscSpaceInsufficient) {
        return StoreFailed(StoreFailure::TemporaryFolder,
                           messages::TemporaryDiskFull(temporaryFolder.string()), run.result);
    }
    if (run.result == rc::OutOfMemory) {
        return StoreFailed(StoreFailure::ConversionFailed, messages::OutOfMemory(shownName), run.result);
    }
    if (run.result == rc::FileError) {
        return StoreFailed(StoreFailure::TemporaryFolder,
                           messages::TemporaryFolderUnusable(
                               temporaryFolder.string(), "the converted sound could not be written to it"),
                           run.result);
    }
    if (run.result == rc::FileSizeOverLimit) {
        return StoreFailed(StoreFailure::ConversionFailed,
                           "\"" + shownName +
                               "\" is too long for the K-72: as a WAV file of 16-bit PCM, 44,100 Hz, "
                               "stereo it would be larger than 4 GB.",
                           run.result);
    }
    if (Failed(run.result)) {
        return StoreFailed(StoreFailure::ConversionFailed, messages::kLoadFailed, run.result);
    }
    return {};
}

} // namespace

PadCommands::PadCommands(CPadBankStore& store, IFileCopy* fileCopy, IConversionProgress* progress)
    : store_(store), fileCopy_(fileCopy), progress_(progress) {}

PadImport PadCommands::Importer() {
    return PadImport(store_, FileCopy(), settings_, movieConverterHook_);
}

PadLocation PadCommands::Here(int pad) const {
    return {store_.Bank(), store_.Number(), pad};
}

StoreResult PadCommands::Import(const ImportRequest& request, IPadQuestions* questions,
                                const StillBatchProgress& pictureProgress) {
    PadImport importer = Importer();
    auto prepared = importer.Prepare(request, questions);
    std::string madeRoom;
    if (prepared.failure == StoreFailure::NoSpace) {
        // The files kept for undoing earlier changes give their room to the import. The user has
        // answered the one question Prepare asks already.
        CardHistory history(store_);
        if (history.KeepsFiles()) {
            history.Forget();
            madeRoom = "To make room, the files kept for undoing earlier changes were deleted; those changes "
                       "can no longer be undone.";
            prepared = importer.Prepare(request, nullptr);
        }
    }
    if (!prepared) {
        return StoreResult(std::move(prepared));
    }
    // Nothing of the pad has changed yet: its record is read for the history here.
    HistoryStep step(store_, Here(request.pad), "import onto pad " + Here(request.pad).Text());
    const std::optional<PadEntry> replaced = prepared.value.replaced;
    CardMark card = KeptImport::MarkOf(store_);
    const auto converted = PadImport::Convert(prepared.value, progress_, pictureProgress);
    if (!converted) {
        return StoreResult(converted);
    }
    if (keepImports_ && !store_.CardStillThere()) {
        kept_ = std::make_unique<KeptImport>(request, prepared.value, converted.value, std::move(card));
        return StoreFailed(StoreFailure::NoCard,
                           "The card was taken out while " + kept_->SourceText() +
                               " was converted. The conversion is kept: put the same card back in to "
                               "put it onto pad " +
                               kept_->Where().Text() + ".");
    }
    StoreResult result = importer.Commit(std::move(prepared.value), converted.value);
    // What the pad held before is no longer used by it; the user may want the space back.
    if (result && replaced && questions != nullptr &&
        questions->DeleteReplacedFiles(request.pad, *replaced)) {
        StoreResult deleted = store_.Files().DeleteUnused(FileNamesOf(*replaced), {}, step.Trash());
        store_.RescanFileNumbers();
        Merge(result, std::move(deleted));
    }
    if (result && !madeRoom.empty()) {
        AddLine(result.text, madeRoom);
    }
    return step.Record(std::move(result));
}

StoreResult PadCommands::FinishKeptImport() {
    if (!KeptImportFitsCard()) {
        return StoreFailed(StoreFailure::NoCard, "The card the conversion was kept for is not open.");
    }
    PadImport importer = Importer();
    // Whatever the finish gives, the kept files are used up.
    const std::unique_ptr<KeptImport> kept = std::move(kept_);
    HistoryStep step(store_, kept->Where(), "import onto pad " + kept->Where().Text());
    return step.Record(kept->Finish(store_, importer));
}

// --- A still image pad's pictures ---

StoreResult PadCommands::WritePictures(int pad, const std::vector<NameField>& names) {
    // A pad without pictures is an empty pad.
    PadEntry after;
    if (!names.empty()) {
        after = *store_.Entry(pad);
        StillRecord& stills = *after.stills;
        for (std::size_t i = 0; i < padlayout::kMaxStills; ++i) {
            stills.stillNames[i] = i < names.size() ? names[i] : NameField{};
        }
        stills.stillCount = static_cast<std::uint32_t>(names.size());
    }
    return store_.WritePad({store_.Bank(), store_.Number(), pad}, after);
}

StoreOutcome<std::vector<NameField>> PadCommands::Pictures(int pad,
                                                           std::initializer_list<int> positions) const {
    const PadEntry* entry = store_.Entry(pad);
    if (entry == nullptr || entry->Kind() != PadKindStill || !entry->stills) {
        return StoreFailed(StoreFailure::WrongKind);
    }
    const StillRecord& stills = *entry->stills;
    for (const int position : positions) {
        if (position < 0 || static_cast<std::size_t>(position) >= stills.UsableCount()) {
            return StoreFailed(StoreFailure::NoSuchPicture);
        }
    }
    return {StoreResult{},
            std::vector<NameField>(stills.stillNames.begin(),
                                   stills.stillNames.begin() + static_cast<long>(stills.UsableCount()))};
}

StoreResult PadCommands::RemovePicture(int pad, int position, bool deleteFile) {
    HistoryStep step(store_, Here(pad), "removal of a picture from pad " + Here(pad).Text());
    auto names = Pictures(pad, {position});
    if (!names) {
        return StoreResult(std::move(names));
    }
    const std::string removed = NameText(names.value[static_cast<std::size_t>(position)]);
    names.value.erase(names.value.begin() + position);
    StoreResult result = WritePictures(pad, names.value);
    if (!result) {
        return result;
    }
    // Only once the pad file on the card no longer names it (this list or any other pad).
    if (deleteFile && !removed.empty()) {
        Merge(result, store_.Files().DeleteUnused({removed}, {}, step.Trash()));
    }
    store_.RescanFileNumbers();
    return step.Record(std::move(result));
}

StoreResult PadCommands::MovePicture(int pad, int from, int to) {
    HistoryStep step(store_, Here(pad), "move of a picture on pad " + Here(pad).Text());
    auto names = Pictures(pad, {from, to});
    if (!names) {
        return StoreResult(std::move(names));
    }
    auto first = names.value.begin();
    if (from < to) {
        std::rotate(first + from, first + from + 1, first + to + 1);
    } else {
        std::rotate(first + to, first + from, first + from + 1);
    }
    return step.Record(WritePictures(pad, names.value));
}

StoreResult PadCommands::SwapPictures(int pad, int i, int j) {
    HistoryStep step(store_, Here(pad), "exchange of pictures on pad " + Here(pad).Text());
    auto names = Pictures(pad, {i, j});
    if (!names) {
        return StoreResult(std::move(names));
    }
    std::swap(names.value[static_cast<std::size_t>(i)], names.value[static_cast<std::size_t>(j)]);
    return step.Record(WritePictures(pad, names.value));
}

// --- Sound ---

StoreOutcome<AttachedSound> PadCommands::AttachSound(int pad, const std::filesystem::path& source,
                                                     IPadQuestions* questions, std::string name) {
    if (store_.Entry(pad) == nullptr) {
        return StoreFailed(StoreFailure::NoPad);
    }
    const PadKind kind = store_.PadKindOf(pad);
    if (kind != PadKindMovie && kind != PadKindStill) {
        return StoreFailed(StoreFailure::WrongKind,
                           "A sound can only be attached to a pad that holds a movie or pictures.");
    }
    const std::string shownName = source.filename().string();
    std::filesystem::path file = source;
    std::optional<TemporaryWorkspace> workspace;
    const ResultCode check = CheckPcmWaveFile(source.string());
    if (check == rc::PcmOpenFailed) {
        return StoreFailed(StoreFailure::SourceUnusable, messages::kLoadFailed, check);
    }
    // Read for the record of sources while it is converted or copied.
    SourceIdentification identification({source});
    if (Failed(check)) {
        const std::string question = "\"" + shownName +
                                     "\" cannot be used as it is: " + PcmFileProblem(source.string()) +
                                     ".\nThe K-72 plays only WAV files of 16-bit PCM, 44,100 Hz, stereo.\n\n"
                                     "Convert it into that form?";
        if (questions == nullptr || !questions->ConvertSound(question)) {
            return StoreFailed(StoreFailure::SoundNotAccepted, {}, check);
        }
        // Converted into a private folder under its 8.3 name; that file is what the card receives.
        workspace.emplace(store_.TemporaryFolder());
        if (!workspace->Ok()) {
            return workspace->Failure();
        }
        if (name.empty()) {
            name = ConvertedSoundName(source);
        }
        file = workspace->Path() / name;
        const SoundConversionRun run =
            questions->RunSoundConversion(shownName, [&](const SoundConversionControl& control) {
                return ConvertSoundToDeviceWav(source.string(), file.string(), control);
            });
        if (StoreResult failed = SoundConversionFailure(run, shownName, store_.TemporaryFolder()); !failed) {
            return failed;
        }
    }
    AttachedSound attached{name.empty() ? shownName : name, workspace.has_value()};
    const std::string before = SoundOf(*store_.Entry(pad));
    HistoryStep step(store_, Here(pad), "sound on pad " + Here(pad).Text());
    StoreResult result = SetSound(pad, file, attached.name);
    // A copy that failed has said why in its own window.
    if (!result && result.text.empty() && result.failure != StoreFailure::CopyFailed) {
        result.text = messages::kLoadFailed;
    }
    // The sound the pad had before goes into the same step of the history, so that an undo brings it back.
    if (result && !before.empty() && UpperCase(before) != UpperCase(SoundOf(*store_.Entry(pad)))) {
        ReleaseSound(pad, before, questions, result, step.Trash());
    }
    // A sound this attach wrote onto the card; one that was there already keeps what the record says of it.
    const std::string now = result ? SoundOf(*store_.Entry(pad)) : std::string();
    if (!now.empty() &&
        std::find(result.change.added.begin(), result.change.added.end(), now) != result.change.added.end()) {
        (void)RecordImportedSources(store_.CardFolder(), {{now, SourceKind::Sound, source,
                                                           identification.Take().front(), settings_}});
    }
    return {step.Record(std::move(result)), std::move(attached)};
}

void PadCommands::ReleaseSound(int pad, const std::string& freed, IPadQuestions* questions,
                               StoreResult& result, const CardFiles::Remover& trash) {
    // Another pad's sound stays, and so does a name that leads to no file.
    if (store_.Files().UsedBy(freed) || !store_.Files().IsFile(freed)) {
        return;
    }
    const std::optional<bool> remove =
        questions != nullptr ? questions->DeleteFreedSound(pad, freed) : std::optional<bool>();
    if (remove.value_or(false)) {
        Merge(result, store_.Files().DeleteUnused({freed}, {}, trash));
    } else if (!remove) {
        AddLine(result.text, PrintableName(freed) +
                                 ", the sound the pad had before, is named by no pad now and stays on the "
                                 "card.\nChecking the card moves such files into its UNUSED folder.");
    }
}

StoreResult PadCommands::RemoveSound(int pad, bool deleteFile) {
    const PadEntry* entry = store_.Entry(pad);
    if (entry == nullptr) {
        return StoreFailed(StoreFailure::NoPad);
    }
    const std::string sound = SoundOf(*entry);
    if (sound.empty()) {
        return StoreFailed(StoreFailure::WrongKind,
                           "Pad " + PadLocation{store_.Bank(), store_.Number(), pad}.Text() +
                               " has no sound.");
    }
    PadEntry after = *entry;
    (after.Kind() == PadKindMovie ? after.movie->audioFileName : after.stills->audioFileName) = NameField{};
    HistoryStep step(store_, Here(pad), "sound off pad " + Here(pad).Text());
    StoreResult result = store_.WritePad(Here(pad), after);
    // Only once the pad file on the card no longer names it (this pad or any other).
    if (result && deleteFile) {
        Merge(result, store_.Files().DeleteUnused({sound}, {}, step.Trash()));
    }
    return step.Record(std::move(result));
}

// A sound copied into the card folder: the 8.3 name the pad records, and whether this copy wrote it.
struct PadCommands::SoundCopy {
    std::string shortName;
    bool written = false;
};

StoreOutcome<PadCommands::SoundCopy> PadCommands::CopySoundAs(const PadLocation& where,
                                                              const std::filesystem::path& file,
                                                              const std::filesystem::path& destination) {
    // A file that a record names is never replaced by the sound, unless it is this pad's own sound; the
    // very same sound already there is shared, not replaced.
    const std::string onCard = destination.filename().string();
    auto user = store_.Files().UsedBy(onCard, {}, where);
    const auto state = store_.Files().Inspect(onCard);
    if (user && state && state->exists && state->regular && SameContent(state->path, file)) {
        user.reset();
    }
    if (user) {
        return StoreFailed(StoreFailure::NameTaken,
                           "The sound cannot be stored as " + PrintableName(onCard) + ": pad " + *user +
                               " uses that file.\nRename the sound file and try again.");
    }
    if (!MayCopy(file, destination)) {
        return StoreFailed(StoreFailure::CopyFailed);
    }
    // A declined overwrite keeps the file that is there already, which then is the pad's sound.
    SoundCopy copy;
    copy.written = FileCopy().Copy({FileCopyItem{file, destination}});
    if (!CardFiles::Exists(destination)) {
        return StoreFailed(StoreFailure::CopyFailed);
    }
    return {StoreResult{}, std::move(copy)};
}

StoreOutcome<PadCommands::SoundCopy> PadCommands::CopySoundTailed(const std::filesystem::path& file,
                                                                  const std::string& name) {
    // The short name FAT would have given the copy: the first free numeric tail, unless one of the
    // tailed names already holds this very sound.
    const std::filesystem::path& folder = store_.CardFolder();
    std::set<std::string> taken;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        taken.insert(UpperCase(it->path().filename().string()));
    }
    for (unsigned n = 1; n <= 999999; ++n) {
        SoundCopy copy;
        copy.shortName = TailedShortName(name, n);
        if (taken.count(copy.shortName) != 0) {
            const auto existing = FindEntryNoCase(folder, copy.shortName);
            if (existing && SameContent(*existing, file)) {
                return {StoreResult{}, std::move(copy)};
            }
            continue;
        }
        const auto destination = folder / copy.shortName;
        if (!FileCopy().Copy({FileCopyItem{file, destination}}) || !CardFiles::Exists(destination)) {
            return StoreFailed(StoreFailure::CopyFailed);
        }
        copy.written = true;
        return {StoreResult{}, std::move(copy)};
    }
    return StoreFailed(StoreFailure::BadName);
}

StoreResult PadCommands::SetSound(int pad, const std::filesystem::path& file, const std::string& name) {
    // The name becomes a file in the card folder: it must be a plain name, and never the pad file.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos || UpperCase(name) == cardlayout::kPadFileName) {
        return StoreFailed(StoreFailure::BadName);
    }
    const PadLocation where{store_.Bank(), store_.Number(), pad};
    const std::filesystem::path& folder = store_.CardFolder();
    StoreOutcome<SoundCopy> copied;
    if (FolderKeepsShortNames(folder)) {
        // The card itself: the file keeps its long name and FAT gives it a short one.
        const auto destination = FindEntryNoCase(folder, name).value_or(folder / name);
        copied = CopySoundAs(where, file, destination);
        if (copied) {
            const auto fatName = ReadFatShortName(folder, destination.filename().string());
            if (!fatName) {
                return StoreFailed(StoreFailure::BadName);
            }
            copied.value.shortName = UpperCase(*fatName);
        }
    } else if (const auto exact = ExactShortName(name)) {
        // A name that is an 8.3 name already is copied under its upper-case form.
        if (*exact == cardlayout::kPadFileName) {
            return StoreFailed(StoreFailure::BadName);
        }
        copied = CopySoundAs(where, file, FindEntryNoCase(folder, *exact).value_or(folder / *exact));
        copied.value.shortName = *exact;
    } else {
        copied = CopySoundTailed(file, name);
    }
    if (!copied) {
        return StoreResult(std::move(copied));
    }
    PadEntry after = *store_.Entry(pad);
    NameField& audio =
        after.Kind() == PadKindMovie ? after.movie->audioFileName : after.stills->audioFileName;
    if (!SetNameText(audio, copied.value.shortName)) {
        return StoreFailed(StoreFailure::BadName);
    }
    StoreResult result = store_.WritePad(where, after);
    if (result && copied.value.written) {
        result.change.added.push_back(copied.value.shortName);
    }
    return result;
}

// --- The pad as a whole ---

StoreResult PadCommands::DeletePad(int pad, bool deleteFiles) {
    const PadEntry* entry = store_.Entry(pad);
    if (entry == nullptr) {
        return StoreFailed(StoreFailure::NoPad);
    }
    // The pad is cleared on the card first and its files deleted only then, so that a card that cannot
    // be written keeps both the pad and the files it names.
    const PadEntry before = *entry;
    HistoryStep step(store_, Here(pad), "delete of pad " + Here(pad).Text());
    StoreResult result = store_.WritePad(Here(pad), PadEntry{});
    if (!result) {
        return result;
    }
    if (deleteFiles) {
        Merge(result, store_.Files().DeleteUnused(FileNamesOf(before), {}, step.Trash()));
    }
    store_.RescanFileNumbers();
    return step.Record(std::move(result));
}

bool PadCommands::MayCopy(const std::filesystem::path& source, const std::filesystem::path& destination) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(destination, ec)) ||
        SameContent(source, destination)) {
        return true;
    }
    return FileCopy().MayReplace(source, destination);
}

StoreResult PadCommands::ExportPad(int pad, const std::filesystem::path& folder) {
    const PadEntry* entry = store_.Entry(pad);
    const PadKind kind = entry != nullptr ? entry->Kind() : PadKindEmpty;
    if (kind == PadKindEmpty || (kind == PadKindMovie && !entry->movie) ||
        (kind == PadKindStill && !entry->stills)) {
        return StoreFailed(entry == nullptr ? StoreFailure::NoPad : StoreFailure::WrongKind);
    }
    // The pictures go in one copy; the movie and the sound each in a copy of their own. Files no longer
    // on the card are skipped; a link may lead out of the card and a FIFO would never end the copy, so
    // neither is copied.
    std::vector<std::vector<FileCopyItem>> copies(1);
    const std::vector<std::string> names = FileNamesOf(*entry);
    const NameField& sound =
        kind == PadKindMovie ? entry->movie->audioFileName : entry->stills->audioFileName;
    StoreResult result;
    // The card folder is read once: each missing name would otherwise search all of it again.
    const CardFiles::Listing listing = store_.Files().List();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool isSound = !IsEmptyName(sound) && i + 1 == names.size();
        if (isSound || kind == PadKindMovie) {
            copies.emplace_back();
        }
        const auto state = store_.Files().Inspect(names[i], listing);
        if (state && state->exists && state->regular) {
            copies.back().push_back(FileCopyItem{state->path, folder / names[i], true});
        } else if (state && state->exists) {
            AddLine(result.text, PrintableName(names[i]) + " was not exported: on the card it is " +
                                     state->typeWords + ", not a file.");
            result.failure = StoreFailure::Incomplete;
        } else {
            AddLine(result.text, PrintableName(names[i]) + " was not exported: it is not on the card.");
        }
    }
    // Every file that may not be replaced is named before anything is copied.
    bool refused = false;
    for (const std::vector<FileCopyItem>& items : copies) {
        for (const FileCopyItem& item : items) {
            refused = !MayCopy(item.source, item.destination) || refused;
        }
    }
    if (refused) {
        return StoreFailed(StoreFailure::CopyFailed, result.text);
    }
    for (const std::vector<FileCopyItem>& items : copies) {
        if (items.empty()) {
            continue;
        }
        if (!FileCopy().Copy(items)) {
            result.failure = StoreFailure::CopyFailed;
            continue;
        }
        for (const FileCopyItem& item : items) {
            result.copied.push_back(item.destination);
        }
    }
    // Files that are gone are skipped, but an export of nothing at all is no success.
    if (result.copied.empty() && result.Ok()) {
        result.failure = StoreFailure::Incomplete;
        AddLine(result.text, "Nothing of pad " + PadLocation{store_.Bank(), store_.Number(), pad}.Text() +
                                 " was exported.");
    }
    return result;
}

} // namespace k72
