#pragma once
// How the movie transcoder's steps give up: a failure with its result code and the reason for the
// diagnostic log, thrown inside the transcoder's own source files and caught by CMovieTranscoder::Run,
// which answers with the code. Nothing outside the transcoder includes this.

#include "codecs/LibavHandles.h"
#include "codecs/ResultCodes.h"

extern "C" {
#include <libavutil/rational.h>
}

#include <string>

namespace k72::transcoding {

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
