#pragma once
// What identifies a source file between two runs: its path, size and modification time, which are
// cheap to read, and a hash of its content, which is read only when they disagree with what was
// recorded (a file copied to another machine, touched, or moved). The hash is XXH3 with 128 bits.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace k72 {

struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0; // nanoseconds since 1970

    bool operator==(const FileStamp&) const = default;
};

struct SourceIdentity {
    std::string path; // absolute, links resolved (SourcePathKey)
    FileStamp stamp;
    std::string hash; // 32 lower-case hexadecimal digits

    bool operator==(const SourceIdentity&) const = default;
};

// The path a source is known by: absolute, with links and "." and ".." resolved as far as it exists.
std::string SourcePathKey(const std::filesystem::path& path);

// Size and modification time of a regular file; none when it is missing or not a regular file.
std::optional<FileStamp> StampOfFile(const std::filesystem::path& path);

// The content hash of a file; none when it cannot be read, or when stop (may be null) is raised meanwhile.
std::optional<std::string> HashOfFile(const std::filesystem::path& path,
                                      const std::atomic<bool>* stop = nullptr);

// Looks at each source once per run, and reads its content only when asked for its hash. Tests count
// what it reads by overriding the two readers.
class SourceProbe {
public:
    SourceProbe() = default;
    virtual ~SourceProbe() = default;
    SourceProbe(const SourceProbe&) = delete;
    SourceProbe& operator=(const SourceProbe&) = delete;

    std::optional<FileStamp> Stamp(const std::filesystem::path& path);
    std::optional<std::string> Hash(const std::filesystem::path& path);
    // Path, stamp and hash of a source about to be converted; none when it cannot be read.
    std::optional<SourceIdentity> Identify(const std::filesystem::path& path);

    // Whether the file at path is still the recorded source: the same path, size and modification time
    // say so without reading it; otherwise the size must match and the content hash decides.
    bool Unchanged(const SourceIdentity& recorded, const std::filesystem::path& path);

protected:
    virtual std::optional<FileStamp> ReadStamp(const std::filesystem::path& path);
    virtual std::optional<std::string> ReadHash(const std::filesystem::path& path);

private:
    std::map<std::string, std::optional<FileStamp>> stamps_;
    std::map<std::string, std::optional<std::string>> hashes_;
};

} // namespace k72
