#include "cli/PadAddress.h"

#include "store/PadLocationText.h"
#include "store/PadRecords.h"

namespace k72::cli {

std::optional<int> ParseBankLetter(std::string_view text) {
    if (text.size() != 1) {
        return std::nullopt;
    }
    const char c = text[0];
    if (c >= 'A' && c < 'A' + padlayout::kBanks) {
        return c - 'A';
    }
    if (c >= 'a' && c < 'a' + padlayout::kBanks) {
        return c - 'a';
    }
    return std::nullopt;
}

char BankLetter(int bank) {
    return static_cast<char>('A' + bank);
}

std::optional<PadAddress> PadAddress::Parse(std::string_view text) {
    const std::optional<PadLocation> where = ParsePadLocation(text);
    if (!where) {
        return std::nullopt;
    }
    return PadAddress{where->bank, where->number, where->pad};
}

std::string PadAddress::Text() const {
    return std::string(1, BankLetter(bank)) + "-" + std::to_string(number + 1) + "-" +
           std::to_string(pad + 1);
}

} // namespace k72::cli
