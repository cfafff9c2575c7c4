#include "store/NaturalOrder.h"

#include <algorithm>
#include <vector>

namespace k72 {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Folded(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Compares the two names with digit runs as numbers and ASCII letters without regard to case; zero
// when they differ at most in case or in leading zeros. Bytes beyond ASCII compare as they are, which
// keeps UTF-8 names in code point order.
int LooseCompare(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            while (i < a.size() && a[i] == '0') {
                ++i;
            }
            while (j < b.size() && b[j] == '0') {
                ++j;
            }
            const std::size_t startA = i;
            const std::size_t startB = j;
            while (i < a.size() && IsDigit(a[i])) {
                ++i;
            }
            while (j < b.size() && IsDigit(b[j])) {
                ++j;
            }
            // Without leading zeros the longer run is the larger number; runs of equal length compare
            // digit by digit, so numbers of any length work.
            const std::string_view runA = a.substr(startA, i - startA);
            const std::string_view runB = b.substr(startB, j - startB);
            if (runA.size() != runB.size()) {
                return runA.size() < runB.size() ? -1 : 1;
            }
            if (const int order = runA.compare(runB); order != 0) {
                return order;
            }
            continue;
        }
        const auto ca = static_cast<unsigned char>(Folded(a[i]));
        const auto cb = static_cast<unsigned char>(Folded(b[j]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
        ++i;
        ++j;
    }
    const bool aLeft = i < a.size();
    const bool bLeft = j < b.size();
    return aLeft == bLeft ? 0 : (aLeft ? 1 : -1);
}

std::vector<std::string> Parts(const std::filesystem::path& path) {
    std::vector<std::string> parts;
    for (const auto& part : path) {
        parts.push_back(part.string());
    }
    return parts;
}

} // namespace

int NaturalCompare(std::string_view a, std::string_view b) {
    if (const int order = LooseCompare(a, b); order != 0) {
        return order;
    }
    const int bytes = a.compare(b);
    return bytes < 0 ? -1 : (bytes > 0 ? 1 : 0);
}

bool NaturalPathLess(const std::filesystem::path& a, const std::filesystem::path& b) {
    const std::vector<std::string> partsA = Parts(a);
    const std::vector<std::string> partsB = Parts(b);
    const std::size_t common = std::min(partsA.size(), partsB.size());
    // Case and leading zeros decide only when the whole paths are otherwise equal, so that "A/x" and
    // "a/y" sort by x and y.
    for (std::size_t i = 0; i < common; ++i) {
        if (const int order = LooseCompare(partsA[i], partsB[i]); order != 0) {
            return order < 0;
        }
    }
    if (partsA.size() != partsB.size()) {
        return partsA.size() < partsB.size();
    }
    return a.native() < b.native();
}

} // namespace k72
