#pragma once
// Helpers of the movie tests: the transcoder's argument vector, a callback that records what the
// transcoder reports, and generated source movies.

#include "codecs/CVideoConverter.h"
#include "base/DiagnosticLog.h"
#include "codecs/ff_convertermain.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace k72test {

// The vector the movie converter builds, with the size limit and standard as given.
inline std::vector<std::string>
TranscoderArguments(const std::filesystem::path& source, const std::filesystem::path& output,
                    const std::string& standard = "ntsc", const std::string& qscale = "10",
                    bool deinterlace = false, const std::string& sizeLimit = "2097152000") {
    std::vector<std::string> arguments = {
        "",    "-fs", sizeLimit, "-y",      "-i", source.string(), "-acodec", "pcm_s16le", "-ar", "44100",
        "-ac", "2",   "-s",      "640x480", "-r", standard,        "-qscale", qscale};
    if (deinterlace) {
        arguments.insert(arguments.end(), {"-deinterlace", "-top", "-1"});
    }
    arguments.insert(arguments.end(),
                     {"-vcodec", "mjpeg", "-pix_fmt", "yuvj422p", "-f", "avi", output.string()});
    return arguments;
}

// Records every report; answers −1 to position reports once stopAfterPositions of them have come.
class ReportRecorder {
public:
    static std::int32_t Callback(void* context, std::int32_t kind, std::int32_t value) {
        auto* self = static_cast<ReportRecorder*>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->reports.push_back({kind, value});
        if (kind == k72::ReportPosition) {
            ++self->positions;
            if (self->stopAfterPositions >= 0 && self->positions > self->stopAfterPositions) {
                ++self->stopAnswers;
                return -1;
            }
        }
        return 0;
    }

    std::vector<std::int32_t> Values(std::int32_t kind) const {
        std::vector<std::int32_t> values;
        for (const auto& report : reports) {
            if (report.first == kind) {
                values.push_back(report.second);
            }
        }
        return values;
    }

    std::mutex mutex;
    std::vector<std::pair<std::int32_t, std::int32_t>> reports;
    int positions = 0;
    int stopAfterPositions = -1;
    int stopAnswers = 0;
};

inline int RunTranscoder(std::vector<std::string> arguments, ReportRecorder& recorder) {
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return k72::ff_convertermain(&ReportRecorder::Callback, &recorder, static_cast<int>(arguments.size()),
                                 argv.data());
}

// Source movies, small and short, made with ffmpeg's own generators.
inline const char* kVideo1080p30 = "-f lavfi -i testsrc2=size=1920x1080:rate=30:duration=1 ";
inline const char* kSound48k = "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 ";

inline bool MakeH264Aac1080p(const std::filesystem::path& path) {
    return MakeMedia(path, std::string(kVideo1080p30) + kSound48k +
                               "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -b:a 96k -shortest");
}

inline bool MakeSmallMovie(const std::filesystem::path& path, const std::string& videoCodec,
                           const std::string& audioCodec, const std::string& size = "320x240", int rate = 25,
                           double seconds = 1.0, int sampleRate = 44100) {
    std::string arguments = "-f lavfi -i testsrc2=size=" + size + ":rate=" + std::to_string(rate) +
                            ":duration=" + std::to_string(seconds) + " ";
    if (!audioCodec.empty()) {
        arguments += "-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(sampleRate) +
                     ":duration=" + std::to_string(seconds) + " ";
    }
    arguments += "-c:v " + videoCodec + " ";
    arguments += audioCodec.empty() ? "-an" : "-c:a " + audioCodec;
    return MakeMedia(path, arguments);
}

// Collects the diagnostic log while it lives.
class LogCapture {
public:
    LogCapture() {
        previous_ = k72::SetDebugSink([this](std::string_view text) {
            std::lock_guard<std::mutex> lock(mutex_);
            text_ += text;
        });
    }
    ~LogCapture() { k72::SetDebugSink(previous_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::string Text() {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }

private:
    std::mutex mutex_;
    std::string text_;
    k72::DebugSink previous_;
};

// A stand-in for phase 1 that writes the given bytes as its output and reports success.
inline k72::CVideoConverter::Transcoder WritesFile(std::vector<std::uint8_t> bytes) {
    return [bytes](k72::ConverterCallback callback, void* context, int argc, char** argv) {
        WriteFileBytes(argv[argc - 1], bytes);
        callback(context, k72::ReportResult, 0);
        return 0;
    };
}

inline std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.push_back(entry.path());
    }
    return files;
}

} // namespace k72test
