#pragma once
// What one pad of the card holds, as plain names: the kind, the movie or the pictures in their order,
// and the sound. Plans are told from these and compared with them.

#include "store/PadLocation.h"
#include "store/PadRecords.h"

#include <string>
#include <vector>

namespace k72 {

struct PadContent {
    PadLocation where;
    PadKind kind = PadKindEmpty;
    std::vector<std::string> files; // the movie file, or the pictures in list order
    std::string sound;              // empty when the pad has none

    bool operator==(const PadContent&) const = default;
};

} // namespace k72
