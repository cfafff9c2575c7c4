#pragma once
// What the command line gives each command, already checked for form: pads are valid BANK-NUMBER-PAD
// texts, numbers are within their ranges. Whether the card, the files and the pads hold what a command
// needs is the command's own business.

#include "store/Settings.h"

#include <string>
#include <vector>

namespace k72::cli {

// --fps, --quality, --deinterlace and --fit; what is not given comes from the desktop program's
// stored preferences.
struct SettingsOptions {
    std::string fps;         // "ntsc", "pal" or empty
    int quality = -1;        // 0 … 4, or -1
    std::string deinterlace; // "on", "off" or empty
    std::string fit;         // "stretch", "letterbox", "crop", "auto" or empty

    Settings Resolve() const;
};

struct ShowOptions {
    std::string card;
    std::string bank; // empty: every bank
    int number = 0;   // 1 … 12, 0: every number
    bool json = false;
};

struct ImportOptions {
    std::string card;
    std::string pad;
    std::string file;
    SettingsOptions settings;
    bool overwrite = false;
};

struct AddStillOptions {
    std::string card;
    std::string pad;
    std::vector<std::string> files;
    SettingsOptions settings;
    bool overwrite = false;
};

struct RemoveStillOptions {
    std::string card;
    std::string pad;
    int position = 0; // from 1
    bool deleteFile = false;
};

struct MoveStillOptions {
    std::string card;
    std::string pad;
    int from = 0; // from 1
    int to = 0;
};

struct AudioOptions {
    std::string card;
    std::string pad;
    std::string wav;
    bool overwrite = false;
    bool convert = false; // a sound the device cannot play is converted into its WAV form first
};

struct RemoveSoundOptions {
    std::string card;
    std::string pad;
    bool deleteFile = false;
};

struct DeleteOptions {
    std::string card;
    std::string pad;
    bool deleteFiles = false;
};

struct ExportOptions {
    std::string card;
    std::string pad;
    std::string folder;
    bool overwrite = false;
};

struct ConvertOptions {
    std::string source;
    std::string destination;
    SettingsOptions settings;
    bool overwrite = false;
};

struct CheckOptions {
    std::string card;
    bool repair = false;
    bool json = false;
};

struct ProbeOptions {
    std::string file;
    bool json = false;
};

} // namespace k72::cli
