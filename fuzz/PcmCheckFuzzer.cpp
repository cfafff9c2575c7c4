// The WAV check on any file: it must answer with 0 or one of its own codes and never read past the end;
// its words for the user say something exactly when the check refuses the file.
#include "fuzz/FuzzSupport.h"

#include "engine/PcmFileCheck.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path path = k72fuzz::ScratchFolder() / "sound.wav";
    k72fuzz::WriteWholeFile(path, data, size);
    const k72::ResultCode result = k72::CheckPcmWaveFile(path.string());
    const bool known = result == 0 || (result >= k72::rc::PcmOpenFailed && result <= k72::rc::PcmNoData);
    if (!known) {
        std::abort();
    }
    // An accepted file is at least a RIFF header, a 16-byte fmt chunk and a data chunk header.
    if (result == 0 && size < 44) {
        std::abort();
    }
    if (k72::PcmFileProblem(path.string()).empty() != (result == 0)) {
        std::abort();
    }
    return 0;
}
