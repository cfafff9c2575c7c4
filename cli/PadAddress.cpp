#include "cli/PadAddress.h"

#include "store/PadRecords.h"

#include <charconv>

namespace k72::cli {
namespace {

// A decimal number 1 … limit written with one or two digits.
std::optional<int> ParseIndex(std::string_view text, int limit) {
    if (text.empty() || text.size() > 2) {
        return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > limit) {
        return std::nullopt;
    }
    return value - 1;
}

} // namespace

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
    const std::size_t first = text.find('-');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t second = text.find('-', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto bank = ParseBankLetter(text.substr(0, first));
    const auto number = ParseIndex(text.substr(first + 1, second - first - 1), padlayout::kNumbers);
    const auto pad = ParseIndex(text.substr(second + 1), padlayout::kPads);
    if (!bank || !number || !pad) {
        return std::nullopt;
    }
    return PadAddress{*bank, *number, *pad};
}

std::string PadAddress::Text() const {
    return std::string(1, BankLetter(bank)) + "-" + std::to_string(number + 1) + "-" +
           std::to_string(pad + 1);
}

} // namespace k72::cli
