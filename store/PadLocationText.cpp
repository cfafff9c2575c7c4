#include "store/PadLocationText.h"

#include "store/PadRecords.h"

#include <charconv>
#include <vector>

namespace k72 {
namespace {

// A decimal number 1 … limit written with one or two digits, as 0 … limit - 1.
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

std::optional<int> ParseBank(std::string_view text) {
    if (text.size() != 1) {
        return std::nullopt;
    }
    const char c = text[0];
    for (const char first : {'A', 'a'}) {
        if (c >= first && c < first + padlayout::kBanks) {
            return c - first;
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> SplitAtDashes(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dash = text.find('-', start);
        parts.push_back(
            text.substr(start, dash == std::string_view::npos ? std::string_view::npos : dash - start));
        if (dash == std::string_view::npos) {
            return parts;
        }
        start = dash + 1;
    }
}

std::optional<PadLocation> ParseParts(std::string_view text, bool padOptional) {
    const std::vector<std::string_view> parts = SplitAtDashes(text);
    if (parts.size() != 3 && !(padOptional && parts.size() == 2)) {
        return std::nullopt;
    }
    const auto bank = ParseBank(parts[0]);
    const auto number = ParseIndex(parts[1], padlayout::kNumbers);
    const auto pad = parts.size() == 3 ? ParseIndex(parts[2], padlayout::kPads) : std::optional<int>(0);
    if (!bank || !number || !pad) {
        return std::nullopt;
    }
    return PadLocation{*bank, *number, *pad};
}

} // namespace

std::optional<PadLocation> ParsePadLocation(std::string_view text) {
    return ParseParts(text, false);
}

std::optional<PadLocation> ParseFillStart(std::string_view text) {
    return ParseParts(text, true);
}

} // namespace k72
