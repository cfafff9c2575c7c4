#include "codecs/ff_convertermain.h"

#include "base/DiagnosticLog.h"
#include "codecs/CMovieTranscoder.h"
#include "codecs/CTranscodeProgress.h"
#include "codecs/TranscodeOptions.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <mutex>
#include <string>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "movie transcoder";

// FFmpeg's own warnings and errors belong in the diagnostic log, not on a terminal nobody watches.
void ForwardLibraryLog(void* object, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_WARNING) {
        return;
    }
    char line[1024];
    int printPrefix = 1;
    va_list copy;
    va_copy(copy, arguments);
    av_log_format_line2(object, level, format, copy, line, sizeof line, &printPrefix);
    va_end(copy);
    std::string_view text(line);
    while (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    LogLine("media library", text);
}

} // namespace

void RouteLibraryLogToDiagnostics() {
    static std::once_flag logOnce;
    std::call_once(logOnce, [] { av_log_set_callback(&ForwardLibraryLog); });
}

int ff_convertermain(ConverterCallback callback, void* context, int argc, char** argv) {
    RouteLibraryLogToDiagnostics();

    CTranscodeProgress progress(callback, context);
    TranscodeOptions options;
    std::string reason;
    const ResultCode parsed = options.Parse(argc, argv, &reason);
    if (Failed(parsed)) {
        LogLine(kLogModule, reason);
        progress.Result(parsed);
        return parsed;
    }
    CMovieTranscoder transcoder(options, progress);
    return transcoder.Run();
}

} // namespace k72
