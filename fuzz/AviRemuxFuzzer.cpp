// The AVI re-interleaver on a damaged intermediate file: the movie converter runs its second phase on
// the input as if the transcoder had just written it. The first input byte chooses the frame-rate
// system; the rest is the file.
#include "fuzz/FuzzSupport.h"

#include "codecs/CVideoConverter.h"

#include <cstdlib>
#include <string>

namespace {

const std::uint8_t* remuxData = nullptr;
std::size_t remuxSize = 0;

// Stands in for the transcoder: writes the input where the converter asked for its output.
int WriteInput(k72::ConverterCallback callback, void* context, int argc, char** argv) {
    k72fuzz::WriteWholeFile(argv[argc - 1], remuxData, remuxSize);
    callback(context, k72::ReportResult, 0);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    static const std::filesystem::path output = k72fuzz::ScratchFolder() / "remuxed.avi";
    remuxData = data + 1;
    remuxSize = size - 1;

    k72::CVideoConverter converter;
    converter.SetWorkFolder(k72fuzz::ScratchFolder());
    converter.SetFreeSpaceProbe([](const std::filesystem::path&) { return std::uint64_t{1} << 40; });
    converter.SetTranscoder(WriteInput);
    converter.SetFrameRateStandard((data[0] & 1) != 0 ? "pal" : "ntsc");
    const k72::ResultCode result = converter.Convert("input.mp4", output.string());
    if (k72::Succeeded(result) && !std::filesystem::exists(output)) {
        std::abort();
    }
    std::error_code ec;
    std::filesystem::remove(output, ec);
    return 0;
}
