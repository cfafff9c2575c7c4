#include "store/SaveJournal.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"
#include "store/WriteFaults.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "save journal";

constexpr std::string_view kMagic = "K72JRNL2";
constexpr std::string_view kMagicWithoutIdentity = "K72JRNL1";
constexpr std::string_view kName = "K72_PAD-journal";
constexpr std::string_view kExtension = ".bin";
constexpr std::size_t kMostSpans = 6 * 144;
constexpr std::size_t kLongestSpan = 1364;
constexpr std::size_t kLongestVolume = 64;

std::uint32_t Fnv1a(const std::uint8_t* data, std::size_t size) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) {
        hash = (hash ^ data[i]) * 16777619u;
    }
    return hash;
}

void SyncFolder(const std::filesystem::path& folder) {
    const FileHandle fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd && writefault::Pass("journal folder fsync")) {
        ::fsync(fd.get());
    }
}

bool Log(const std::string& what, const std::filesystem::path& path) {
    LogLine(kLogModule, what + " " + path.string() + ": " + std::strerror(errno));
    return false;
}

// Reads the bytes a little-endian reader takes from a journal, refusing to run past its end.
class Reader {
public:
    Reader(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t end)
        : bytes_(bytes), at_(at), end_(end) {}
    bool Take(std::size_t size) const { return at_ + size <= end_ && at_ + size >= at_; }
    std::uint32_t U32() {
        const std::uint32_t value = byteorder::LoadLE32(bytes_.data() + at_);
        at_ += 4;
        return value;
    }
    std::uint64_t U64() {
        const std::uint64_t value = byteorder::LoadLE64(bytes_.data() + at_);
        at_ += 8;
        return value;
    }
    std::vector<std::uint8_t> Bytes(std::size_t size) {
        std::vector<std::uint8_t> out(bytes_.begin() + static_cast<long>(at_),
                                      bytes_.begin() + static_cast<long>(at_ + size));
        at_ += size;
        return out;
    }
    std::size_t At() const { return at_; }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_;
    std::size_t end_;
};

// True when the span's bytes in padFile are each the old or the new byte; whole is set to whether they
// are all old or all new.
bool HoldsOldOrNew(const JournalSpan& span, const std::vector<std::uint8_t>& padFile, bool& whole) {
    if (span.offset > padFile.size() || span.oldBytes.size() > padFile.size() - span.offset) {
        return false;
    }
    const auto now = padFile.begin() + static_cast<long>(span.offset);
    bool allOld = true;
    bool allNew = true;
    for (std::size_t i = 0; i < span.oldBytes.size(); ++i) {
        const std::uint8_t byte = now[static_cast<long>(i)];
        if (byte != span.oldBytes[i] && byte != span.newBytes[i]) {
            return false;
        }
        allOld = allOld && byte == span.oldBytes[i];
        allNew = allNew && byte == span.newBytes[i];
    }
    whole = allOld || allNew;
    return true;
}

} // namespace

std::filesystem::path SaveJournal::PathIn(const std::filesystem::path& folder) {
    return folder / (std::string(kName) + std::string(kExtension));
}

std::vector<std::filesystem::path> SaveJournal::Found(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    std::vector<std::pair<std::filesystem::file_time_type, std::filesystem::path>> aside;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.size() <= kName.size() + kExtension.size() + 1 ||
            name.compare(0, kName.size(), kName) != 0 || name[kName.size()] != '-' ||
            name.compare(name.size() - kExtension.size(), kExtension.size(), kExtension) != 0 ||
            it->symlink_status(typeError).type() != std::filesystem::file_type::regular) {
            continue;
        }
        aside.emplace_back(it->last_write_time(typeError), it->path());
    }
    std::sort(aside.begin(), aside.end());
    const std::filesystem::path current = PathIn(folder);
    if (std::filesystem::exists(std::filesystem::symlink_status(current, ec))) {
        found.push_back(current);
    }
    for (auto& [when, path] : aside) {
        found.push_back(std::move(path));
    }
    return found;
}

bool SaveJournal::Write(const std::filesystem::path& path, const Journal& journal) {
    std::vector<std::uint8_t> bytes;
    const std::string_view magic = journal.identity ? kMagic : kMagicWithoutIdentity;
    bytes.insert(bytes.end(), magic.begin(), magic.end());
    if (journal.identity) {
        const std::string& volume = journal.identity->volume;
        byteorder::AppendLE32(bytes, static_cast<std::uint32_t>(volume.size()));
        bytes.insert(bytes.end(), volume.begin(), volume.end());
        byteorder::AppendLE64(bytes, journal.identity->outside);
    }
    byteorder::AppendLE32(bytes, static_cast<std::uint32_t>(journal.spans.size()));
    for (const JournalSpan& span : journal.spans) {
        byteorder::AppendLE64(bytes, span.offset);
        byteorder::AppendLE32(bytes, static_cast<std::uint32_t>(span.oldBytes.size()));
        bytes.insert(bytes.end(), span.oldBytes.begin(), span.oldBytes.end());
        bytes.insert(bytes.end(), span.newBytes.begin(), span.newBytes.end());
    }
    byteorder::AppendLE32(bytes, Fnv1a(bytes.data(), bytes.size()));

    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::filesystem::path part = path;
    part += ".part";
    FileHandle fd(::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
        return Log("cannot create", part);
    }
    bool ok = writefault::Pass("journal write") &&
              ::write(fd.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
              writefault::Pass("journal fsync") && ::fsync(fd.get()) == 0;
    ok = fd.close() == 0 && ok;
    if (ok && writefault::Pass("journal rename") && ::rename(part.c_str(), path.c_str()) == 0) {
        SyncFolder(path.parent_path());
        return true;
    }
    Log("cannot write", path);
    ::unlink(part.c_str());
    return false;
}

SaveJournal::State SaveJournal::Read(const std::filesystem::path& path, Journal& journal) {
    journal = Journal{};
    std::vector<std::uint8_t> bytes;
    {
        const FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!fd) {
            return errno == ENOENT ? State::Absent : State::Damaged;
        }
        struct stat info {};
        if (::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size < (16 << 20)) {
            bytes.resize(static_cast<std::size_t>(info.st_size));
            if (::read(fd.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
                bytes.clear();
            }
        }
    }
    if (bytes.size() < kMagic.size() + 8 ||
        byteorder::LoadLE32(bytes.data() + bytes.size() - 4) != Fnv1a(bytes.data(), bytes.size() - 4)) {
        return State::Damaged;
    }
    const bool withIdentity = std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) == 0;
    if (!withIdentity && std::memcmp(bytes.data(), kMagicWithoutIdentity.data(), kMagic.size()) != 0) {
        return State::Damaged;
    }
    Reader in(bytes, kMagic.size(), bytes.size() - 4);
    Journal read;
    if (withIdentity) {
        if (!in.Take(4)) {
            return State::Damaged;
        }
        const std::size_t length = in.U32();
        if (length > kLongestVolume || !in.Take(length + 8)) {
            return State::Damaged;
        }
        CardIdentity identity;
        const auto volume = in.Bytes(length);
        identity.volume.assign(volume.begin(), volume.end());
        identity.outside = in.U64();
        read.identity = std::move(identity);
    }
    if (!in.Take(4)) {
        return State::Damaged;
    }
    const std::uint64_t count = in.U32();
    if (count > kMostSpans) {
        return State::Damaged;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        if (!in.Take(12)) {
            return State::Damaged;
        }
        JournalSpan span;
        span.offset = in.U64();
        const std::size_t length = in.U32();
        if (length == 0 || length > kLongestSpan || !in.Take(2 * length)) {
            return State::Damaged;
        }
        span.oldBytes = in.Bytes(length);
        span.newBytes = in.Bytes(length);
        read.spans.push_back(std::move(span));
    }
    if (in.At() != bytes.size() - 4) {
        return State::Damaged;
    }
    journal = std::move(read);
    return State::Valid;
}

bool SaveJournal::Remove(const std::filesystem::path& path) {
    if (!writefault::Pass("journal remove")) {
        return Log("cannot remove", path);
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        return Log("cannot remove", path);
    }
    SyncFolder(path.parent_path());
    return true;
}

bool SaveJournal::SetAside(const std::filesystem::path& path, const CardIdentity& identity) {
    // Named after its card, so that a second journal of the same card replaces the first: only the
    // newest save of a card can have been cut off last.
    std::string key = identity.volume;
    char hash[24];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(identity.outside));
    key += hash;
    std::uint32_t tag = Fnv1a(reinterpret_cast<const std::uint8_t*>(key.data()), key.size());
    char name[64];
    std::snprintf(name, sizeof name, "%s-%08x%s", std::string(kName).c_str(), static_cast<unsigned>(tag),
                  std::string(kExtension).c_str());
    const std::filesystem::path target = path.parent_path() / name;
    if (!writefault::Pass("journal rename") || ::rename(path.c_str(), target.c_str()) != 0) {
        return Log("cannot set aside", path);
    }
    SyncFolder(path.parent_path());
    std::vector<std::filesystem::path> found = Found(path.parent_path());
    std::erase(found, PathIn(path.parent_path()));
    for (std::size_t i = 0; i + kSetAsideKept < found.size(); ++i) {
        ::unlink(found[i].c_str());
    }
    return true;
}

std::uint64_t SaveJournal::HashOutside(const std::vector<std::uint8_t>& padFile,
                                       const std::vector<JournalSpan>& spans) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> skipped;
    for (const JournalSpan& span : spans) {
        skipped.emplace_back(span.offset, span.offset + span.oldBytes.size());
    }
    std::sort(skipped.begin(), skipped.end());
    std::uint64_t hash = 14695981039346656037ull;
    const auto add = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t i = from; i < to && i < padFile.size(); ++i) {
            hash = (hash ^ padFile[static_cast<std::size_t>(i)]) * 1099511628211ull;
        }
    };
    std::uint64_t at = 0;
    for (const auto& [begin, end] : skipped) {
        if (begin > at) {
            add(at, begin);
        }
        at = std::max(at, end);
    }
    add(at, padFile.size());
    return hash;
}

SaveJournal::Fit SaveJournal::FitOf(const Journal& journal, const std::vector<std::uint8_t>& padFile,
                                    const std::string& volume) {
    if (journal.identity) {
        // A volume without a serial, or one the system does not name now (the same card through
        // another reader may be mounted differently), is told apart by the bytes alone.
        const std::string& wanted = journal.identity->volume;
        if ((!wanted.empty() && !volume.empty() && wanted != volume) ||
            HashOutside(padFile, journal.spans) != journal.identity->outside) {
            return Fit::OtherCard;
        }
    }
    bool torn = false;
    for (const JournalSpan& span : journal.spans) {
        bool whole = false;
        if (!HoldsOldOrNew(span, padFile, whole)) {
            return Fit::Changed;
        }
        torn = torn || !whole;
    }
    // Without an identity the journal may be another card's; it is put back only over a record it
    // finds torn, which no other card's record would be.
    if (!journal.identity && !torn) {
        return Fit::Whole;
    }
    return Fit::PutBack;
}

} // namespace k72
