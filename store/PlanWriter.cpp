#include "store/PlanWriter.h"

#include "store/PadLocationText.h"
#include "store/SourceSettings.h"

#include <nlohmann/json.hpp>

namespace k72 {
namespace {

using Json = nlohmann::ordered_json;

// The pad's own settings: those of the converted files that matter for their kind and differ from
// the plan's.
PlanSettings OwnSettings(SourceKind kind, const RecordedSettings& recorded, const Settings& planSettings) {
    const RecordedSettings plan = RecordedSettings::For(kind, planSettings);
    PlanSettings own;
    if (recorded.fps != plan.fps) {
        own.fps = recorded.fps == "pal" ? 1 : 0;
    }
    if (recorded.quality != plan.quality) {
        own.quality = recorded.quality;
    }
    if (recorded.deinterlace != plan.deinterlace) {
        own.deinterlace = recorded.deinterlace;
    }
    if (recorded.fit != plan.fit) {
        own.fit = recorded.fit;
    }
    return own;
}

// The entries of all the pad's files when the record knows each of them as that kind with the same
// settings; else none, and the pad is told by its card files.
std::vector<const SourceEntry*> KnownEntries(const std::vector<std::string>& files, SourceKind kind,
                                             const SourceRecord& record, const CardFileStamps& cardFiles) {
    std::vector<const SourceEntry*> entries;
    for (const std::string& file : files) {
        const SourceEntry* entry = record.Find(file, cardFiles);
        if (entry == nullptr || entry->kind != kind ||
            (!entries.empty() && entry->settings != entries.front()->settings)) {
            return {};
        }
        entries.push_back(entry);
    }
    return entries;
}

// Whether the pictures are exactly those their folder gave, in its order.
bool WholeFolder(const std::vector<const SourceEntry*>& entries) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i]->folder.empty() || entries[i]->folder != entries.front()->folder ||
            entries[i]->folderIndex != i || entries[i]->folderCount != entries.size()) {
            return false;
        }
    }
    return !entries.empty();
}

PlanPad DescribePad(const PadFiles& content, const SourceRecord& record, const CardFileStamps& cardFiles,
                    const Settings& planSettings) {
    PlanPad pad;
    pad.where = content.where;
    pad.kind = content.kind;
    const SourceKind kind = content.kind == PadKindMovie ? SourceKind::Movie : SourceKind::Picture;
    const std::vector<const SourceEntry*> entries = KnownEntries(content.files, kind, record, cardFiles);
    if (entries.empty()) {
        pad.cardFiles = content.files;
    } else if (kind == SourceKind::Picture && WholeFolder(entries)) {
        pad.pictureFolder = entries.front()->folder;
    } else {
        for (const SourceEntry* entry : entries) {
            pad.sources.emplace_back(entry->source.path);
        }
    }
    if (!entries.empty()) {
        pad.settings = OwnSettings(kind, entries.front()->settings, planSettings);
    }
    if (!content.sound.empty()) {
        const SourceEntry* sound = record.Find(content.sound, cardFiles);
        if (sound != nullptr && sound->kind == SourceKind::Sound) {
            pad.sound = sound->source.path;
        } else {
            pad.cardSound = content.sound;
        }
    }
    return pad;
}

Json SettingsJson(const PlanSettings& settings) {
    Json json = Json::object();
    if (settings.fps) {
        json["fps"] = *settings.fps == 1 ? "pal" : "ntsc";
    }
    if (settings.quality) {
        json["quality"] = *settings.quality;
    }
    if (settings.deinterlace) {
        json["deinterlace"] = *settings.deinterlace;
    }
    if (settings.fit) {
        json["fit"] = FitWord(*settings.fit);
    }
    return json;
}

class PathWriter {
public:
    explicit PathWriter(const std::filesystem::path& folder) {
        if (!folder.empty()) {
            bases_ = {folder.lexically_normal(), std::filesystem::path(SourcePathKey(folder))};
        }
    }

    std::string Text(const std::filesystem::path& path) const {
        for (const std::filesystem::path& base : bases_) {
            const std::filesystem::path relative = path.lexically_normal().lexically_relative(base);
            if (!relative.empty() && *relative.begin() != ".." && relative != ".") {
                return relative.generic_string();
            }
        }
        return path.generic_string();
    }

private:
    std::vector<std::filesystem::path> bases_;
};

Json PadJson(const PlanPad& pad, const PathWriter& paths) {
    if (pad.clear) {
        return nullptr;
    }
    Json json = Json::object();
    if (pad.kind == PadKindMovie) {
        if (!pad.sources.empty()) {
            json["movie"] = paths.Text(pad.sources.front());
        } else if (!pad.cardFiles.empty()) {
            json["card-movie"] = pad.cardFiles.front();
        }
    } else if (pad.pictureFolder) {
        json["pictures"] = paths.Text(*pad.pictureFolder) + "/";
    } else if (pad.cardFiles.empty()) {
        Json list = Json::array();
        for (const std::filesystem::path& picture : pad.sources) {
            list.push_back(paths.Text(picture));
        }
        json["pictures"] = std::move(list);
    } else {
        json["card-pictures"] = pad.cardFiles;
    }
    if (pad.sound) {
        json["sound"] = paths.Text(*pad.sound);
    } else if (pad.cardSound) {
        json["card-sound"] = *pad.cardSound;
    }
    json.update(SettingsJson(pad.settings));
    return json;
}

} // namespace

CardPlan DescribeCard(const std::vector<PadFiles>& pads, const SourceRecord& record,
                      const CardFileStamps& cardFiles, const Settings& planSettings) {
    CardPlan plan;
    plan.settings = PlanSettings::Of(planSettings);
    for (const PadFiles& content : pads) {
        // A pad that names no file (a still image pad whose count is 0) holds nothing to tell.
        if ((content.kind == PadKindMovie || content.kind == PadKindStill) && !content.files.empty()) {
            plan.pads.push_back(DescribePad(content, record, cardFiles, planSettings));
        }
    }
    std::sort(plan.pads.begin(), plan.pads.end(),
              [](const PlanPad& a, const PlanPad& b) { return PadLocationLess()(a.where, b.where); });
    return plan;
}

std::string PlanText(const CardPlan& plan, const std::filesystem::path& planFolder) {
    const PathWriter paths(planFolder);
    Json pads = Json::object();
    for (const PlanPad& pad : plan.pads) {
        pads[pad.where.Text()] = PadJson(pad, paths);
    }
    const Json root = {{"k72-plan", 1}, {"settings", SettingsJson(plan.settings)}, {"pads", std::move(pads)}};
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace k72
