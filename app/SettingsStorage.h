#pragma once
// Per-user storage of the three conversion settings: QSettings with the organisation "KAVELO" and the
// application "K-72 Image Converter" (the registry key SOFTWARE\KAVELO\K-72 Image Converter on
// Windows, ~/.config/KAVELO/K-72 Image Converter.conf on Linux), values "fps", "quality", "deinterlace".

#include "store/Settings.h"

namespace k72 {

// Reads the three values into settings. A value that is missing, is not a whole number or does not
// fit in 32 bits leaves its field as it was; no range check is made here.
void LoadSettings(Settings& settings);

// Writes the three values. A store that cannot be written leaves the settings in memory only.
void SaveSettings(const Settings& settings);

} // namespace k72
