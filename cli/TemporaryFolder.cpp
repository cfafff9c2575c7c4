#include "cli/TemporaryFolder.h"

#include <cstdlib>
#include <string>

namespace k72::cli {

TemporaryFolder::TemporaryFolder() {
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::temp_directory_path(ec);
    if (ec) {
        parent = "/tmp";
    }
    std::string pattern = (parent / "k72-card-XXXXXX").string();
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
