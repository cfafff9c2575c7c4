#include "store/SaveJournal.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"
#include "store/WriteFaults.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "save journal";

constexpr std::string_view kMagic = "K72JRNL1";
constexpr std::size_t kMostSpans = 6 * 144;
constexpr std::size_t kLongestSpan = 1364;

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

} // namespace

bool SaveJournal::Write(const std::filesystem::path& path, const std::vector<JournalSpan>& spans) {
    std::vector<std::uint8_t> bytes(kMagic.begin(), kMagic.end());
    byteorder::AppendLE32(bytes, static_cast<std::uint32_t>(spans.size()));
    for (const JournalSpan& span : spans) {
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

SaveJournal::State SaveJournal::Read(const std::filesystem::path& path, std::vector<JournalSpan>& spans) {
    spans.clear();
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
    const std::size_t head = kMagic.size() + 4;
    if (bytes.size() < head + 4 || std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) != 0 ||
        byteorder::LoadLE32(bytes.data() + bytes.size() - 4) != Fnv1a(bytes.data(), bytes.size() - 4)) {
        return State::Damaged;
    }
    const std::uint64_t count = byteorder::LoadLE32(bytes.data() + kMagic.size());
    std::size_t at = head;
    for (std::uint64_t i = 0; i < count && count <= kMostSpans; ++i) {
        if (at + 12 > bytes.size() - 4) {
            break;
        }
        JournalSpan span;
        span.offset = byteorder::LoadLE64(bytes.data() + at);
        const std::size_t length = static_cast<std::size_t>(byteorder::LoadLE32(bytes.data() + at + 8));
        at += 12;
        if (length == 0 || length > kLongestSpan || at + 2 * length > bytes.size() - 4) {
            break;
        }
        span.oldBytes.assign(bytes.begin() + static_cast<long>(at),
                             bytes.begin() + static_cast<long>(at + length));
        span.newBytes.assign(bytes.begin() + static_cast<long>(at + length),
                             bytes.begin() + static_cast<long>(at + 2 * length));
        at += 2 * length;
        spans.push_back(std::move(span));
    }
    if (spans.size() != count || at != bytes.size() - 4) {
        spans.clear();
        return State::Damaged;
    }
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

} // namespace k72
