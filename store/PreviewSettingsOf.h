#pragma once
// The user's settings as a preview takes them: the same values a conversion hands its converters.

#include "engine/PreviewRenderer.h"
#include "store/Settings.h"

namespace k72 {

PreviewSettings PreviewSettingsOf(const Settings& settings);

} // namespace k72
