#pragma once
// The progress window of a movie import. The store adds the job to the manager and then hands the
// manager to this interface, which watches it (pending jobs, the converter's phase and progress)
// until the job has finished, failed or been cancelled. The desktop program shows a modal dialog; the
// terminal tool a progress bar; tests a fake that simply waits or cancels.

#include "engine/ConversionOutcome.h"

#include <filesystem>

namespace k72 {

class CConversionManager;

class IConversionProgress {
public:
    virtual ~IConversionProgress() = default;
    virtual ConversionOutcome Run(CConversionManager& manager) = 0;
    // The file the next Run converts, given just before it, for windows that name it.
    virtual void SetSource(const std::filesystem::path& /*source*/) {}
};

} // namespace k72
