#pragma once
// The serial number of the volume a card lies on, which tells two cards apart that are mounted one
// after the other at the same path (two cards of one volume label under /media, or one drive letter).

#include <filesystem>
#include <string>

namespace k72 {

// The serial of the volume holding folder: a FAT volume's own ("1A2B-3C4D", the name udev gives it
// under /dev/disk/by-uuid too), else the name of the volume's block device under /dev/disk/by-uuid.
// Empty where there is none (a folder on a FUSE, network or memory file system).
std::string VolumeSerialOf(const std::filesystem::path& folder);

} // namespace k72
