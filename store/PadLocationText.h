#pragma once
// A pad of the card as people write it: BANK-NUMBER-PAD, bank letter A … F (either case), number and
// pad 1 … 12, so "A-1-1" is the first pad of the card and "F-12-12" the last. Read into the store's
// PadLocation, whose Text() writes it back.

#include "store/StoreResult.h"

#include <optional>
#include <string_view>

namespace k72 {

// None for anything but the written form above (one or two digits for number and pad).
std::optional<PadLocation> ParsePadLocation(std::string_view text);
// BANK-NUMBER with an optional -PAD, as a fill is given its first pad; pad 1 when none is named.
std::optional<PadLocation> ParseFillStart(std::string_view text);

// Card order: bank, then number, then pad.
struct PadLocationLess {
    bool operator()(const PadLocation& a, const PadLocation& b) const {
        if (a.bank != b.bank) {
            return a.bank < b.bank;
        }
        return a.number != b.number ? a.number < b.number : a.pad < b.pad;
    }
};

} // namespace k72
