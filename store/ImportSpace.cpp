#include "store/ImportSpace.h"

#include "base/DeviceFormat.h"

#include <cstdio>
#include <system_error>

extern "C" {
#include <libavformat/avformat.h>
}

namespace k72 {

std::int64_t MediaDurationMs(const std::filesystem::path& path) {
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) {
        return 0;
    }
    std::int64_t duration = 0;
    if (avformat_find_stream_info(context, nullptr) >= 0 && context->duration > 0) {
        duration = context->duration / (AV_TIME_BASE / 1000);
    }
    avformat_close_input(&context);
    return duration;
}

std::int64_t EstimatedMovieBytes(std::int64_t durationMs, const Settings& settings) {
    // One MJPEG frame of 640 × 480 at each quality step (measured on detailed footage and rounded
    // up), the 44.1 kHz stereo sound, and the padding of every video chunk to 512 bytes.
    static const std::int64_t frameBytes[] = {16 * 1024, 20 * 1024, 26 * 1024, 40 * 1024, 64 * 1024};
    const std::int64_t perFrame = frameBytes[settings.QualitySliderPosition()] + 512;
    const double fps = settings.fps == 1 ? 25.0 : 30000.0 / 1001.0;
    const double seconds = static_cast<double>(durationMs) / 1000.0;
    return static_cast<std::int64_t>(seconds * fps * static_cast<double>(perFrame) +
                                     seconds * static_cast<double>(device::kSoundBytesPerSecond)) +
           64 * 1024;
}

std::optional<std::string> NotEnoughSpaceText(const std::filesystem::path& cardFolder, const ImportSize& size,
                                              const Settings& settings) {
    std::error_code ec;
    const std::filesystem::space_info volume = std::filesystem::space(cardFolder, ec);
    if (ec || volume.available == static_cast<std::uintmax_t>(-1)) {
        return std::nullopt;
    }
    std::int64_t needed = static_cast<std::int64_t>(size.pictures) * kEstimatedPictureBytes;
    if (!size.movie.empty()) {
        needed += EstimatedMovieBytes(MediaDurationMs(size.movie), settings);
    }
    const auto available = static_cast<std::int64_t>(volume.available);
    if (needed <= available) {
        return std::nullopt;
    }
    const auto megabytes = [](std::int64_t bytes) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1048576.0);
        return std::string(text);
    };
    return "There is not enough free space on the card for " + size.what + ".\nAbout " + megabytes(needed) +
           " MB is needed and " + megabytes(available) +
           " MB is free.\nDelete pads you no longer need, or use a lower quality.";
}

} // namespace k72
