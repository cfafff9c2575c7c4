// The sound converter on any file: it either writes a WAV file that the device's own check accepts,
// or fails with one of its codes and leaves no file.
#include "fuzz/FuzzSupport.h"

#include "codecs/SoundConverter.h"
#include "engine/PcmFileCheck.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path source = k72fuzz::ScratchFolder() / "sound";
    static const std::filesystem::path output = k72fuzz::ScratchFolder() / "SOUND.WAV";
    k72fuzz::WriteWholeFile(source, data, size);
    const k72::ResultCode result = k72::ConvertSoundToDeviceWav(source.string(), output.string());
    std::error_code ec;
    const bool written = std::filesystem::exists(output, ec);
    if (k72::Succeeded(result) != written) {
        std::abort();
    }
    if (written && k72::CheckPcmWaveFile(output.string()) != 0) {
        std::abort();
    }
    std::filesystem::remove(output, ec);
    return 0;
}
