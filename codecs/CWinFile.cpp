#include "codecs/CWinFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {
namespace {

std::string Describe(const char* what, const std::filesystem::path& path, int error) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(error);
}

} // namespace

CWinFile::~CWinFile() {
    Close();
}

bool CWinFile::Open(const std::filesystem::path& path, std::uint32_t mode) {
    Close();
    const bool wantRead = (mode & ModeRead) != 0;
    const bool wantWrite = (mode & ModeWrite) != 0;
    int flags = O_CLOEXEC;
    flags |= wantWrite ? (wantRead ? O_RDWR : O_WRONLY) : O_RDONLY;
    if ((mode & ModeCreate) != 0) {
        flags |= O_CREAT;
        if ((mode & ModeAppend) == 0) {
            flags |= O_TRUNC;
        }
    }
    FileHandle handle;
    do {
        handle.reset(::open(path.c_str(), flags, 0644));
    } while (!handle && errno == EINTR);
    if (!handle) {
        // Whatever keeps the file from opening, the caller learns it as a missing file.
        return Fail(Cause::FileNotFound, Describe("cannot open", path, errno));
    }
    handle_ = std::move(handle);
    path_ = path;
    return (mode & ModeAppend) == 0 || Seek(0, End);
}

bool CWinFile::Fail(Cause cause, std::string what) {
    lastCause_ = cause;
    lastError_ = std::move(what);
    return false;
}

void CWinFile::Close() {
    if (handle_) {
        int ignored = 0;
        FlushBuffer(ignored); // a caller that needs to know calls Flush first
        handle_.reset();
    }
    writeBuffer_.clear();
    lengthKnown_ = false;
}

bool CWinFile::WriteAll(const void* buffer, std::size_t count, int& error) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(handle_.get(), bytes + done, count - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            error = put < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool CWinFile::FlushBuffer(int& error) {
    if (writeBuffer_.empty()) {
        return true;
    }
    const bool written = handle_ && WriteAll(writeBuffer_.data(), writeBuffer_.size(), error);
    if (!handle_) {
        error = EBADF;
    }
    writeBuffer_.clear();
    return written;
}

bool CWinFile::FlushOrFail() {
    int error = 0;
    return FlushBuffer(error) || Fail(Cause::WriteFailed, Describe("cannot write", path_, error));
}

bool CWinFile::Flush() {
    return FlushOrFail();
}

bool CWinFile::SetWriteBuffer(std::size_t bytes) {
    if (!FlushOrFail()) {
        return false;
    }
    writeBufferLimit_ = bytes;
    writeBuffer_.reserve(bytes);
    return true;
}

std::size_t CWinFile::Read(void* buffer, std::size_t count) {
    return ReadOnce([&] { return ::read(handle_.get(), buffer, count); });
}

bool CWinFile::ReadExact(void* buffer, std::size_t count) {
    if (!handle_) {
        return Fail(Cause::ReadFailed, "read from a closed file");
    }
    if (!FlushOrFail()) {
        return false;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::read(handle_.get(), bytes + done, count - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Fail(Cause::ReadFailed, Describe("cannot read", path_, errno));
        }
        if (got == 0) {
            return Fail(Cause::EndOfFile, "unexpected end of " + path_.string());
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::size_t CWinFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    return ReadOnce([&] { return ::pread(handle_.get(), buffer, count, static_cast<off_t>(offset)); });
}

std::size_t CWinFile::ReadOnce(const std::function<ssize_t()>& read) {
    if (!handle_) {
        return 0;
    }
    // What was written is flushed first, so that a read sees it.
    int ignored = 0;
    if (!FlushBuffer(ignored)) {
        return 0;
    }
    ssize_t got;
    do {
        got = read();
    } while (got < 0 && errno == EINTR);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool CWinFile::Write(const void* buffer, std::size_t count) {
    if (!handle_) {
        return false;
    }
    lengthKnown_ = false;
    int error = 0;
    if (writeBufferLimit_ == 0) {
        return WriteAll(buffer, count, error);
    }
    if (writeBuffer_.size() + count > writeBufferLimit_ && !FlushBuffer(error)) {
        return false;
    }
    if (count >= writeBufferLimit_) {
        return WriteAll(buffer, count, error);
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    writeBuffer_.insert(writeBuffer_.end(), bytes, bytes + count);
    return true;
}

bool CWinFile::WriteExact(const void* buffer, std::size_t count) {
    if (!handle_) {
        return Fail(Cause::WriteFailed, "write to a closed file");
    }
    errno = 0;
    return Write(buffer, count) ||
           Fail(Cause::WriteFailed, Describe("cannot write", path_, errno != 0 ? errno : ENOSPC));
}

bool CWinFile::Seek(std::int64_t offset, SeekOrigin origin) {
    if (!handle_) {
        return Fail(Cause::BadSeek, Describe("cannot seek in", path_, EBADF));
    }
    if (!FlushOrFail()) {
        return false;
    }
    const int whence = origin == Begin ? SEEK_SET : origin == Current ? SEEK_CUR : SEEK_END;
    return ::lseek(handle_.get(), static_cast<off_t>(offset), whence) >= 0 ||
           Fail(Cause::BadSeek, Describe("cannot seek in", path_, errno));
}

std::uint64_t CWinFile::GetLength() {
    if (lengthKnown_) {
        return knownLength_;
    }
    int ignored = 0;
    FlushBuffer(ignored);
    struct stat info {};
    if (!handle_ || ::fstat(handle_.get(), &info) != 0) {
        return 0;
    }
    knownLength_ = static_cast<std::uint64_t>(info.st_size);
    lengthKnown_ = writeBuffer_.empty();
    return knownLength_;
}

std::uint64_t CWinFile::GetPosition() {
    int ignored = 0;
    FlushBuffer(ignored);
    const off_t position = !handle_ ? -1 : ::lseek(handle_.get(), 0, SEEK_CUR);
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

} // namespace k72
