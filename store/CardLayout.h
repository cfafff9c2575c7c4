#pragma once
// Where the device keeps its files and how they are named: the card folder DCIM/000KAVLO under the
// card's root, the pad file K72_PAD.SYS in it, and media files "K72_%04d.AVI" / "K72_%04d.JPG" sharing
// one number sequence. The card is a FAT volume, where names compare without regard to letter case; a
// copy of it on a case-sensitive file system may spell them in any case, so lookups here ignore case.

#include "base/DeviceFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace k72 {

namespace cardlayout {
constexpr std::string_view kDcimFolder = "DCIM";
constexpr std::string_view kCardFolder = "000KAVLO";
constexpr std::string_view kPadFileName = "K72_PAD.SYS";
constexpr std::string_view kMoviePattern = "K72_????.AVI";
constexpr std::string_view kStillPattern = "K72_????.JPG";
constexpr std::uint32_t kHighestFileNumber = device::kHighestFileNumber;
constexpr std::uintmax_t kLargestConvertedFile = device::kMaxMovieFileSize; // refused from this size on
} // namespace cardlayout

struct CardPaths {
    std::filesystem::path cardFolder;  // <root>/DCIM/000KAVLO as the file system spells it
    std::filesystem::path padFilePath; // <cardFolder>/K72_PAD.SYS as the file system spells it
};

// The card folder and pad file under a card's root (the folder that holds DCIM). Each part is looked up
// without regard to case; a part that is not there keeps its usual spelling, so that opening the
// result fails as it should.
CardPaths FindCardPaths(const std::filesystem::path& root);

// The entry of folder whose name equals name without regard to (ASCII) letter case; the exact
// spelling wins when both exist. None when there is no such entry or the folder cannot be read.
std::optional<std::filesystem::path> FindEntryNoCase(const std::filesystem::path& folder,
                                                     std::string_view name);

// The file-name wildcard match of FAT volumes: letter case is ignored, '?' stands for one character,
// and '?' marks just before the dot or the end may also match nothing. No '*' is needed here.
bool WildcardMatchNoCase(std::string_view pattern, std::string_view name);

// The file number of a media name such as K72_0012.JPG: the part after the first underscore, at most
// 4 characters, read as leading decimal digits. No digits there, or a sign, gives 0, so that a stray
// K72_-001.JPG cannot push the sequence past its end.
std::uint32_t FileNumberOfName(std::string_view name);

// "K72_%04d.%s".
std::string MakeCardFileName(std::uint32_t number, std::string_view extension);

// True for a name that can only mean a file directly in the card folder: 1 … 12 bytes, no path
// separator, no "..", no control characters. Names read from the pad file are untrusted.
bool IsPlainCardName(std::string_view name);

} // namespace k72
