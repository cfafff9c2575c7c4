#include "store/PadRecords.h"

#include <algorithm>
#include <cstring>

namespace k72 {

std::string NameText(const NameField& field) {
    const auto end = std::find(field.begin(), field.end(), '\0');
    return std::string(field.begin(), end);
}

bool SetNameText(NameField& field, std::string_view text) {
    if (text.size() >= field.size()) {
        return false;
    }
    field.fill('\0');
    std::memcpy(field.data(), text.data(), text.size());
    return true;
}

} // namespace k72
