#include "store/Leftovers.h"

#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace k72::leftovers {
namespace {

constexpr std::string_view kLogModule = "leftovers";

// When this run began, as file times count: anything written after it may be this run's own.
const std::chrono::system_clock::time_point kRunStart = std::chrono::system_clock::now();

// The pid in "<prefix><pid>-…"; 0 for none (a name made before names carried their process).
pid_t OwnerOf(std::string_view name, std::string_view prefix) {
    if (name.substr(0, prefix.size()) != prefix) {
        return 0;
    }
    std::string_view rest = name.substr(prefix.size());
    const auto dash = rest.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash > 10) {
        return 0;
    }
    long pid = 0;
    for (char c : rest.substr(0, dash)) {
        if (c < '0' || c > '9') {
            return 0;
        }
        pid = pid * 10 + (c - '0');
    }
    return static_cast<pid_t>(pid);
}

bool Alive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

bool BeforeThisRun(const struct stat& info) {
    const auto modified = std::chrono::system_clock::time_point(
        std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec));
    return modified < kRunStart;
}

} // namespace

std::vector<std::string> NamesIn(int folderFd) {
    std::vector<std::string> names;
    FileHandle fd(::dup(folderFd));
    if (!fd) {
        return names;
    }
    DIR* dir = ::fdopendir(fd.get());
    if (dir == nullptr) {
        return names;
    }
    fd.release(); // closedir closes it
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

std::string OwnedPattern(std::string_view prefix) {
    return std::string(prefix) + std::to_string(::getpid()) + "-XXXXXX";
}

int RemoveStaleCopies(int folderFd) {
    int removed = 0;
    for (const std::string& name : NamesIn(folderFd)) {
        if (name.compare(0, kCopyPrefix.size(), kCopyPrefix) != 0) {
            continue;
        }
        struct stat info {};
        const pid_t owner = OwnerOf(name, kCopyPrefix);
        // A copy named before copies carried their process: only when it is older than this run (the
        // card's lock, which this run holds, kept every other run from writing it since).
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            owner == ::getpid() || (owner == 0 ? !BeforeThisRun(info) : Alive(owner))) {
            continue;
        }
        if (::unlinkat(folderFd, name.c_str(), 0) == 0) {
            LogLine(kLogModule, "removed the partial copy " + name + " of an earlier run");
            ++removed;
        }
    }
    return removed;
}

int RemovePartialFiles(const std::filesystem::path& folder) {
    int removed = 0;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0 &&
            it->symlink_status(typeError).type() == std::filesystem::file_type::regular &&
            std::filesystem::remove(it->path(), typeError)) {
            ++removed;
        }
    }
    return removed;
}

int RemoveStaleTemporaryFolders(const std::filesystem::path& parent) {
    int removed = 0;
    const FileHandle folder(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) {
        return 0;
    }
    const int folderFd = folder.get();
    for (const std::string& name : NamesIn(folderFd)) {
        pid_t owner = OwnerOf(name, kImportPrefix);
        if (owner == 0) {
            owner = OwnerOf(name, kCardToolPrefix);
        }
        struct stat info {};
        if (owner == 0 || owner == ::getpid() || Alive(owner) ||
            ::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::getuid()) {
            continue;
        }
        std::error_code ec;
        if (std::filesystem::remove_all(parent / name, ec) > 0 && !ec) {
            LogLine(kLogModule, "removed the temporary folder " + name + " of an ended run");
            ++removed;
        }
    }
    return removed;
}

} // namespace k72::leftovers
