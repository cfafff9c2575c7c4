#include "store/CardLayout.h"

#include <cstdio>
#include <system_error>

namespace k72 {
namespace {

char FoldCase(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

// True when the pattern from position p on holds only '?' marks up to a dot or its end.
bool OnlyMarksBeforeDotOrEnd(std::string_view pattern, std::size_t p) {
    while (p < pattern.size() && pattern[p] == '?') {
        ++p;
    }
    return p == pattern.size() || pattern[p] == '.';
}

bool MatchFrom(std::string_view pattern, std::size_t p, std::string_view name, std::size_t n) {
    if (p == pattern.size()) {
        return n == name.size();
    }
    if (pattern[p] == '?') {
        if (n < name.size() && MatchFrom(pattern, p + 1, name, n + 1)) {
            return true;
        }
        return OnlyMarksBeforeDotOrEnd(pattern, p) && MatchFrom(pattern, p + 1, name, n);
    }
    return n < name.size() && FoldCase(pattern[p]) == FoldCase(name[n]) &&
           MatchFrom(pattern, p + 1, name, n + 1);
}

std::filesystem::path ResolvePart(const std::filesystem::path& folder, std::string_view name) {
    if (auto found = FindEntryNoCase(folder, name)) {
        return *found;
    }
    return folder / std::string(name);
}

} // namespace

std::optional<std::filesystem::path> FindEntryNoCase(const std::filesystem::path& folder,
                                                     std::string_view name) {
    std::error_code ec;
    const auto exact = folder / std::string(name);
    if (std::filesystem::exists(std::filesystem::symlink_status(exact, ec))) {
        return exact;
    }
    std::optional<std::filesystem::path> best;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const auto candidate = it->path().filename().string();
        // Of several spellings (possible only off the card), the smallest name is taken, so the choice
        // does not depend on the directory's order.
        if (EqualNoCase(candidate, name) && (!best || candidate < best->filename().string())) {
            best = it->path();
        }
    }
    return best;
}

CardPaths FindCardPaths(const std::filesystem::path& root) {
    CardPaths paths;
    const auto dcim = ResolvePart(root, cardlayout::kDcimFolder);
    paths.cardFolder = ResolvePart(dcim, cardlayout::kCardFolder);
    paths.padFilePath = ResolvePart(paths.cardFolder, cardlayout::kPadFileName);
    return paths;
}

bool WildcardMatchNoCase(std::string_view pattern, std::string_view name) {
    return MatchFrom(pattern, 0, name, 0);
}

std::uint32_t FileNumberOfName(std::string_view name) {
    const auto underscore = name.find('_');
    if (underscore == std::string_view::npos) {
        return 0;
    }
    const auto part = name.substr(underscore + 1, 4);
    std::uint32_t value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

std::string MakeCardFileName(std::uint32_t number, std::string_view extension) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04u", number);
    return "K72_" + std::string(digits) + "." + std::string(extension);
}

bool IsPlainCardName(std::string_view name) {
    if (name.empty() || name.size() > 12 || name == "." || name.find("..") != std::string_view::npos) {
        return false;
    }
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7f) {
            return false;
        }
    }
    return true;
}

} // namespace k72
