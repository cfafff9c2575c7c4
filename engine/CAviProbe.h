#pragma once
// Reads the main header of a converted movie file for its total frame count and frame rate. The last
// successful probe is remembered by its path, so that asking again for the same file does not read it
// again; a failed probe is forgotten, so that the next probe of that path reads the file afresh.

#include "codecs/ResultCodes.h"

#include <cstdint>
#include <string>

namespace k72 {

class CAviProbe {
public:
    // 0 with Frames() and FrameRate() set; rc::AviOpenFailed when the file cannot be opened,
    // rc::AviInvalidHeader when its header is not a usable AVI main header (both values then 0).
    [[nodiscard]] ResultCode Probe(const std::string& path);
    std::uint32_t Frames() const { return probedFrames_; }
    double FrameRate() const { return probedFrameRate_; }
    // Drops the remembered result.
    void Forget();

private:
    [[nodiscard]] ResultCode ReadHeader(const std::string& path);

    std::string probedPath_;         // path of the last successful probe, compared byte for byte
    bool remembered_ = false;        // probedPath_ holds a successful probe (an empty path is a path too)
    std::uint32_t probedFrames_ = 0; // total frame count
    double probedFrameRate_ = 0.0;   // frames per second
};

} // namespace k72
