#include "store/TemporaryWorkspace.h"

#include "base/DiagnosticLog.h"
#include "store/Leftovers.h"
#include "store/StoreMessages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace k72 {

TemporaryWorkspace::TemporaryWorkspace(const std::filesystem::path& parent) : parent_(parent) {
    std::string pattern = (parent / leftovers::OwnedPattern(leftovers::kImportPrefix)).string();
    if (::mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    } else {
        error_ = errno;
        LogLine("import", "cannot create a temporary folder in " + parent.string());
    }
}

TemporaryWorkspace::~TemporaryWorkspace() {
    if (!path_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
}

StoreResult TemporaryWorkspace::Failure() const {
    if (Ok()) {
        return {};
    }
    const std::string folder = parent_.string();
    return StoreFailed(StoreFailure::TemporaryFolder,
                       error_ == ENOSPC || error_ == EDQUOT
                           ? messages::TemporaryDiskFull(folder)
                           : messages::TemporaryFolderUnusable(folder, std::strerror(error_)));
}

} // namespace k72
