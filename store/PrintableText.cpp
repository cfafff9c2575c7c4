#include "store/PrintableText.h"

#include <cstdio>

namespace k72 {

std::string PrintableName(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\':
            shown += "\\\\";
            continue;
        case '\n':
            shown += "\\n";
            continue;
        case '\t':
            shown += "\\t";
            continue;
        case '\r':
            shown += "\\r";
            continue;
        default:
            break;
        }
        if (byte < 0x20 || byte >= 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace k72
