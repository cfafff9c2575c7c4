#pragma once
// The commands that only look: preview (a source as the device will show it, written as a PNG) and
// overview (the whole card at a glance).

#include "cli/CommandOptions.h"

#include <string>

namespace k72::cli {

struct PreviewOptions {
    std::string source;
    std::string destination; // the PNG file to write
    SettingsOptions settings;
    double at = 0; // a movie's moment, in seconds
    bool overwrite = false;
    bool json = false;
};

struct OverviewOptions {
    std::string card;
    bool json = false;
};

int RunPreview(const PreviewOptions& options);
int RunOverview(const OverviewOptions& options);

} // namespace k72::cli
