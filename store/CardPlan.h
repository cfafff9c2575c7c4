#pragma once
// A plan of a card: what each pad named in it is to hold. A pad holds a movie or a list of pictures
// (given one by one or as a folder), each converted from a file on the computer, or files that are on
// the card already and stay as they are; it may have a sound. A pad named with nothing (null in the
// file) is emptied; pads the plan does not name are left alone. Settings given for the whole plan
// apply to every pad that does not give its own.

#include "codecs/FitGeometry.h"
#include "store/PadRecords.h"
#include "store/Settings.h"
#include "store/StoreResult.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

struct PlanSettings {
    std::optional<std::int32_t> fps; // 0 NTSC, 1 PAL, as Settings
    std::optional<std::int32_t> quality;
    std::optional<bool> deinterlace;
    std::optional<FitMode> fit;

    // These settings where given, base's where not.
    Settings Over(Settings base) const;
    // All four, from settings.
    static PlanSettings Of(const Settings& settings);

    bool operator==(const PlanSettings&) const = default;
};

struct PlanPad {
    PadLocation where;
    bool clear = false;                                 // null: the pad is emptied
    PadKind kind = PadKindEmpty;                        // a movie or still image pad unless cleared
    std::vector<std::filesystem::path> sources;         // the movie, or the pictures in order
    std::optional<std::filesystem::path> pictureFolder; // the pictures of a folder, in name order
    std::vector<std::string> cardFiles;                 // files on the card kept as they are
    std::optional<std::filesystem::path> sound;
    std::optional<std::string> cardSound; // a sound on the card kept as it is
    PlanSettings settings;                // the pad's own, over the plan's

    bool operator==(const PlanPad&) const = default;
};

struct CardPlan {
    PlanSettings settings;
    std::vector<PlanPad> pads; // in pad order, each pad once

    bool operator==(const CardPlan&) const = default;
};

} // namespace k72
