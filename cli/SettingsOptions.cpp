#include "cli/CommandOptions.h"

#include "settings/SettingsStorage.h"

#include <optional>
#include <string>

namespace k72::cli {
namespace {

std::string LowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace

Settings SettingsOptions::Resolve() const {
    Settings settings;
    LoadSettings(settings);
    const std::string fpsWord = LowerCase(fps);
    const std::string deinterlaceWord = LowerCase(deinterlace);
    if (fpsWord == "ntsc") {
        settings.fps = 0;
    } else if (fpsWord == "pal") {
        settings.fps = 1;
    }
    if (quality >= 0) {
        settings.quality = quality;
    }
    if (deinterlaceWord == "on") {
        settings.deinterlace = 1;
    } else if (deinterlaceWord == "off") {
        settings.deinterlace = 0;
    }
    if (const std::optional<FitMode> mode = ParseFitWord(fit)) {
        settings.fit = *mode;
    }
    return settings;
}

} // namespace k72::cli
