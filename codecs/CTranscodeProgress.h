#pragma once
// The transcoder's side of the progress callback: totals, positions, written bytes and the result.

#include "codecs/ResultCodes.h"
#include "codecs/ff_convertermain.h"

#include <cstdint>

namespace k72 {

class CTranscodeProgress {
public:
    CTranscodeProgress(ConverterCallback callback, void* context) : callback_(callback), context_(context) {}

    void Total(std::int64_t total);
    // False when the caller asks the conversion to stop.
    bool Position(std::int64_t position);
    // Reports the furthest position again, so that the caller can stop work that makes no headway
    // through the source; false when the caller asks the conversion to stop.
    bool RepeatPosition();
    void Written(std::uint64_t bytes);
    void Result(ResultCode code);

private:
    std::int32_t Report(ConverterReportKind kind, std::int32_t value);

    ConverterCallback callback_;
    void* context_;
    std::int64_t total_ = 0;
    std::int32_t lastPosition_ = -1;
};

} // namespace k72
