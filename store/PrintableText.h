#pragma once
// Names read from the pad file are untrusted bytes: shown to the user (on a terminal above all), a
// line feed would forge lines and an escape sequence would drive the terminal. Every byte outside
// printable ASCII is shown escaped: "\\n", "\\t", "\\r", "\\x1b"; a backslash as "\\\\".

#include <string>
#include <string_view>

namespace k72 {

std::string PrintableName(std::string_view text);

} // namespace k72
