#pragma once
// The user's conversion settings and the values the converters take from them.
// Stored per user by settings/SettingsStorage (QSettings "KAVELO" / "K-72 Image Converter").

#include "codecs/FitGeometry.h"

#include <cstdint>
#include <string>

namespace k72 {

struct Settings {
    std::int32_t fps = 0;                // 1 = PAL (25 fps); every other value = NTSC (29.97 fps)
    std::int32_t quality = 4;            // 0 Lowest … 4 Highest; any other value behaves as 2 (Middle)
    std::int32_t deinterlace = 1;        // 1 = deinterlace the source video
    FitMode fit = FitMode::Stretch;      // how pictures and movies of another shape than 4:3 fill the frame
    bool previewBeforeConverting = true; // the desktop program shows what it will make before it converts

    // "pal" when fps is 1, else "ntsc".
    std::string FrameRateWord() const;
    // Quantiser scale of the movie encoder: 0 → "20", 1 → "15", 2 → "10", 3 → "5", 4 → "1", else "10".
    std::string MovieQualityScale() const;
    // Still image quality: 0 → 0.0, 1 → 0.3, 2 → 0.5, 3 → 0.8, 4 → 1.0, else 0.5.
    float StillImageQuality() const;
    // The deinterlace value as it is (1 on, anything else as the converter reads it).
    std::int32_t DeinterlaceFlag() const { return deinterlace; }
    // The slider position the preferences show: quality when 0 … 4, else 2.
    int QualitySliderPosition() const;
};

} // namespace k72
