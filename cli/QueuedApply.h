#pragma once
// Runs an apply from a terminal: the background queue converts, this thread puts each finished job onto
// the card as it comes (the store is only ever touched here), a progress line shows how far the set has
// come, and Ctrl-C cancels what is still queued or running; pads already saved stay saved.

#include "store/ApplyRun.h"

#include <filesystem>

namespace k72::cli {

class QueuedApply {
public:
    // jobs: at most that many movies at once; 0: as many as the machine carries.
    QueuedApply(const std::filesystem::path& temporaryParent, unsigned jobs);

    // Starts the run and returns once every pad of it is saved or given up.
    void Run(ApplyRun& run);

private:
    std::filesystem::path parent_;
    unsigned jobs_;
};

} // namespace k72::cli
