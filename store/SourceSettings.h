#pragma once
// What a card file was converted from, and the settings that shaped it. Only the settings that matter
// for the kind are kept: a movie's frame rate, quality, deinterlacing and fit, a picture's quality and
// fit, none for a sound. So changing the frame rate converts the movies again but not the pictures.

#include "codecs/FitGeometry.h"
#include "store/Settings.h"

#include <optional>
#include <string>
#include <string_view>

namespace k72 {

enum class SourceKind { Movie, Picture, Sound };

// "movie", "picture", "sound".
std::string_view SourceKindWord(SourceKind kind);
std::optional<SourceKind> ParseSourceKind(std::string_view word);

struct RecordedSettings {
    std::string fps;          // "ntsc" or "pal"; movies only
    int quality = -1;         // 0 … 4 as the converter took it; movies and pictures
    bool deinterlace = false; // movies only
    std::optional<FitMode> fit;

    // The settings as the converter of that kind takes them: a quality outside 0 … 4 is the middle
    // one, as the converters treat it.
    static RecordedSettings For(SourceKind kind, const Settings& settings);
    // Full settings for the converter; what does not matter for the kind keeps the defaults.
    Settings ToSettings() const;

    bool operator==(const RecordedSettings&) const = default;
};

} // namespace k72
