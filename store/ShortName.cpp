#include "store/ShortName.h"

#include "base/FileHandle.h"

#include <cctype>
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace k72 {
namespace {

struct ShortParts {
    std::string base; // upper case, every character valid in a short name, not yet cut to 8
    std::string ext;  // likewise, not yet cut to 3
    bool lossy = false;
};

bool ValidShortChar(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    switch (c) {
    case '$':
    case '%':
    case '\'':
    case '-':
    case '_':
    case '@':
    case '~':
    case '`':
    case '!':
    case '(':
    case ')':
    case '{':
    case '}':
    case '^':
    case '#':
    case '&':
        return true;
    default:
        return false;
    }
}

// Upper-cases and replaces what a short name cannot hold by '_' (which makes the conversion lossy).
std::string MapPart(std::string_view part, bool& lossy) {
    std::string mapped;
    for (char c : part) {
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (ValidShortChar(upper)) {
            mapped += upper;
        } else {
            mapped += '_';
            lossy = true;
        }
    }
    return mapped;
}

ShortParts SplitLongName(std::string_view longName) {
    ShortParts parts;
    // Spaces and leading dots are dropped.
    std::string name;
    for (char c : longName) {
        if (c == ' ') {
            parts.lossy = true;
        } else if (c == '.' && name.empty()) {
            parts.lossy = true;
        } else {
            name += c;
        }
    }
    const auto dot = name.rfind('.');
    std::string base = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    // Dots inside the name part are dropped too.
    std::string plainBase;
    for (char c : base) {
        if (c == '.') {
            parts.lossy = true;
        } else {
            plainBase += c;
        }
    }
    parts.base = MapPart(plainBase, parts.lossy);
    parts.ext = MapPart(ext, parts.lossy);
    if (parts.base.empty()) {
        parts.base = "_";
        parts.lossy = true;
    }
    if (parts.base.size() > 8 || parts.ext.size() > 3) {
        parts.lossy = true;
    }
    if (parts.ext.size() > 3) {
        parts.ext.resize(3);
    }
    return parts;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<std::string> ExactShortName(std::string_view longName) {
    const ShortParts parts = SplitLongName(longName);
    // A trailing dot is no extension but still part of what the user typed.
    if (parts.lossy || (parts.ext.empty() && !longName.empty() && longName.back() == '.')) {
        return std::nullopt;
    }
    return parts.ext.empty() ? parts.base : parts.base + "." + parts.ext;
}

std::string TailedShortName(std::string_view longName, unsigned n) {
    const ShortParts parts = SplitLongName(longName);
    const std::string tail = "~" + std::to_string(n);
    const std::size_t keep = tail.size() < 8 ? 8 - tail.size() : 0;
    std::string name = parts.base.substr(0, keep) + tail;
    if (!parts.ext.empty()) {
        name += "." + parts.ext;
    }
    return name;
}

bool FolderKeepsShortNames(const std::filesystem::path& folder) {
    struct statfs info {};
    return ::statfs(folder.c_str(), &info) == 0 && info.f_type == MSDOS_SUPER_MAGIC;
}

std::optional<std::string> ReadFatShortName(const std::filesystem::path& folder, std::string_view name) {
    const FileHandle fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    struct __fat_dirent entries[2]{};
    while (::ioctl(fd.get(), VFAT_IOCTL_READDIR_BOTH, entries) != -1 && entries[0].d_reclen > 0) {
        // entries[0] is the short name, entries[1] the long name (empty when the short one is all).
        const std::string shortName(entries[0].d_name, entries[0].d_reclen);
        const std::string longName =
            entries[1].d_reclen > 0 ? std::string(entries[1].d_name, entries[1].d_reclen) : shortName;
        if (EqualNoCase(longName, name)) {
            found = shortName;
            break;
        }
    }
    return found;
}

std::string ConvertedSoundName(const std::filesystem::path& source) {
    const std::string name = source.stem().string() + ".wav";
    if (const auto exact = ExactShortName(name)) {
        return *exact;
    }
    const std::string tailed = TailedShortName(name, 1);
    // Nothing of the name survived ("~1.WAV", or ".wav" read as a name without extension): a plain
    // name instead.
    const bool usable =
        tailed.size() > 4 && tailed[0] != '~' && tailed.compare(tailed.size() - 4, 4, ".WAV") == 0;
    return usable ? tailed : std::string("SOUND.WAV");
}

} // namespace k72
