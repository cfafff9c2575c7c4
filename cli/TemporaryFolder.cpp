#include "cli/TemporaryFolder.h"

#include "store/Leftovers.h"

#include <cstdlib>
#include <string>

namespace k72::cli {

TemporaryFolder::TemporaryFolder() {
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::temp_directory_path(ec);
    if (ec) {
        parent = "/tmp";
    }
    // Folders of runs that were killed are cleared away first; ours carries our process id.
    leftovers::RemoveStaleTemporaryFolders(parent);
    std::string pattern = (parent / leftovers::OwnedPattern(leftovers::kCardToolPrefix)).string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

TemporaryFolder::~TemporaryFolder() {
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
}

} // namespace k72::cli
