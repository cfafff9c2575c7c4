#pragma once
// What the device plays as it is: a file already in its one form and under a name it finds in the card
// folder. Only such a file is recorded on a pad where it lies; any other file in the card folder is
// converted like a file from elsewhere (a CLIP.MP4 recorded as it is would be a movie of 0 frames, a
// photo.jpg a picture the device cannot find).

#include "store/PadRecords.h"

#include <filesystem>
#include <string_view>

namespace k72 {

// True for a name the device finds in the card folder: a plain name in the upper-case 8.3 form that
// FAT keeps as a file's short name.
bool IsDeviceName(std::string_view name);

// True for a regular file in the device's form for a pad of kind, under a device name with the kind's
// extension: a movie is an AVI of 640 x 480 MJPEG pictures with at least one, laid out as the device's
// movies are (headers in the first 500 bytes, the "movi" list at 500); a picture is a JPEG of 640 x 480
// that begins with its EXIF block.
bool InDeviceForm(const std::filesystem::path& file, PadKind kind);

} // namespace k72
