#pragma once
// A pad as the terminal names it: BANK-NUMBER-PAD, bank letter A … F (either case), number 1 … 12 and
// pad 1 … 12, so "A-1-1" is the first pad of the card and "F-12-12" the last. Inside, bank, number and
// pad count from 0 as the store's do.

#include <optional>
#include <string>
#include <string_view>

namespace k72::cli {

struct PadAddress {
    int bank = 0;   // 0 … 5
    int number = 0; // 0 … 11
    int pad = 0;    // 0 … 11

    // None for anything but the written form above (leading zeros in the numbers are allowed).
    static std::optional<PadAddress> Parse(std::string_view text);
    // "A-1-1".
    std::string Text() const;
};

// Bank letter A … F in either case as 0 … 5.
std::optional<int> ParseBankLetter(std::string_view text);
char BankLetter(int bank);

} // namespace k72::cli
