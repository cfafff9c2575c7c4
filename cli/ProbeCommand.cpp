// probe: what the device would make of an AVI or a WAV file.
#include "base/FileHandle.h"
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/JsonOutput.h"
#include "cli/TerminalMessages.h"
#include "engine/CConversionManager.h"
#include "engine/ResultCodeText.h"
#include "engine/RunningTime.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k72::cli {
namespace {

enum class ProbeKind { Unknown, Avi, Wav };

// By the extension, else, when look is set, by the RIFF form type at the start of the file. Only a
// regular file is read, and it is opened without waiting, so that a FIFO put there meanwhile cannot
// block the probe.
ProbeKind ProbeKindOf(const std::filesystem::path& file, bool look) {
    std::string extension = file.extension().string();
    for (char& c : extension) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (extension == ".AVI") {
        return ProbeKind::Avi;
    }
    if (extension == ".WAV") {
        return ProbeKind::Wav;
    }
    std::array<char, 12> header{};
    const FileHandle fd(look ? ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC) : -1);
    struct stat info {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::read(fd.get(), header.data(), header.size()) != static_cast<ssize_t>(header.size()) ||
        std::memcmp(header.data(), "RIFF", 4) != 0) {
        return ProbeKind::Unknown;
    }
    if (std::memcmp(header.data() + 8, "AVI ", 4) == 0) {
        return ProbeKind::Avi;
    }
    if (std::memcmp(header.data() + 8, "WAVE", 4) == 0) {
        return ProbeKind::Wav;
    }
    return ProbeKind::Unknown;
}

std::string RateText(double framesPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", framesPerSecond);
    return text;
}

} // namespace

int RunProbe(const ProbeOptions& options) {
    TerminalMessages messages;
    const std::filesystem::path file = options.file;
    if (!CheckInputFile(messages, file)) {
        // A file that is not there or cannot be read fails as the probe itself fails on it.
        const ProbeKind named = ProbeKindOf(file, false);
        if (named == ProbeKind::Wav) {
            output::NoteCode(rc::PcmOpenFailed);
        } else if (named == ProbeKind::Avi) {
            output::NoteCode(rc::AviOpenFailed);
        }
        return kExitFailed;
    }
    const ProbeKind kind = ProbeKindOf(file, true);
    if (kind == ProbeKind::Unknown) {
        messages.Error(file.string() + " is neither an AVI nor a WAV file");
        return kExitFailed;
    }

    if (kind == ProbeKind::Wav) {
        const ResultCode code = CConversionManager::CheckPcmFile(file.string());
        if (options.json) {
            std::fputs(
                WavProbeJson(code, file.string() + ": not accepted: " + std::string(SoundCheckWords(code)))
                    .c_str(),
                stdout);
            output::NoteJsonPrinted();
        } else if (Succeeded(code)) {
            output::Line(file.string() + ": accepted (PCM, 2 channels, 44100 Hz, 16 bits)");
        } else {
            output::Line(file.string() + ": not accepted: " + std::string(SoundCheckWords(code)) + " (" +
                         ResultCodeHex(code) + ")");
        }
        if (Failed(code)) {
            PrintResultCode(messages, code);
            return kExitFailed;
        }
        return kExitSuccess;
    }

    CConversionManager manager;
    const ResultCode code = manager.ProbeAvi(file.string());
    if (Failed(code)) {
        messages.Error(file.string() + ": the AVI header cannot be read");
        PrintResultCode(messages, code);
        return kExitFailed;
    }
    const std::uint32_t frames = manager.ProbedFrames();
    const double rate = manager.ProbedFrameRate();
    if (options.json) {
        std::fputs(AviProbeJson(frames, rate).c_str(), stdout);
        output::NoteJsonPrinted();
        return kExitSuccess;
    }
    const RunningTime time = ComputeRunningTime(frames, rate);
    char running[64];
    std::snprintf(running, sizeof running, "%02umin %02usec %02u", static_cast<unsigned>(time.minutes),
                  static_cast<unsigned>(time.seconds), static_cast<unsigned>(time.frames));
    output::Line(file.string() + ": " + std::to_string(frames) + " frames, " + RateText(rate) +
                 " fps, running time " + running + " " + FrameRateText(time));
    return kExitSuccess;
}

} // namespace k72::cli
