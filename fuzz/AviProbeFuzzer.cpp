// The AVI main-header probe on any file: it must answer, never read outside what it holds, and report
// a frame rate only from a usable header.
#include "fuzz/FuzzSupport.h"

#include "engine/CAviProbe.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path path = k72fuzz::ScratchFolder() / "probe.avi";
    k72fuzz::WriteWholeFile(path, data, size);
    k72::CAviProbe probe;
    const k72::ResultCode result = probe.Probe(path.string());
    if (k72::Succeeded(result)) {
        if (!(std::isfinite(probe.FrameRate()) && probe.FrameRate() > 0)) {
            std::abort();
        }
        // A second probe of the same path answers from memory with the same figures.
        const std::uint32_t frames = probe.Frames();
        if (probe.Probe(path.string()) != result || probe.Frames() != frames) {
            std::abort();
        }
    } else if (probe.Frames() != 0 || probe.FrameRate() != 0.0) {
        std::abort();
    }
    return 0;
}
