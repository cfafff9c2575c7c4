#pragma once
// What one pad of the card holds, as plain names: the kind, the movie or the pictures in their order,
// and the sound. Plans are told from these and compared with them.

#include "store/PadRecords.h"
#include "store/StoreResult.h"

#include <string>
#include <vector>

namespace k72 {

struct PadFiles {
    PadLocation where;
    PadKind kind = PadKindEmpty;
    std::vector<std::string> files; // the movie file, or the pictures in list order
    std::string sound;              // empty when the pad has none

    bool operator==(const PadFiles&) const = default;
};

} // namespace k72
