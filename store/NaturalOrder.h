#pragma once
// The order people expect of file names: digits compare as numbers ("clip2" before "clip10") and
// letter case does not matter ("Beach" beside "beach"). Names equal in that sense are put in a fixed
// order by their bytes, so a folder lists the same way whatever order the file system reads it in.

#include <filesystem>
#include <string_view>

namespace k72 {

// Negative, zero or positive as a sorts before, with or after b. Zero only for identical names.
int NaturalCompare(std::string_view a, std::string_view b);

inline bool NaturalLess(std::string_view a, std::string_view b) {
    return NaturalCompare(a, b) < 0;
}

// Paths compared folder by folder, each name naturally, so that every file of "a/" comes before
// those of "a b/" and of "b/".
bool NaturalPathLess(const std::filesystem::path& a, const std::filesystem::path& b);

} // namespace k72
