#pragma once
// Reads a plan of a card from its JSON text and checks all of it, so that nothing is changed on the
// card by a plan that is wrong anywhere. Each mistake is told with its place and how to put it right,
// e.g. `pads.A-1-9: "movie" must be a string path`. Paths are taken relative to the plan's folder.
//
//   { "k72-plan": 1,
//     "settings": { "fps": "ntsc", "quality": 2, "deinterlace": false, "fit": "letterbox" },
//     "pads": {
//       "A-1-1": { "movie": "clips/intro.mp4", "sound": "clips/intro.wav", "fit": "crop" },
//       "A-1-2": { "pictures": ["stills/a.jpg", "stills/b.heic"] },
//       "A-1-3": { "pictures": "stills/night/" },
//       "A-1-4": null,
//       "A-1-5": { "card-movie": "K72_0005.AVI", "card-sound": "DRUMS.WAV" },
//       "A-1-6": { "card-pictures": ["K72_0006.JPG", "K72_0007.JPG"] } } }

#include "store/CardPlan.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace k72 {

struct PlanReadResult {
    std::optional<CardPlan> plan;    // only when there is no error at all
    std::vector<std::string> errors; // every mistake found, in the order of the text

    bool Ok() const { return plan.has_value(); }
};

[[nodiscard]] PlanReadResult ReadPlan(std::string_view text, const std::filesystem::path& planFolder);
// Reads the file; its folder is the plan's folder.
[[nodiscard]] PlanReadResult ReadPlanFile(const std::filesystem::path& planFile);

} // namespace k72
