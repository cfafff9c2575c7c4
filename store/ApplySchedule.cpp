#include "store/ApplySchedule.h"
#include "store/PadLocationText.h"

#include "base/DeviceFormat.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace k72 {
namespace {

struct ConversionKey {
    SourceKind kind;
    std::string source;
    RecordedSettings settings;

    auto Tied() const {
        return std::tie(kind, source, settings.fps, settings.quality, settings.deinterlace, settings.fit);
    }
    bool operator<(const ConversionKey& other) const { return Tied() < other.Tied(); }
};

// A picture's place in its folder, for the record.
struct FolderPlace {
    std::string folder;
    std::size_t index = 0;
    std::size_t count = 0;
};

// A file a pad needs: one kept as it is on the card, or a source to be found converted or to convert.
// cardName is the kept file, or the pad's file at that place now.
struct Need {
    bool kept = false;
    std::string cardName;
    SourceKind kind = SourceKind::Movie;
    std::filesystem::path source;
    FolderPlace place;
};

bool SameNames(const PadFiles& wanted, const PadFiles& current) {
    if (wanted.kind != current.kind || wanted.files.size() != current.files.size() ||
        CardNameKey(wanted.sound) != CardNameKey(current.sound)) {
        return false;
    }
    for (std::size_t i = 0; i < wanted.files.size(); ++i) {
        if (CardNameKey(wanted.files[i]) != CardNameKey(current.files[i])) {
            return false;
        }
    }
    return true;
}

class Scheduler {
public:
    Scheduler(const CardPlan& plan, const Settings& defaults, const std::vector<PadFiles>& card,
              const SourceRecord& record, const CardFileStamps& cardFiles, SourceProbe& probe,
              const KindOfPath& kindOf)
        : plan_(plan), record_(record), cardFiles_(cardFiles), probe_(probe), kindOf_(kindOf) {
        schedule_.planSettings = plan.settings.Over(defaults);
        for (const PadFiles& content : card) {
            card_[content.where] = content;
        }
    }

    ApplySchedule Run() {
        for (const PlanPad& pad : plan_.pads) {
            SchedulePad(pad);
        }
        return std::move(schedule_);
    }

private:
    void SchedulePad(const PlanPad& pad) {
        where_ = pad.where;
        place_ = "pads." + pad.where.Text();
        failed_ = false;
        const auto found = card_.find(pad.where);
        PadFiles current = found != card_.end() ? found->second : PadFiles{pad.where, PadKindEmpty, {}, {}};
        if (current.files.empty()) {
            current.kind = PadKindEmpty; // a still image pad without pictures shows as empty
        }
        if (pad.clear) {
            if (current.kind == PadKindEmpty) {
                schedule_.unchanged.push_back(pad.where);
            } else {
                schedule_.changes.push_back({pad.where, true, PadKindEmpty, {}, std::nullopt, current});
            }
            return;
        }
        // Everything the pad needs is looked for first, so that nothing is converted for a pad that
        // cannot be made.
        const Settings settings = pad.settings.Over(schedule_.planSettings);
        std::vector<Need> media = MediaNeeds(pad, current);
        std::optional<Need> sound;
        if (pad.sound) {
            sound = Source(SourceKind::Sound, *pad.sound, current.sound, {});
        } else if (pad.cardSound) {
            sound = Kept(*pad.cardSound);
        }
        if (failed_) {
            return;
        }
        PadUpdate change{pad.where, false, pad.kind, {}, std::nullopt, current};
        for (const Need& need : media) {
            change.media.push_back(Resolve(need, settings));
        }
        if (sound) {
            change.sound = Resolve(*sound, settings);
        }
        PadFiles wanted{pad.where, pad.kind, {}, change.sound ? change.sound->cardName : std::string()};
        bool allOnCard = !change.sound || !change.sound->conversion;
        for (const ScheduledFile& file : change.media) {
            wanted.files.push_back(file.cardName);
            allOnCard = allOnCard && !file.conversion;
        }
        if (allOnCard && SameNames(wanted, current)) {
            schedule_.unchanged.push_back(pad.where);
        } else {
            schedule_.changes.push_back(std::move(change));
        }
    }

    std::vector<Need> MediaNeeds(const PlanPad& pad, const PadFiles& current) {
        const auto currentName = [&](std::size_t i) {
            return i < current.files.size() ? current.files[i] : "";
        };
        std::vector<Need> needs;
        if (!pad.cardFiles.empty()) {
            for (const std::string& name : pad.cardFiles) {
                needs.push_back(Kept(name));
            }
        } else if (pad.kind == PadKindMovie && pad.sources.size() == 1) {
            needs.push_back(Source(SourceKind::Movie, pad.sources.front(), currentName(0), {}));
        } else if (pad.kind != PadKindStill) {
            Problem("give one movie");
        } else {
            std::vector<std::filesystem::path> pictures = pad.sources;
            std::string folder;
            if (pad.pictureFolder) {
                pictures = FolderOf(*pad.pictureFolder);
                folder = SourcePathKey(*pad.pictureFolder);
            }
            for (std::size_t i = 0; i < pictures.size(); ++i) {
                needs.push_back(
                    Source(SourceKind::Picture, pictures[i], currentName(i), {folder, i, pictures.size()}));
            }
        }
        return needs;
    }

    std::vector<std::filesystem::path> FolderOf(const std::filesystem::path& folder) {
        const FolderPictures found = PicturesOfFolder(folder, kindOf_);
        const std::string name = folder.string();
        if (!found.readable) {
            Problem(name + " cannot be read as a folder");
        } else if (found.pictures.empty()) {
            Problem(name + " holds no pictures");
        } else if (found.pictures.size() > device::kMaxStillsPerPad) {
            Problem(name + " holds " + std::to_string(found.pictures.size()) +
                    " pictures; a pad takes at most " + std::to_string(device::kMaxStillsPerPad));
        } else {
            return found.pictures;
        }
        return {};
    }

    Need Kept(const std::string& name) {
        if (cardFiles_.count(CardNameKey(name)) == 0) {
            Problem("the card has no file " + name);
        }
        Need need;
        need.kept = true;
        need.cardName = name;
        return need;
    }

    Need Source(SourceKind kind, const std::filesystem::path& source, const std::string& currentName,
                const FolderPlace& place) {
        if (!probe_.Stamp(source)) {
            Problem(source.string() + " does not exist or is not a file");
        }
        return Need{false, currentName, kind, source, place};
    }

    ScheduledFile Resolve(const Need& need, const Settings& settings) {
        if (need.kept) {
            return {need.cardName, std::nullopt};
        }
        const RecordedSettings recorded = RecordedSettings::For(need.kind, settings);
        // The pad's own file first, so that a pad that is what the plan asks stays as it is even when
        // another card file holds the same conversion.
        if (!need.cardName.empty()) {
            const SourceEntry* entry = record_.Find(need.cardName, cardFiles_);
            if (entry != nullptr && entry->kind == need.kind && entry->settings == recorded &&
                probe_.Unchanged(entry->source, need.source)) {
                return {need.cardName, std::nullopt};
            }
        }
        if (std::optional<std::string> name =
                record_.FindConversion(need.kind, recorded, need.source, cardFiles_, probe_)) {
            return {*name, std::nullopt};
        }
        const ConversionKey key{need.kind, SourcePathKey(need.source), recorded};
        auto [known, fresh] = planned_.emplace(key, schedule_.conversions.size());
        if (fresh) {
            schedule_.conversions.push_back({need.kind,
                                             need.source,
                                             recorded,
                                             {},
                                             need.place.folder,
                                             need.place.index,
                                             need.place.count});
        }
        std::vector<PadLocation>& pads = schedule_.conversions[known->second].pads;
        if (pads.empty() || pads.back() != where_) {
            pads.push_back(where_);
        }
        return {{}, known->second};
    }

    void Problem(const std::string& text) {
        if (!failed_) {
            // A pad that cannot be made as asked is left as it is; the first reason is the one told.
            schedule_.problems.push_back({where_, place_ + ": " + text});
        }
        failed_ = true;
    }

    const CardPlan& plan_;
    const SourceRecord& record_;
    const CardFileStamps& cardFiles_;
    SourceProbe& probe_;
    const KindOfPath& kindOf_;
    std::map<PadLocation, PadFiles, PadLocationLess> card_;
    std::map<ConversionKey, std::size_t> planned_;
    ApplySchedule schedule_;
    PadLocation where_;
    std::string place_;
    bool failed_ = false;
};

} // namespace

SourceEntry PlannedConversion::Entry(const SourceIdentity& identity, const FileStamp& cardFile) const {
    SourceEntry entry;
    entry.kind = kind;
    entry.source = identity;
    entry.settings = settings;
    entry.originalName = source.filename().string();
    entry.cardFile = cardFile;
    entry.folder = folder;
    entry.folderIndex = folderIndex;
    entry.folderCount = folderCount;
    return entry;
}

ApplySchedule ScheduleApply(const CardPlan& plan, const Settings& defaults, const std::vector<PadFiles>& card,
                            const SourceRecord& record, const CardFileStamps& cardFiles, SourceProbe& probe,
                            const KindOfPath& kindOf) {
    return Scheduler(plan, defaults, card, record, cardFiles, probe, kindOf).Run();
}

std::vector<std::string> FilesNoPadNames(const std::vector<std::string>& candidates,
                                         const std::vector<PadFiles>& card) {
    std::set<std::string> named;
    for (const PadFiles& pad : card) {
        for (const std::string& file : pad.files) {
            named.insert(CardNameKey(file));
        }
        if (!pad.sound.empty()) {
            named.insert(CardNameKey(pad.sound));
        }
    }
    std::vector<std::string> unnamed;
    std::set<std::string> told;
    for (const std::string& candidate : candidates) {
        const std::string key = CardNameKey(candidate);
        if (!key.empty() && named.count(key) == 0 && told.insert(key).second) {
            unnamed.push_back(candidate);
        }
    }
    return unnamed;
}

} // namespace k72
