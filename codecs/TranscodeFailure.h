#pragma once
// What the movie transcoder's source files share: the libav interfaces they call, their name in the
// diagnostic log, and how their steps give up: a failure with its result code and the reason for the
// log, thrown inside the transcoder's own source files and caught by CMovieTranscoder::Run, which
// answers with the code. Nothing outside the transcoder includes this.

#include "base/DiagnosticLog.h"
#include "codecs/LibavHandles.h"
#include "codecs/ResultCodes.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace k72::transcoding {

inline constexpr std::string_view kLogModule = "movie transcoder";

struct Failure {
    ResultCode code;
    std::string reason;
};

[[noreturn]] inline void Fail(ResultCode code, const std::string& reason) {
    throw Failure{code, reason};
}

[[noreturn]] inline void FailLibav(ResultCode code, const std::string& what, int error) {
    throw Failure{code, what + ": " + libav::ErrorText(error)};
}

// "30000/1001", as the filters take a rational.
inline std::string Rational(AVRational value) {
    return std::to_string(value.num) + "/" + std::to_string(value.den);
}

} // namespace k72::transcoding
