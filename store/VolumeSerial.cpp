#include "store/VolumeSerial.h"

#include "base/FileHandle.h"

#include <cstdio>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

namespace k72 {

std::string VolumeSerialOf(const std::filesystem::path& folder) {
    const FileHandle fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
        return {};
    }
    // A FAT volume tells its serial itself, whether or not udev has named it.
    __u32 id = 0;
    if (::ioctl(fd.get(), FAT_IOCTL_GET_VOLUME_ID, &id) == 0) {
        char text[16];
        std::snprintf(text, sizeof text, "%04X-%04X", static_cast<unsigned>(id >> 16),
                      static_cast<unsigned>(id & 0xffff));
        return text;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return {};
    }
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/dev/disk/by-uuid", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        struct stat device {};
        if (::stat(it->path().c_str(), &device) == 0 && S_ISBLK(device.st_mode) &&
            device.st_rdev == info.st_dev) {
            return it->path().filename().string();
        }
    }
    return {};
}

} // namespace k72
