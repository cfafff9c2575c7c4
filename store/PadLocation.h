#pragma once
// A pad of the card as people write it: BANK-NUMBER-PAD, bank letter A … F (either case), number and
// pad 1 … 12, so "A-1-1" is the first pad of the card and "F-12-12" the last. Inside, bank, number and
// pad count from 0 as the pad file's records do.

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace k72 {

struct PadLocation {
    int bank = 0;   // 0 … 5
    int number = 0; // 0 … 11
    int pad = 0;    // 0 … 11

    // None for anything but the written form above (one or two digits for number and pad).
    static std::optional<PadLocation> Parse(std::string_view text);
    // BANK-NUMBER with an optional -PAD, as a fill is given its first pad; pad 1 when none is named.
    static std::optional<PadLocation> ParseStart(std::string_view text);
    // "A-1-1".
    std::string Text() const;

    auto operator<=>(const PadLocation&) const = default;
};

} // namespace k72
