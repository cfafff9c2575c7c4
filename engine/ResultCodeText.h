#pragma once
// The diagnostic line of a result code: the text of the code's group with the code as eight upper-case
// hexadecimal digits and a line feed, e.g. "Incorrect frame rate :80000015\n". The lines go to the
// diagnostic log only; the user never sees them.

#include "codecs/ResultCodes.h"

#include <string>
#include <string_view>

namespace k72 {

// The format of the code's group ("ERROR :%08X\n", "Invalid PCM File :%08X\n", ...), or
// "???????????? :%08X\n" for a code outside every group (0 included).
[[nodiscard]] std::string_view ResultCodeFormat(ResultCode code);

// The format filled with the code.
[[nodiscard]] std::string ResultCodeText(ResultCode code);

// What a rule of the sound check (rc::PcmOpenFailed … rc::PcmNoData) asks for, in the user's words:
// "not 2 channels", "not 44100 Hz", ...; "not accepted" for any other code. Unlike the diagnostic lines,
// these are shown to the user.
[[nodiscard]] std::string_view SoundCheckWords(ResultCode code);

} // namespace k72
