#pragma once
// How the progress window of a movie job ended: what the progress model tells once it has closed, and
// what the store's progress interface hands back to an import.

#include "codecs/ResultCodes.h"

namespace k72 {

// The desktop dialog ends with these values as its result.
enum class ConversionEnd : int {
    Open = 0,         // the window is still showing
    Completed = 1,    // the job left the queue with a success code
    NotCompleted = 2, // failed, cancelled or closed by the user
};

struct [[nodiscard]] ConversionOutcome {
    ConversionEnd end = ConversionEnd::NotCompleted;
    bool cancelled = false; // the user cancelled: the import fails without a message
    ResultCode finalResult = rc::Fail;

    bool Completed() const { return end == ConversionEnd::Completed; }
};

} // namespace k72
