#include "store/SourceSettings.h"

#include <array>
#include <utility>

namespace k72 {
namespace {

constexpr std::array<std::pair<SourceKind, std::string_view>, 3> kKindWords = {
    {{SourceKind::Movie, "movie"}, {SourceKind::Picture, "picture"}, {SourceKind::Sound, "sound"}}};

} // namespace

std::string_view SourceKindWord(SourceKind kind) {
    for (const auto& [known, word] : kKindWords) {
        if (known == kind) {
            return word;
        }
    }
    return "movie";
}

std::optional<SourceKind> ParseSourceKind(std::string_view word) {
    for (const auto& [kind, known] : kKindWords) {
        if (known == word) {
            return kind;
        }
    }
    return std::nullopt;
}

RecordedSettings RecordedSettings::For(SourceKind kind, const Settings& settings) {
    RecordedSettings recorded;
    if (kind == SourceKind::Sound) {
        return recorded;
    }
    recorded.quality = settings.QualitySliderPosition();
    recorded.fit = settings.fit;
    if (kind == SourceKind::Movie) {
        recorded.fps = settings.FrameRateWord();
        recorded.deinterlace = settings.DeinterlaceFlag() != 0;
    }
    return recorded;
}

Settings RecordedSettings::ToSettings() const {
    Settings settings;
    settings.fps = fps == "pal" ? 1 : 0;
    if (quality >= 0) {
        settings.quality = quality;
    }
    settings.deinterlace = deinterlace ? 1 : 0;
    settings.fit = fit.value_or(FitMode::Stretch);
    return settings;
}

} // namespace k72
