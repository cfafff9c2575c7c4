#pragma once
// Owns one POSIX file descriptor and closes it when it goes out of scope, so that no early return has
// to close by hand. The destructor cannot report a failed close: where one means lost data (a file
// that was written), call close() and check its result.

#include <cerrno>
#include <utility>

#include <unistd.h>

namespace k72 {

class FileHandle {
public:
    FileHandle() noexcept = default;
    explicit FileHandle(int fd) noexcept : fd_(fd) {}
    FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { reset(); }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }

    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(fd_, -1); }

    // Closes the descriptor held, if any, without looking at the result (errno is left as it was, so
    // a caller's error survives), and takes fd instead.
    void reset(int fd = -1) noexcept {
        const int old = std::exchange(fd_, fd);
        if (old >= 0) {
            const int saved = errno;
            ::close(old);
            errno = saved;
        }
    }

    // Closes now: 0, or -1 with errno set. A handle that holds nothing closes with 0.
    int close() noexcept {
        const int old = release();
        return old < 0 ? 0 : ::close(old);
    }

private:
    int fd_ = -1;
};

} // namespace k72
