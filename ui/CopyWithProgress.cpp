#include "ui/CopyWithProgress.h"

#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "copy";

// The temporary copy, removed unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!kept_) {
            ::unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

bool Fail(const std::string& what, const std::filesystem::path& path, CopyProgress& progress, bool reading) {
    const int error = errno;
    LogLine(kLogModule, what + " " + path.string() + ": " + std::strerror(error));
    progress.failureErrno = error;
    progress.failedReading = reading;
    return false;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string CopyFailureReason(int error, bool reading) {
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return "There is not enough free space there (the card or disk is full).";
    case EROFS:
        return reading ? "The file cannot be read." : "The folder is on a read-only card or disk.";
    case EACCES:
    case EPERM:
        return reading ? "The file cannot be read (no permission)."
                       : "The folder cannot be written (it is read-only or has no write permission).";
    case ENOENT:
    case ENOTDIR:
        return reading ? "The file is no longer there."
                       : "The folder does not exist (the card may have been removed).";
    case EIO:
    case ENODEV:
    case ENXIO:
        return "The card or disk reported an error; it may have been removed.";
    case EISDIR:
        return "It is a folder, not a file.";
    default:
        return error != 0 ? std::string(std::strerror(error)) + "." : std::string("The copy failed.");
    }
}

bool CopyFileWithProgress(const std::filesystem::path& source, const std::filesystem::path& destination,
                          CopyProgress& progress, std::size_t chunkBytes) {
    FileHandle input(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!input) {
        return Fail("cannot open", source, progress, true);
    }
    struct stat info {};
    if (::fstat(input.get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return Fail("not a file:", source, progress, true);
    }
    const std::filesystem::path folder =
        destination.has_parent_path() ? destination.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ".k72-copy-XXXXXX").string();
    FileHandle output(::mkstemp(pattern.data()));
    if (!output) {
        return Fail("cannot create a temporary file in", folder, progress, false);
    }
    TemporaryFile temporary(pattern);

    std::vector<char> buffer(chunkBytes > 0 ? chunkBytes : 1);
    for (;;) {
        if (progress.cancel.load()) {
            return false;
        }
        const ssize_t n = ::read(input.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail("cannot read", source, progress, true);
        }
        if (n == 0) {
            break;
        }
        if (!WriteAll(output.get(), buffer.data(), static_cast<std::size_t>(n))) {
            return Fail("cannot write a copy of", destination, progress, false);
        }
        progress.bytesDone.fetch_add(static_cast<std::uint64_t>(n));
    }
    // A cancel that came while the last step ran still counts.
    if (progress.cancel.load()) {
        return false;
    }
    ::fchmod(output.get(), (info.st_mode & 0777) | S_IRUSR | S_IWUSR);
    // The card may be pulled out right after the copy.
    if (::fsync(output.get()) != 0 || output.close() != 0) {
        return Fail("cannot flush", destination, progress, false);
    }
    if (::rename(temporary.Path().c_str(), destination.c_str()) != 0) {
        return Fail("cannot rename into", destination, progress, false);
    }
    temporary.Keep();
    return true;
}

} // namespace k72
