#include "store/PadFileSnapshot.h"

#include "base/ByteOrder.h"
#include "base/FileHandle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {
namespace {

StoreResult Unreadable(std::string reason) {
    return StoreFailed(StoreFailure::NoCard, std::move(reason));
}

} // namespace
namespace {

using namespace padlayout;

void Name(const std::uint8_t* p, NameField& field) {
    std::memcpy(field.data(), p, field.size());
}

// One record, by the layout the device writes (the pad file's own reader follows the same table).
void ParseRecord(const std::uint8_t* r, PadEntry& entry) {
    entry.used = static_cast<std::int32_t>(byteorder::LoadLE32(r));
    entry.kindCode = static_cast<std::int32_t>(byteorder::LoadLE32(r + 4));
    if (entry.used != kUsed) {
        return;
    }
    if (entry.kindCode == kKindMovie) {
        MovieRecord& m = entry.movie.emplace();
        Name(r + 8, m.fileName);
        m.deviceValue1 = byteorder::LoadLE32(r + 24);
        m.deviceValue2 = byteorder::LoadLE32(r + 28);
        m.frameCount = byteorder::LoadLE32(r + 32);
        Name(r + 36, m.audioFileName);
        m.audioFileName[kNameFieldSize - 1] = '\0';
        m.deviceValue3 = byteorder::LoadLE32(r + 52);
        m.deviceValue4 = byteorder::LoadLE32(r + 56);
        m.deviceByte1 = r[60];
        m.deviceByte2 = r[61];
        m.deviceByte3 = r[64];
    } else if (entry.kindCode == kKindStill) {
        StillRecord& s = entry.stills.emplace();
        for (std::size_t i = 0; i < kMaxStills; ++i) {
            Name(r + 8 + i * kNameFieldSize, s.stillNames[i]);
        }
        s.stillCount = byteorder::LoadLE32(r + 1308);
        Name(r + 1312, s.audioFileName);
        s.audioFileName[kNameFieldSize - 1] = '\0';
        s.deviceValue1 = byteorder::LoadLE32(r + 1328);
        s.deviceValue2 = byteorder::LoadLE32(r + 1332);
        s.deviceValue3 = byteorder::LoadLE32(r + 1336);
        std::memcpy(s.deviceBytes.data(), r + 1340, s.deviceBytes.size());
        s.deviceByte4 = r[1360];
        s.deviceByte2 = r[1361];
    }
}

struct FileState {
    off_t size = 0;
    timespec changed{};
    timespec modified{};
    ino_t inode = 0;
};

bool SameState(const FileState& a, const FileState& b) {
    return a.size == b.size && a.inode == b.inode && a.changed.tv_sec == b.changed.tv_sec &&
           a.changed.tv_nsec == b.changed.tv_nsec && a.modified.tv_sec == b.modified.tv_sec &&
           a.modified.tv_nsec == b.modified.tv_nsec;
}

bool StateOf(int fd, FileState& state) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return false;
    }
    state.size = info.st_size;
    state.changed = info.st_ctim;
    state.modified = info.st_mtim;
    state.inode = info.st_ino;
    return true;
}

// The whole file into bytes (exactly bytes.size() of them); false on an error or a short file.
bool ReadAll(int fd, std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

StoreResult PadFileSnapshot::Read(const std::filesystem::path& path) {
    bytes_.clear();
    attempts_ = 0;
    wrongLength_ = -1;
    // Read-only; O_NONBLOCK keeps a FIFO named like the pad file from blocking the open, and a link is
    // not followed out of the card.
    const FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!fd) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            return Unreadable(path.string() + " is a symbolic link, not a file");
        }
        return Unreadable(path.string() + " cannot be read: " + std::strerror(errno));
    }
    return ReadOpenFile(fd.get(), path);
}

StoreResult PadFileSnapshot::ReadOpenFile(int fd, const std::filesystem::path& path) {
    bytes_.clear();
    attempts_ = 0;
    wrongLength_ = -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return Unreadable(path.string() + " is not a file");
    }
    // A writer waits while this is held; one that holds the file already is not waited for.
    struct SharedLock {
        explicit SharedLock(int fd) : fd_(::flock(fd, LOCK_SH | LOCK_NB) == 0 ? fd : -1) {}
        ~SharedLock() {
            if (fd_ >= 0) {
                ::flock(fd_, LOCK_UN);
            }
        }
        SharedLock(const SharedLock&) = delete;
        SharedLock& operator=(const SharedLock&) = delete;
        int fd_;
    } lock(fd);
    std::vector<std::uint8_t> first(kFileSize);
    std::vector<std::uint8_t> second(kFileSize);
    for (attempts_ = 1; attempts_ <= kMaxAttempts; ++attempts_) {
        FileState before;
        FileState after;
        if (!StateOf(fd, before)) {
            return Unreadable(path.string() + " cannot be read: " + std::strerror(errno));
        }
        if (static_cast<std::uint64_t>(before.size) != kFileSize) {
            wrongLength_ = static_cast<long long>(before.size);
            return Unreadable(path.string() + " has " + std::to_string(before.size) + " bytes, not " +
                              std::to_string(kFileSize));
        }
        if (!ReadAll(fd, first)) {
            return Unreadable(path.string() + " cannot be read: " + std::strerror(errno));
        }
        if (hook_ != nullptr) {
            hook_(hookContext_, attempts_);
        }
        if (!ReadAll(fd, second) || !StateOf(fd, after)) {
            return Unreadable(path.string() + " cannot be read: " + std::strerror(errno));
        }
        if (first == second && SameState(before, after)) {
            bytes_ = std::move(first);
            return {};
        }
        // The lock holder wrote meanwhile; give it a moment to finish its bank.
        ::usleep(static_cast<useconds_t>(2000 * attempts_));
    }
    attempts_ = kMaxAttempts;
    return Unreadable(path.string() + " kept changing while it was read");
}

std::vector<PadEntry> PadFileSnapshot::Bank(int bank) const {
    std::vector<PadEntry> entries;
    if (bank < 0 || bank >= kBanks || bytes_.size() != kFileSize) {
        return entries;
    }
    entries.resize(kEntriesPerBank);
    const std::uint8_t* start = bytes_.data() + static_cast<std::size_t>(bank) * kBankSize;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ParseRecord(start + i * kRecordSize, entries[i]);
    }
    return entries;
}

bool PadFileSnapshot::WriteCopy(const std::filesystem::path& path) const {
    if (bytes_.size() != kFileSize) {
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace k72
