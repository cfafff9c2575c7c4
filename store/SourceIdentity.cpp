#include "store/SourceIdentity.h"

#include "base/FileHandle.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

// The hash library is used from its header alone, so that nothing else has to link it.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace k72 {

std::string SourcePathKey(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    if (ec) {
        resolved = std::filesystem::absolute(path, ec).lexically_normal();
    }
    return resolved.string();
}

std::optional<FileStamp> StampOfFile(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return stamp;
}

std::optional<std::string> HashOfFile(const std::filesystem::path& path, const std::atomic<bool>* stop) {
    const FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return std::nullopt;
    }
    XXH3_state_t state;
    XXH3_INITSTATE(&state);
    XXH3_128bits_reset(&state);
    std::array<unsigned char, 1 << 16> buffer;
    for (;;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return std::nullopt;
        }
        const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        XXH3_128bits_update(&state, buffer.data(), static_cast<std::size_t>(got));
    }
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(&state));
    std::string hex;
    for (const unsigned char byte : canonical.digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

std::optional<FileStamp> SourceProbe::Stamp(const std::filesystem::path& path) {
    const std::string key = SourcePathKey(path);
    const auto known = stamps_.find(key);
    if (known != stamps_.end()) {
        return known->second;
    }
    return stamps_[key] = ReadStamp(path);
}

std::optional<std::string> SourceProbe::Hash(const std::filesystem::path& path) {
    const std::string key = SourcePathKey(path);
    const auto known = hashes_.find(key);
    if (known != hashes_.end()) {
        return known->second;
    }
    return hashes_[key] = ReadHash(path);
}

std::optional<SourceIdentity> SourceProbe::Identify(const std::filesystem::path& path) {
    const std::optional<FileStamp> stamp = Stamp(path);
    if (!stamp) {
        return std::nullopt;
    }
    const std::optional<std::string> hash = Hash(path);
    if (!hash) {
        return std::nullopt;
    }
    return SourceIdentity{SourcePathKey(path), *stamp, *hash};
}

bool SourceProbe::Unchanged(const SourceIdentity& recorded, const std::filesystem::path& path) {
    const std::optional<FileStamp> stamp = Stamp(path);
    if (!stamp || stamp->size != recorded.stamp.size) {
        return false;
    }
    if (recorded.path == SourcePathKey(path) && recorded.stamp == *stamp) {
        return true;
    }
    const std::optional<std::string> hash = Hash(path);
    return hash && !recorded.hash.empty() && *hash == recorded.hash;
}

std::optional<FileStamp> SourceProbe::ReadStamp(const std::filesystem::path& path) {
    return StampOfFile(path);
}

std::optional<std::string> SourceProbe::ReadHash(const std::filesystem::path& path) {
    return HashOfFile(path);
}

} // namespace k72
