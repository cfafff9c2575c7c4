#pragma once
// Per-user storage of the conversion settings: QSettings with the organisation "KAVELO" and the
// application "K-72 Image Converter" (the registry key SOFTWARE\KAVELO\K-72 Image Converter on
// Windows, ~/.config/KAVELO/K-72 Image Converter.conf on Linux), values "fps", "quality", "deinterlace"
// (whole numbers), "fit" (the word "stretch", "letterbox", "crop" or "auto") and "preview" (1 to show
// the preview before converting, 0 not to).

#include "store/Settings.h"

namespace k72 {

// Reads the values into settings. A number that is missing, is not a whole number or does not fit in
// 32 bits leaves its field as it was; no range check is made here. A missing fit (a first start) is
// "auto"; a stored word the program does not know is "stretch". The preview is on unless "preview" is a
// whole number 0.
void LoadSettings(Settings& settings);

// Writes the values. A store that cannot be written leaves the settings in memory only.
void SaveSettings(const Settings& settings);

} // namespace k72
