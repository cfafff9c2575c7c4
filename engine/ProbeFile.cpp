#include "engine/ProbeFile.h"

#include <filesystem>
#include <limits>
#include <system_error>

namespace k72 {

bool ProbeFile::Open(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path fsPath(path);
    if (path.empty() || !std::filesystem::is_regular_file(fsPath, ec)) {
        return false;
    }
    stream_.open(fsPath, std::ios::binary | std::ios::in);
    if (!stream_) {
        return false;
    }
    stream_.seekg(0, std::ios::end);
    const std::streamoff end = stream_.tellg();
    if (!stream_ || end < 0) {
        stream_.close();
        return false;
    }
    length_ = static_cast<std::uint64_t>(end);
    return true;
}

bool ProbeFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
    if (!stream_.is_open() || offset > length_ || n > length_ - offset ||
        offset > static_cast<std::uint64_t>(std::numeric_limits<std::streamoff>::max())) {
        return false;
    }
    stream_.clear();
    stream_.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
    stream_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(n));
    return stream_.gcount() == static_cast<std::streamsize>(n);
}

} // namespace k72
