#include "store/ApplyRun.h"

#include "base/DiagnosticLog.h"
#include "engine/ResultCodeText.h"
#include "store/CardConversion.h"
#include "store/CardFiles.h"
#include "store/CardLayout.h"
#include "store/Leftovers.h"
#include "store/ShortName.h"
#include "store/StoreMessages.h"
#include "store/WriteFaults.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace k72 {
namespace {

constexpr std::string_view kApplyLog = "apply";

MovieRecord FreshMovieRecord() {
    MovieRecord record;
    record.deviceByte3 = 1;
    record.deviceByte2 = 4;
    return record;
}

StillRecord FreshStillRecord(bool converted) {
    StillRecord record;
    record.deviceByte2 = 4;
    record.deviceBytes[0] = converted ? 1 : 0;
    return record;
}

// The rename of a file into the card folder made lasting.
void SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        if (writefault::Pass("applied file folder fsync")) {
            ::fsync(fd);
        }
        ::close(fd);
    }
}

std::string_view CardExtension(SourceKind kind) {
    return kind == SourceKind::Movie ? "AVI" : "JPG";
}

} // namespace

PadFiles PadFilesOf(const PadLocation& where, const PadEntry& entry) {
    PadFiles files{where, entry.Kind(), {}, {}};
    if (files.kind == PadKindMovie && entry.movie) {
        files.files.push_back(NameText(entry.movie->fileName));
        files.sound = NameText(entry.movie->audioFileName);
    } else if (files.kind == PadKindStill && entry.stills) {
        for (std::size_t i = 0; i < entry.stills->UsableCount(); ++i) {
            files.files.push_back(NameText(entry.stills->stillNames[i]));
        }
        files.sound = NameText(entry.stills->audioFileName);
    }
    return files;
}

std::vector<PadFiles> CardPadFiles(CPadBankStore& store) {
    std::vector<PadFiles> pads;
    for (int bank = 0; bank < padlayout::kBanks; ++bank) {
        for (int number = 0; number < padlayout::kNumbers; ++number) {
            for (int pad = 0; pad < padlayout::kPads; ++pad) {
                const PadLocation where{bank, number, pad};
                const std::optional<PadEntry> entry = store.EntryAt(where);
                if (entry && entry->Kind() != PadKindEmpty) {
                    pads.push_back(PadFilesOf(where, *entry));
                }
            }
        }
    }
    return pads;
}

CardPlan PlanOfFill(const FillPlan& fill, int bank, int number) {
    CardPlan plan;
    for (const FillPlacement& placement : fill.placements) {
        PlanPad pad;
        pad.where = {bank, number, placement.pad};
        if (placement.kind == FillItemKind::Movie) {
            pad.kind = PadKindMovie;
            pad.sources = {placement.source};
        } else {
            pad.kind = PadKindStill;
            if (placement.kind == FillItemKind::PictureFolder && placement.parts == 1) {
                // Recorded as the folder, so that the card is told again as that folder.
                pad.pictureFolder = placement.source;
            } else {
                pad.sources = placement.pictures;
            }
        }
        pad.sound = placement.sound;
        plan.pads.push_back(std::move(pad));
    }
    return plan;
}

ApplyRun::ApplyRun(CPadBankStore& store, IFileCopy& fileCopy, std::filesystem::path cardRoot,
                   SourceRecord& record, ApplySchedule schedule, bool deleteOldFiles)
    : store_(store), fileCopy_(fileCopy), cardRoot_(std::move(cardRoot)), record_(record),
      schedule_(std::move(schedule)), deleteOldFiles_(deleteOldFiles),
      conversions_(schedule_.conversions.size()), finished_(schedule_.changes.size(), false),
      padsLeft_(schedule_.changes.size()) {}

ConversionJobRequest ApplyRun::RequestFor(const PlannedConversion& conversion) const {
    ConversionJobRequest request;
    request.sources = {conversion.source};
    const Settings settings = conversion.settings.ToSettings();
    if (conversion.kind == SourceKind::Movie) {
        request.kind = ConversionJobKind::Movie;
        request.movie.frameRate = settings.FrameRateWord();
        request.movie.qscale = settings.MovieQualityScale();
        request.movie.deinterlace = settings.DeinterlaceFlag() != 0;
        request.movie.fit = settings.fit;
    } else if (conversion.kind == SourceKind::Picture) {
        request.kind = ConversionJobKind::Pictures;
        request.pictures.quality = settings.StillImageQuality();
        request.pictures.fit = settings.fit;
    } else {
        request.kind = ConversionJobKind::Sound;
    }
    return request;
}

void ApplyRun::Start(ConversionQueue& queue) {
    queue_ = &queue;
    // What a killed apply had still to delete.
    DeleteNoted();
    for (std::size_t i = 0; i < schedule_.conversions.size(); ++i) {
        ConversionJobRequest request = RequestFor(schedule_.conversions[i]);
        request.tag = i;
        conversions_[i].job = queue.Add(std::move(request));
        jobs_.insert(conversions_[i].job);
    }
    // Pads that only take files already on the card, and emptied pads, are saved at once.
    for (std::size_t change = 0; change < schedule_.changes.size(); ++change) {
        TryFinish(change);
    }
}

bool ApplyRun::JobEnded(const ConversionJobStatus& status) {
    if (jobs_.count(status.id) == 0 || status.tag >= conversions_.size()) {
        return false;
    }
    Conversion& conversion = conversions_[status.tag];
    if (status.state == ConversionJobState::Done) {
        conversion.failure = Place(status.tag, status);
    } else if (status.state == ConversionJobState::Cancelled) {
        conversion.failure = "cancelled";
    } else {
        conversion.failure = status.cause.empty() ? ResultCodeText(status.result) : status.cause;
    }
    if (conversion.failure.empty()) {
        conversionsDone_ += 1;
    }
    if (queue_ != nullptr && status.Finished() && status.state == ConversionJobState::Done) {
        (void)queue_->Release(status.id);
    }
    const PlannedConversion& planned = schedule_.conversions[status.tag];
    for (std::size_t change = 0; change < schedule_.changes.size(); ++change) {
        const PadLocation& where = schedule_.changes[change].where;
        if (std::find(planned.pads.begin(), planned.pads.end(), where) == planned.pads.end()) {
            continue;
        }
        if (finished_[change] && conversion.failure.empty()) {
            // A retried conversion that now worked: the pads it failed get their chance again.
            const auto told =
                std::find_if(outcomes_.begin(), outcomes_.end(),
                             [&](const ApplyPadOutcome& outcome) { return outcome.where == where; });
            if (told != outcomes_.end() && !told->ok) {
                outcomes_.erase(told);
                finished_[change] = false;
                padsLeft_ += 1;
            }
        }
        TryFinish(change);
    }
    return true;
}

std::string ApplyRun::SoundNameFor(const std::filesystem::path& source,
                                   const std::filesystem::path& file) const {
    // The device finds a sound by its 8.3 name; a name another file has already is given a numeric tail.
    const std::string name = ConvertedSoundName(source);
    const auto freeOrSame = [&](const std::string& candidate) {
        const auto state = store_.Files().Inspect(candidate);
        return !state || !state->exists;
    };
    if (freeOrSame(name)) {
        return name;
    }
    (void)file;
    for (unsigned n = 1; n < 1000; ++n) {
        const std::string tailed = TailedShortName(name, n);
        if (freeOrSame(tailed)) {
            return tailed;
        }
    }
    return {};
}

std::string ApplyRun::Place(std::size_t index, const ConversionJobStatus& status) {
    const PlannedConversion& planned = schedule_.conversions[index];
    Conversion& conversion = conversions_[index];
    if (status.outputs.empty()) {
        return "the conversion gave no file";
    }
    const std::filesystem::path& output = status.outputs.front();
    std::string name;
    FileNumberReservation numbers;
    if (planned.kind == SourceKind::Sound) {
        name = SoundNameFor(planned.source, output);
        if (name.empty()) {
            return "no free 8.3 name for the sound on the card";
        }
    } else {
        if (!FitsOnCard(output)) {
            return messages::kFileTooLarge;
        }
        auto reserved = store_.ReserveFileNumbers(1);
        if (!reserved) {
            return reserved.text.empty() ? "every file number of the card is taken" : reserved.text;
        }
        numbers = std::move(reserved.value);
        name = MakeCardFileName(numbers.Numbers().front(), CardExtension(planned.kind));
    }
    // Copied under a name of this run first, entered in the record as the file it will be, and only then
    // given its name: a run killed before the rename leaves a partial copy the next open removes, one
    // killed after it a file the record knows, which the next apply takes as converted. No moment leaves
    // a finished file on the card that nothing names.
    const std::filesystem::path destination = store_.CardFolder() / name;
    const std::filesystem::path staging =
        store_.CardFolder() / (std::string(leftovers::kCopyPrefix) + std::to_string(::getpid()) + "-" + name);
    if (CardFiles::Exists(destination) || !fileCopy_.Copy({FileCopyItem{output, staging}})) {
        return "the converted file could not be copied onto the card as " + name;
    }
    const std::optional<FileStamp> stamp = StampOfFile(staging);
    const std::optional<SourceIdentity> identity = probe_.Identify(planned.source);
    if (stamp && identity) {
        record_.Put(name, planned.Entry(*identity, *stamp));
        SaveRecord();
    }
    std::error_code ec;
    if (!writefault::Pass("applied file rename") || (std::filesystem::rename(staging, destination, ec), ec)) {
        std::filesystem::remove(staging, ec);
        record_.Remove(name);
        return "the converted file could not be named " + name + " on the card";
    }
    SyncFolder(store_.CardFolder());
    numbers.Commit();
    conversion.cardName = name;
    conversion.frames = status.frames;
    return {};
}

std::optional<std::string> ApplyRun::NameOf(const ScheduledFile& file, std::string& failure) const {
    if (!file.conversion) {
        return file.cardName;
    }
    const Conversion& conversion = conversions_[*file.conversion];
    if (!conversion.failure.empty()) {
        failure = schedule_.conversions[*file.conversion].source.string() + ": " + conversion.failure;
    }
    return conversion.cardName;
}

void ApplyRun::TryFinish(std::size_t change) {
    if (finished_[change]) {
        return;
    }
    const PadUpdate& update = schedule_.changes[change];
    std::string failure;
    bool waiting = false;
    const auto look = [&](const ScheduledFile& file) {
        if (!NameOf(file, failure) && failure.empty()) {
            waiting = true;
        }
    };
    for (const ScheduledFile& file : update.media) {
        look(file);
    }
    if (update.sound) {
        look(*update.sound);
    }
    if (!failure.empty()) {
        // Still waiting for others of its files or not: the pad stays as it is.
        Tell(change, false, failure);
        return;
    }
    if (waiting) {
        return;
    }
    StoreResult result = WriteChange(update);
    Tell(change, result.Ok(), result.Ok() ? std::string() : result.text);
}

StoreResult ApplyRun::WriteChange(const PadUpdate& change) {
    const std::optional<PadEntry> current = store_.EntryAt(change.where);
    if (!current) {
        return StoreFailed(StoreFailure::NoPad, "its bank cannot be read");
    }
    std::string unused;
    std::vector<std::string> media;
    for (const ScheduledFile& file : change.media) {
        media.push_back(*NameOf(file, unused));
    }
    const std::string sound = change.sound ? NameOf(*change.sound, unused).value_or("") : std::string();

    PadEntry after;
    if (change.clear) {
        after = PadEntry{};
    } else if (change.kind == PadKindMovie) {
        // A pad that held a movie keeps the device's own values of its record.
        MovieRecord record =
            current->Kind() == PadKindMovie && current->movie ? *current->movie : FreshMovieRecord();
        SetNameText(record.fileName, media.front());
        std::optional<std::uint32_t> frames;
        if (change.media.front().conversion) {
            frames = conversions_[*change.media.front().conversion].frames;
        }
        record.frameCount = frames ? *frames : MovieFrames(store_.CardFolder() / media.front()).value_or(0);
        record.audioFileName = {};
        SetNameText(record.audioFileName, sound);
        after = MoviePad(record);
    } else {
        const bool converted = !change.media.empty() && change.media.front().conversion.has_value();
        StillRecord record = current->Kind() == PadKindStill && current->stills ? *current->stills
                                                                                : FreshStillRecord(converted);
        record.stillNames = {};
        record.stillCount = 0;
        for (const std::string& name : media) {
            SetNameText(record.stillNames[record.stillCount++], name);
        }
        record.audioFileName = {};
        SetNameText(record.audioFileName, sound);
        after = StillPad(record);
    }
    std::vector<std::string> old;
    if (deleteOldFiles_) {
        const std::vector<std::string> now = FileNamesOf(after);
        for (const std::string& name : FileNamesOf(*current)) {
            if (std::none_of(now.begin(), now.end(), [&](const std::string& kept) {
                    return CardNameKey(kept) == CardNameKey(name);
                })) {
                old.push_back(name);
            }
        }
    }
    if (!old.empty()) {
        // Noted before the save, deleted after it: no moment has a pad naming a missing file, and a kill
        // in between leaves the names for the next apply.
        std::set<std::string> deleting = record_.Deleting();
        for (const std::string& name : old) {
            deleting.insert(CardNameKey(name));
        }
        record_.SetDeleting(std::move(deleting));
        SaveRecord();
    }
    StoreResult result = store_.WritePad(change.where, after);
    if (result && !old.empty()) {
        DeleteNoted();
    }
    return result;
}

void ApplyRun::DeleteNoted() {
    const std::set<std::string>& noted = record_.Deleting();
    if (noted.empty()) {
        return;
    }
    // A file that a pad still to be saved takes as it is (an emptied pad's picture that the plan puts on
    // another pad) stays noted until that pad names it: deleted now, its number would go to the next
    // conversion, and that pad would show the wrong file.
    std::set<std::string> left;
    for (std::size_t change = 0; change < schedule_.changes.size(); ++change) {
        const PadUpdate& update = schedule_.changes[change];
        for (std::size_t i = 0; !finished_[change] && i <= update.media.size(); ++i) {
            const ScheduledFile* file = i < update.media.size() ? &update.media[i]
                                        : update.sound          ? &*update.sound
                                                                : nullptr;
            if (file != nullptr && !file->conversion && noted.count(CardNameKey(file->cardName)) != 0) {
                left.insert(CardNameKey(file->cardName));
            }
        }
    }
    std::vector<std::string> now;
    std::set_difference(noted.begin(), noted.end(), left.begin(), left.end(), std::back_inserter(now));
    // A file another pad names stays; one that cannot be deleted now stays noted.
    const StoreResult deleted = store_.Files().DeleteUnused(now);
    for (const std::string& name : deleted.notDeleted) {
        left.insert(CardNameKey(name));
    }
    for (const std::string& name : deleted.change.removed) {
        record_.Remove(name);
    }
    record_.SetDeleting(std::move(left));
    SaveRecord();
    store_.RescanFileNumbers();
}

void ApplyRun::SaveRecord() {
    // The desktop program goes on while a fill runs: an import onto another pad may have entered its
    // files meanwhile, which this save must not take out again.
    if (FindEntryNoCase(cardRoot_, SourceRecord::kFileName)) {
        record_.TakeNewer(SourceRecord::Load(cardRoot_), store_.CardFolder());
    }
    if (!record_.Save(cardRoot_) && !recordProblem_) {
        const std::string text = "the record of sources could not be written at the card's root (" +
                                 cardRoot_.string() + "); applying again will convert everything again";
        LogLine(kApplyLog, text);
        recordProblem_ = text;
    }
}

void ApplyRun::Tell(std::size_t change, bool ok, std::string text) {
    finished_[change] = true;
    padsLeft_ -= 1;
    outcomes_.push_back({schedule_.changes[change].where, ok, std::move(text)});
    if (padsLeft_ == 0 && !record_.Deleting().empty()) {
        // What was kept back for a pad that now names it, or has given up.
        DeleteNoted();
    }
    if (onPad) {
        onPad(outcomes_.back());
    }
}

} // namespace k72
