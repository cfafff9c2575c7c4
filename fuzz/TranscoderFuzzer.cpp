// The movie transcoder on a damaged movie. It runs with the argument vector the movie converter gives
// it, except for a smaller picture and size limit so that one input costs milliseconds, not seconds.
// A conversion that runs longer than a few seconds is stopped through the progress callback as the
// user's Cancel would; only a transcoder that stops reporting (a hang) or never ends remains for the
// fuzzer's own time limit.
#include "fuzz/FuzzSupport.h"

#include "codecs/ResultCodes.h"
#include "codecs/ff_convertermain.h"

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Watch {
    Clock::time_point start = Clock::now();
    bool reported = false;
    std::int32_t result = 0;
};

std::int32_t OnReport(void* context, std::int32_t kind, std::int32_t value) {
    auto* watch = static_cast<Watch*>(context);
    if (kind == k72::ReportResult) {
        if (watch->reported) {
            std::abort(); // the result is reported once
        }
        watch->reported = true;
        watch->result = value;
    }
    if (kind == k72::ReportPosition && Clock::now() - watch->start > std::chrono::seconds(5)) {
        return -1;
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path input = k72fuzz::ScratchFolder() / "movie.in";
    static const std::filesystem::path output = k72fuzz::ScratchFolder() / "movie.avi";
    // The first byte chooses the settings; the rest is the file.
    if (size < 1) {
        return 0;
    }
    const std::uint8_t settings = data[0];
    k72fuzz::WriteWholeFile(input, data + 1, size - 1);

    std::vector<std::string> arguments = {"",        "-fs",
                                          "8000000", "-y",
                                          "-i",      input.string(),
                                          "-acodec", "pcm_s16le",
                                          "-ar",     "44100",
                                          "-ac",     "2",
                                          "-s",      "64x48",
                                          "-r",      (settings & 1) != 0 ? "pal" : "ntsc",
                                          "-qscale", "20"};
    if ((settings & 2) != 0) {
        arguments.insert(arguments.end(), {"-deinterlace", "-top", "-1"});
    }
    arguments.insert(arguments.end(),
                     {"-vcodec", "mjpeg", "-pix_fmt", "yuvj422p", "-f", "avi", output.string()});
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    Watch watch;
    const int result =
        k72::ff_convertermain(&OnReport, &watch, static_cast<int>(arguments.size()), argv.data());
    if (!watch.reported || watch.result != result) {
        std::abort(); // every run ends with exactly one result report, the one it returns
    }
    std::error_code ec;
    std::filesystem::remove(output, ec);
    return 0;
}
