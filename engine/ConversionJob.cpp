#include "engine/ConversionJob.h"

namespace k72 {

std::string_view ConversionJobStateWord(ConversionJobState state) {
    switch (state) {
    case ConversionJobState::Queued:
        return "queued";
    case ConversionJobState::Running:
        return "running";
    case ConversionJobState::Done:
        return "done";
    case ConversionJobState::Failed:
        return "failed";
    case ConversionJobState::Cancelled:
        return "cancelled";
    }
    return "queued";
}

} // namespace k72
