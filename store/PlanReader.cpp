#include "store/PlanReader.h"

#include "base/DeviceFormat.h"
#include "store/CardLayout.h"
#include "store/PadLocationText.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <system_error>

namespace k72 {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kPadKeys =
    "\"movie\", \"pictures\", \"card-movie\" or \"card-pictures\", and may have \"sound\" or \"card-sound\", "
    "\"fps\", \"quality\", \"deinterlace\" and \"fit\"";

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Keys given twice in one object: the JSON reader would keep only the last, so a pad written twice
// would be lost without a word.
class DuplicateKeys {
public:
    bool operator()(int depth, Json::parse_event_t event, Json& parsed) {
        switch (event) {
        case Json::parse_event_t::object_start:
            objects_.emplace_back();
            break;
        case Json::parse_event_t::object_end:
            objects_.pop_back();
            break;
        case Json::parse_event_t::key: {
            const std::string key = parsed.get<std::string>();
            Object& object = objects_.back();
            object.key = key;
            if (!object.keys.insert(key).second) {
                duplicates.push_back(Place(depth) + ": given twice; each key may appear once");
            }
            break;
        }
        default:
            break;
        }
        return true;
    }

    std::vector<std::string> duplicates;

private:
    struct Object {
        std::set<std::string> keys;
        std::string key;
    };

    std::string Place(int) const {
        std::string place;
        for (const Object& object : objects_) {
            place += (place.empty() ? "" : ".") + object.key;
        }
        return place;
    }

    std::vector<Object> objects_;
};

class Reader {
public:
    explicit Reader(std::filesystem::path folder) : folder_(std::move(folder)) {}

    PlanReadResult Read(const Json& root) {
        CardPlan plan;
        if (!root.is_object()) {
            Error("the plan", "must be a JSON object with \"k72-plan\": 1, \"settings\" and \"pads\"");
            return Result(plan);
        }
        const auto version = root.find("k72-plan");
        if (version == root.end()) {
            Error("k72-plan", "missing; a plan begins with \"k72-plan\": 1");
        } else if (*version != 1) {
            Error("k72-plan", "must be 1, the only kind of plan this program reads");
        }
        for (const auto& [key, value] : root.items()) {
            if (key == "settings") {
                plan.settings = ReadSettings("settings", value);
            } else if (key == "pads") {
                ReadPads(value, plan);
            } else if (key != "k72-plan") {
                Error(key, "unknown key; a plan has \"k72-plan\", \"settings\" and \"pads\"");
            }
        }
        if (!root.contains("pads")) {
            Error("pads",
                  "missing; name the pads to fill in \"pads\": { \"A-1-1\": { \"movie\": \"clip.mp4\" } }");
        }
        return Result(plan);
    }

    void Error(const std::string& place, const std::string& text) { errors_.push_back(place + ": " + text); }
    std::vector<std::string>& Errors() { return errors_; }

private:
    PlanReadResult Result(CardPlan& plan) {
        PlanReadResult result;
        result.errors = std::move(errors_);
        if (result.errors.empty()) {
            result.plan = std::move(plan);
        }
        return result;
    }

    static bool IsSettingKey(const std::string& key) {
        return key == "fps" || key == "quality" || key == "deinterlace" || key == "fit";
    }

    // One of the four settings, checked, into settings.
    void ReadSetting(const std::string& place, const std::string& key, const Json& value,
                     PlanSettings& settings) {
        const std::string where = place + "." + key;
        if (key == "fps") {
            if (value == "ntsc" || value == "pal") {
                settings.fps = value == "pal" ? 1 : 0;
            } else {
                Error(where, "must be \"ntsc\" (29.97 frames a second) or \"pal\" (25)");
            }
        } else if (key == "quality") {
            if (value.is_number_integer() && value.get<std::int64_t>() >= 0 &&
                value.get<std::int64_t>() <= 4) {
                settings.quality = value.get<std::int32_t>();
            } else {
                Error(where, "must be a whole number from 0 (lowest) to 4 (highest)");
            }
        } else if (key == "deinterlace") {
            if (value.is_boolean()) {
                settings.deinterlace = value.get<bool>();
            } else {
                Error(where, "must be true or false");
            }
        } else if (key == "fit") {
            const std::optional<FitMode> fit =
                value.is_string() ? ParseFitWord(value.get<std::string>()) : std::nullopt;
            if (fit) {
                settings.fit = fit;
            } else {
                Error(where, "must be \"stretch\", \"letterbox\", \"crop\" or \"auto\"");
            }
        }
    }

    PlanSettings ReadSettings(const std::string& place, const Json& value) {
        PlanSettings settings;
        if (!value.is_object()) {
            Error(place, "must be an object such as { \"fps\": \"ntsc\", \"quality\": 4 }");
            return settings;
        }
        for (const auto& [key, item] : value.items()) {
            if (IsSettingKey(key)) {
                ReadSetting(place, key, item, settings);
            } else {
                Error(place + "." + key,
                      "unknown setting; settings are \"fps\", \"quality\", \"deinterlace\" and \"fit\"");
            }
        }
        return settings;
    }

    void ReadPads(const Json& value, CardPlan& plan) {
        if (!value.is_object()) {
            Error("pads", "must be an object of pads such as { \"A-1-1\": { \"movie\": \"clip.mp4\" } }");
            return;
        }
        std::map<PadLocation, std::string, PadLocationLess> written;
        for (const auto& [key, item] : value.items()) {
            const std::string place = "pads." + key;
            const std::optional<PadLocation> where = ParsePadLocation(key);
            if (!where) {
                Error(place, "not a pad; pads are named BANK-NUMBER-PAD, from A-1-1 to F-12-12");
                continue;
            }
            if (const auto [first, fresh] = written.emplace(*where, key); !fresh) {
                Error(place, "the same pad as " + first->second + "; name each pad once");
                continue;
            }
            PlanPad pad;
            pad.where = *where;
            if (item.is_null()) {
                pad.clear = true;
            } else if (item.is_object()) {
                ReadPad(place, item, pad);
            } else {
                Error(place,
                      "must be an object such as { \"movie\": \"clip.mp4\" }, or null to empty the pad");
                continue;
            }
            plan.pads.push_back(std::move(pad));
        }
        std::sort(plan.pads.begin(), plan.pads.end(),
                  [](const PlanPad& a, const PlanPad& b) { return PadLocationLess()(a.where, b.where); });
    }

    std::optional<std::filesystem::path> ReadPath(const std::string& place, const Json& value,
                                                  const std::string& what) {
        if (!value.is_string() || value.get<std::string>().empty()) {
            Error(place, what + " must be a string path");
            return std::nullopt;
        }
        const std::filesystem::path path = value.get<std::string>();
        return (path.is_absolute() ? path : folder_ / path).lexically_normal();
    }

    std::optional<std::string> ReadCardName(const std::string& place, const Json& value,
                                            const std::string& what, std::string_view example) {
        if (!value.is_string() || !IsPlainCardName(value.get<std::string>())) {
            Error(place, what + " must be the name of a file in the card folder, such as " + Quoted(example));
            return std::nullopt;
        }
        return value.get<std::string>();
    }

    // The items of a list of 1 … 100, or nothing after saying what is wrong.
    bool CheckList(const std::string& place, const Json& value, const std::string& what) {
        if (!value.is_array() || value.empty()) {
            return false;
        }
        if (value.size() > device::kMaxStillsPerPad) {
            Error(place, what + " lists " + std::to_string(value.size()) + " pictures; a pad holds at most " +
                             std::to_string(device::kMaxStillsPerPad));
            return false;
        }
        return true;
    }

    void ReadPictures(const std::string& place, const Json& value, PlanPad& pad) {
        pad.kind = PadKindStill;
        if (value.is_string()) {
            pad.pictureFolder = ReadPath(place, value, "\"pictures\"");
            if (pad.pictureFolder && !pad.pictureFolder->has_filename()) {
                pad.pictureFolder = pad.pictureFolder->parent_path(); // "stills/night/" is "stills/night"
            }
            return;
        }
        if (!value.is_array() || value.empty()) {
            Error(place, "\"pictures\" must be a folder path or a list of picture paths");
            return;
        }
        if (!CheckList(place, value, "\"pictures\"")) {
            return;
        }
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (auto path = ReadPath(place, value[i], "\"pictures\"[" + std::to_string(i) + "]")) {
                pad.sources.push_back(std::move(*path));
            }
        }
    }

    void ReadCardPictures(const std::string& place, const Json& value, PlanPad& pad) {
        pad.kind = PadKindStill;
        if (!CheckList(place, value, "\"card-pictures\"")) {
            if (!value.is_array() || value.empty()) {
                Error(place, "\"card-pictures\" must be a list of names of files in the card folder, such as "
                             "[\"K72_0006.JPG\"]");
            }
            return;
        }
        for (std::size_t i = 0; i < value.size(); ++i) {
            const std::string what = "\"card-pictures\"[" + std::to_string(i) + "]";
            if (auto name = ReadCardName(place, value[i], what, "K72_0006.JPG")) {
                pad.cardFiles.push_back(std::move(*name));
            }
        }
    }

    void ReadPad(const std::string& place, const Json& value, PlanPad& pad) {
        int media = 0;
        bool hasSettings = false;
        for (const auto& [key, item] : value.items()) {
            if (key == "movie") {
                ++media;
                pad.kind = PadKindMovie;
                if (auto path = ReadPath(place, item, "\"movie\"")) {
                    pad.sources.push_back(std::move(*path));
                }
            } else if (key == "pictures") {
                ++media;
                ReadPictures(place, item, pad);
            } else if (key == "card-movie") {
                ++media;
                pad.kind = PadKindMovie;
                if (auto name = ReadCardName(place, item, "\"card-movie\"", "K72_0005.AVI")) {
                    pad.cardFiles.push_back(std::move(*name));
                }
            } else if (key == "card-pictures") {
                ++media;
                ReadCardPictures(place, item, pad);
            } else if (key == "sound") {
                pad.sound = ReadPath(place, item, "\"sound\"");
            } else if (key == "card-sound") {
                pad.cardSound = ReadCardName(place, item, "\"card-sound\"", "DRUMS.WAV");
            } else if (IsSettingKey(key)) {
                hasSettings = true;
                ReadSetting(place, key, item, pad.settings);
            } else {
                Error(place + "." + key, "unknown key; a pad has " + std::string(kPadKeys));
            }
        }
        if (media == 0) {
            Error(place, "give \"movie\" or \"pictures\" (or null to empty the pad)");
        } else if (media > 1) {
            Error(place, "give only one of \"movie\", \"pictures\", \"card-movie\" and \"card-pictures\"");
        }
        if (value.contains("sound") && value.contains("card-sound")) {
            Error(place, "give \"sound\" or \"card-sound\", not both");
        }
        if (hasSettings && !pad.cardFiles.empty()) {
            Error(place, "settings have no effect on files kept as they are on the card; remove them");
        }
    }

    std::filesystem::path folder_;
    std::vector<std::string> errors_;
};

// nlohmann's message without its "[json.exception.parse_error.101] " prefix.
std::string ParseMessage(const std::exception& error) {
    std::string message = error.what();
    const std::size_t end = message.find("] ");
    return end == std::string::npos ? message : message.substr(end + 2);
}

} // namespace

PlanReadResult ReadPlan(std::string_view text, const std::filesystem::path& planFolder) {
    DuplicateKeys duplicates;
    Json root;
    try {
        root = Json::parse(text, std::ref(duplicates));
    } catch (const Json::exception& error) {
        PlanReadResult result;
        result.errors.push_back("the plan is not valid JSON: " + ParseMessage(error));
        return result;
    }
    Reader reader(planFolder);
    PlanReadResult result = reader.Read(root);
    if (!duplicates.duplicates.empty()) {
        result.errors.insert(result.errors.begin(), duplicates.duplicates.begin(),
                             duplicates.duplicates.end());
        result.plan.reset();
    }
    return result;
}

PlanReadResult ReadPlanFile(const std::filesystem::path& planFile) {
    std::ifstream stream(planFile, std::ios::binary);
    if (!stream.is_open()) {
        PlanReadResult result;
        result.errors.push_back(planFile.string() + ": cannot be read");
        return result;
    }
    const std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(planFile, ec);
    return ReadPlan(text, absolute.parent_path());
}

} // namespace k72
