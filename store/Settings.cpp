#include "store/Settings.h"

#include <array>

namespace k72 {

std::string Settings::FrameRateWord() const { return fps == 1 ? "pal" : "ntsc"; }

std::string Settings::MovieQualityScale() const {
    static const std::array<const char*, 5> scales = {"20", "15", "10", "5", "1"};
    return (quality >= 0 && quality <= 4) ? scales[static_cast<std::size_t>(quality)] : "10";
}

float Settings::StillImageQuality() const {
    static const std::array<float, 5> qualities = {0.0f, 0.3f, 0.5f, 0.8f, 1.0f};
    // Compared unsigned, as the stored value may be any 32-bit number.
    const auto index = static_cast<std::uint32_t>(quality);
    return index <= 4 ? qualities[index] : 0.5f;
}

int Settings::QualitySliderPosition() const { return (quality >= 0 && quality <= 4) ? quality : 2; }

} // namespace k72
