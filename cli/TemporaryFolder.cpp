#include "cli/TemporaryFolder.h"

#include "store/Leftovers.h"

#include <cerrno>
#include <cstdlib>
#include <string>

namespace k72::cli {

TemporaryFolder::TemporaryFolder() {
    // TMPDIR as it is set, even when it names no folder: the user is told about that folder rather than
    // having the files quietly go elsewhere.
    const char* tmpdir = std::getenv("TMPDIR");
    parent_ =
        tmpdir != nullptr && *tmpdir != '\0' ? std::filesystem::path(tmpdir) : std::filesystem::path("/tmp");
    const std::filesystem::path& parent = parent_;
    // Folders of runs that were killed are cleared away first; ours carries our process id.
    leftovers::RemoveStaleTemporaryFolders(parent);
    std::string pattern = (parent / leftovers::OwnedPattern(leftovers::kCardToolPrefix)).string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    } else {
        error_ = errno;
    }
}

TemporaryFolder::~TemporaryFolder() {
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
}

} // namespace k72::cli
