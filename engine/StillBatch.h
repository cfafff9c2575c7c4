#pragma once
// Converts a batch of pictures on a pool of worker threads, one per core. Every picture is converted
// by a converter of its own, so each result is byte for byte what converting that picture alone gives,
// whatever the order the workers take them in. Progress and the stop request are asked on the calling
// thread only.

#include "codecs/ConversionProblem.h"
#include "codecs/FitGeometry.h"
#include "codecs/ResultCodes.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace k72 {

struct StillBatchItem {
    std::string sourcePath;
    std::string destinationPath;
};

struct StillBatchOutcome {
    ResultCode result = 0;       // 0, or the code of the first picture (in the batch's order) that failed
    std::string cause;           // that picture's cause in words, where its converter gave one
    std::size_t failedIndex = 0; // that picture's position in the batch, when result is a failure
    bool cancelled = false;      // stopped at the caller's request; result is then rc::Fail
    std::size_t converted = 0;   // how many pictures were converted before the batch ended
};

struct StillBatchSettings {
    float quality = 0.5f;
    FitMode fit = FitMode::Stretch;
    unsigned workers = 0; // 0: one per core
};

// Called on the calling thread with the number of pictures finished so far and the total, a few times
// a second and once at the end; returning false stops the batch (pictures being converted finish,
// none more is started).
using StillBatchProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Converts every item; stops at the first failure or cancel. Outputs of pictures converted before a
// stop are left in place (the caller's temporary folder takes them away).
[[nodiscard]] StillBatchOutcome ConvertStillBatch(const std::vector<StillBatchItem>& items,
                                                  const StillBatchSettings& settings,
                                                  const StillBatchProgress& progress = {});

} // namespace k72
