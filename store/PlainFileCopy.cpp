#include "store/PlainFileCopy.h"

#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"
#include "store/Leftovers.h"
#include "store/WriteFaults.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "copy";

// Closes a descriptor, and removes the temporary file it was writing unless the copy was kept.
class TemporaryTarget {
public:
    TemporaryTarget(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TemporaryTarget() {
        CloseFile();
        if (!kept_) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryTarget(const TemporaryTarget&) = delete;
    TemporaryTarget& operator=(const TemporaryTarget&) = delete;

    int Fd() const { return fd_.get(); }
    const std::string& Path() const { return path_; }
    bool CloseFile() { return fd_.close() == 0; }
    void Keep() { kept_ = true; }

private:
    FileHandle fd_;
    std::string path_;
    bool kept_ = false;
};

// O_NONBLOCK: a FIFO or device does not hold the open up; the type is checked right after.
FileHandle OpenInput(const std::filesystem::path& path, bool noFollow) {
    return FileHandle(
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (noFollow ? O_NOFOLLOW : 0)));
}

bool Fail(const std::string& what, const std::filesystem::path& path) {
    LogLine(kLogModule, what + " " + path.string() + ": " + std::strerror(errno));
    return false;
}

bool CopyData(int from, int to) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return true;
        }
        ssize_t done = 0;
        while (done < n) {
            if (!writefault::Pass("copy write")) {
                return false;
            }
            const ssize_t w = ::write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += w;
        }
    }
}

} // namespace

bool PlainFileCopy::Copy(const std::vector<FileCopyItem>& items) {
    for (const FileCopyItem& item : items) {
        if (!CopyOne(item.source, item.destination, overwrite_, item.sourceOnCard)) {
            return false;
        }
    }
    return true;
}

bool PlainFileCopy::CopyOne(const std::filesystem::path& source, const std::filesystem::path& destination,
                            bool overwrite, bool noFollow) {
    const FileHandle input = OpenInput(source, noFollow);
    if (!input) {
        return Fail("cannot open", source);
    }
    struct stat info {};
    if (::fstat(input.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return Fail("not a regular file:", source);
    }
    const int flags = ::fcntl(input.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(input.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    std::error_code ec;
    if (!overwrite && std::filesystem::exists(std::filesystem::symlink_status(destination, ec))) {
        errno = EEXIST;
        return Fail("will not overwrite", destination);
    }
    const auto folder =
        destination.has_parent_path() ? destination.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / leftovers::OwnedPattern(leftovers::kCopyPrefix)).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        return Fail("cannot create a temporary file in", folder);
    }
    TemporaryTarget target(fd, pattern);
    if (!CopyData(input.get(), target.Fd())) {
        return Fail("cannot copy to", destination);
    }
    // The copy keeps the source's permission bits (mkstemp made it private to the owner).
    ::fchmod(target.Fd(), (info.st_mode & 0777) | S_IRUSR | S_IWUSR);
    // The card may be pulled out right after the copy.
    if (!writefault::Pass("copy fsync") || ::fsync(target.Fd()) != 0 || !target.CloseFile()) {
        return Fail("cannot flush", destination);
    }
    const unsigned int renameFlags = overwrite ? 0u : RENAME_NOREPLACE;
    if (!writefault::Pass("copy rename")) {
        return Fail("cannot rename into", destination);
    }
    if (::renameat2(AT_FDCWD, target.Path().c_str(), AT_FDCWD, destination.c_str(), renameFlags) != 0) {
        // Some file systems do not know RENAME_NOREPLACE; the existence check above stands in for it.
        if (!(errno == EINVAL && !overwrite) || ::rename(target.Path().c_str(), destination.c_str()) != 0) {
            return Fail("cannot rename into", destination);
        }
    }
    target.Keep();
    return true;
}

} // namespace k72
