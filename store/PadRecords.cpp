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

PadEntry MoviePad(const MovieRecord& record) {
    return PadEntry{padlayout::kUsed, padlayout::kKindMovie, record, std::nullopt};
}

PadEntry StillPad(const StillRecord& record) {
    return PadEntry{padlayout::kUsed, padlayout::kKindStill, std::nullopt, record};
}

std::vector<std::string> FileNamesOf(const PadEntry& entry) {
    std::vector<std::string> names;
    const NameField* sound = nullptr;
    if (entry.Kind() == PadKindMovie && entry.movie) {
        names.push_back(NameText(entry.movie->fileName));
        sound = &entry.movie->audioFileName;
    } else if (entry.Kind() == PadKindStill && entry.stills) {
        for (std::size_t i = 0; i < entry.stills->UsableCount(); ++i) {
            names.push_back(NameText(entry.stills->stillNames[i]));
        }
        sound = &entry.stills->audioFileName;
    }
    if (sound != nullptr) {
        names.push_back(NameText(*sound));
    }
    names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
    return names;
}

} // namespace k72
