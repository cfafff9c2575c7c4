#include "codecs/CTranscodeProgress.h"

#include <algorithm>
#include <limits>

namespace k72 {
namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();

} // namespace

std::int32_t CTranscodeProgress::Report(ConverterReportKind kind, std::int32_t value) {
    return callback_ != nullptr ? callback_(context_, kind, value) : 0;
}

void CTranscodeProgress::Total(std::int64_t total) {
    total_ = std::clamp<std::int64_t>(total, 1, kLargest);
    Report(ReportTotal, static_cast<std::int32_t>(total_));
}

bool CTranscodeProgress::Position(std::int64_t position) {
    // Positions never run backwards nor past the total, whatever the source's timestamps do.
    const auto value = static_cast<std::int32_t>(std::clamp<std::int64_t>(position, 0, total_));
    lastPosition_ = std::max(lastPosition_, value);
    return Report(ReportPosition, lastPosition_) != -1;
}

bool CTranscodeProgress::RepeatPosition() {
    lastPosition_ = std::max(lastPosition_, 0);
    return Report(ReportPosition, lastPosition_) != -1;
}

void CTranscodeProgress::Written(std::uint64_t bytes) {
    while (bytes > 0) {
        const auto part = static_cast<std::int32_t>(std::min<std::uint64_t>(bytes, kLargest));
        Report(ReportBytesWritten, part);
        bytes -= static_cast<std::uint64_t>(part);
    }
}

void CTranscodeProgress::Result(ResultCode code) {
    Report(ReportResult, code);
}

} // namespace k72
