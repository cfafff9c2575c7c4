#pragma once
// What a conversion step answers: its result code, and for a failure the cause in words the user
// understands ("the file ends before the picture is complete"). The code stays for scripts and the
// diagnostic log; the cause is shown beside the program's own message.

#include "codecs/ResultCodes.h"

#include <string>
#include <utility>

namespace k72 {

struct [[nodiscard]] ConversionProblem {
    ResultCode code = 0;
    std::string cause; // empty on success, and where no more can be said than the code

    ConversionProblem() = default;
    ConversionProblem(ResultCode failure, std::string why) : code(failure), cause(std::move(why)) {}

    bool Failed() const { return k72::Failed(code); }
    bool Ok() const { return !Failed(); }
};

} // namespace k72
