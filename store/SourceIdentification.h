#pragma once
// The sources of an import identified (size, modification time and content hash) on a thread of its
// own, started as the conversion starts: the conversion reads each file anyway, so reading it once more
// for its hash costs no wait of its own, and the window's thread never reads a whole movie. Dropped
// before it is done (a cancelled or failed import), it stops at its next read.

#include "store/SourceIdentity.h"

#include <atomic>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

namespace k72 {

class SourceIdentification {
public:
    explicit SourceIdentification(std::vector<std::filesystem::path> sources);
    ~SourceIdentification();
    SourceIdentification(const SourceIdentification&) = delete;
    SourceIdentification& operator=(const SourceIdentification&) = delete;

    // Waits for the identities, in the order of the sources; none for a source that could not be read.
    std::vector<std::optional<SourceIdentity>> Take();

private:
    std::vector<std::filesystem::path> sources_;
    std::vector<std::optional<SourceIdentity>> identities_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace k72
