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
    int handle;
    do {
        handle = ::open(path.c_str(), flags, 0644);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0) {
        // Whatever keeps the file from opening, the caller learns it as a missing file.
        throw Error(Cause::FileNotFound, Describe("cannot open", path, errno));
    }
    handle_ = handle;
    path_ = path;
    if ((mode & ModeAppend) != 0) {
        Seek(0, End);
    }
    return true;
}

void CWinFile::Close() {
    if (handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
}

std::size_t CWinFile::Read(void* buffer, std::size_t count) {
    if (handle_ < 0) {
        return 0;
    }
    ssize_t got;
    do {
        got = ::read(handle_, buffer, count);
    } while (got < 0 && errno == EINTR);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

void CWinFile::ReadExact(void* buffer, std::size_t count) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (handle_ < 0) {
            throw Error(Cause::ReadFailed, "read from a closed file");
        }
        const ssize_t got = ::read(handle_, bytes + done, count - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw Error(Cause::ReadFailed, Describe("cannot read", path_, errno));
        }
        if (got == 0) {
            throw Error(Cause::EndOfFile, "unexpected end of " + path_.string());
        }
        done += static_cast<std::size_t>(got);
    }
}

bool CWinFile::Write(const void* buffer, std::size_t count) {
    if (handle_ < 0) {
        return false;
    }
    ssize_t put;
    do {
        put = ::write(handle_, buffer, count);
    } while (put < 0 && errno == EINTR);
    return put >= 0 && static_cast<std::size_t>(put) == count;
}

void CWinFile::WriteExact(const void* buffer, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (handle_ < 0) {
            throw Error(Cause::WriteFailed, "write to a closed file");
        }
        const ssize_t put = ::write(handle_, bytes + done, count - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            throw Error(Cause::WriteFailed, Describe("cannot write", path_, put < 0 ? errno : ENOSPC));
        }
        done += static_cast<std::size_t>(put);
    }
}

std::uint64_t CWinFile::Seek(std::int64_t offset, SeekOrigin origin) {
    const int whence = origin == Begin ? SEEK_SET : origin == Current ? SEEK_CUR : SEEK_END;
    const off_t position = handle_ < 0 ? -1 : ::lseek(handle_, static_cast<off_t>(offset), whence);
    if (position < 0) {
        throw Error(Cause::BadSeek, Describe("cannot seek in", path_, handle_ < 0 ? EBADF : errno));
    }
    return static_cast<std::uint64_t>(position);
}

std::uint64_t CWinFile::GetLength() {
    struct stat info {};
    if (handle_ < 0 || ::fstat(handle_, &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::uint64_t CWinFile::GetPosition() {
    const off_t position = handle_ < 0 ? -1 : ::lseek(handle_, 0, SEEK_CUR);
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

} // namespace k72
