#include "ui/CopyWithProgress.h"

#include "codecs/DiagnosticLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace k72 {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    bool Close() {
        if (fd_ < 0) {
            return true;
        }
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

private:
    int fd_;
};

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

bool Fail(const std::string& what, const std::filesystem::path& path) {
    DebugOutput("copy: " + what + " " + path.string() + ": " + std::strerror(errno) + "\n");
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

bool CopyFileWithProgress(const std::filesystem::path& source, const std::filesystem::path& destination,
                          CopyProgress& progress, std::size_t chunkBytes) {
    Descriptor input(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (input.Get() < 0) {
        return Fail("cannot open", source);
    }
    struct stat info {};
    if (::fstat(input.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return Fail("not a file:", source);
    }
    const std::filesystem::path folder =
        destination.has_parent_path() ? destination.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ".k72-copy-XXXXXX").string();
    Descriptor output(::mkstemp(pattern.data()));
    if (output.Get() < 0) {
        return Fail("cannot create a temporary file in", folder);
    }
    TemporaryFile temporary(pattern);

    std::vector<char> buffer(chunkBytes > 0 ? chunkBytes : 1);
    for (;;) {
        if (progress.cancel.load()) {
            return false;
        }
        const ssize_t n = ::read(input.Get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail("cannot read", source);
        }
        if (n == 0) {
            break;
        }
        if (!WriteAll(output.Get(), buffer.data(), static_cast<std::size_t>(n))) {
            return Fail("cannot write a copy of", destination);
        }
        progress.bytesDone.fetch_add(static_cast<std::uint64_t>(n));
    }
    // A cancel that came while the last step ran still counts.
    if (progress.cancel.load()) {
        return false;
    }
    ::fchmod(output.Get(), (info.st_mode & 0777) | S_IRUSR | S_IWUSR);
    // The card may be pulled out right after the copy.
    if (::fsync(output.Get()) != 0 || !output.Close()) {
        return Fail("cannot flush", destination);
    }
    if (::rename(temporary.Path().c_str(), destination.c_str()) != 0) {
        return Fail("cannot rename into", destination);
    }
    temporary.Keep();
    return true;
}

} // namespace k72
