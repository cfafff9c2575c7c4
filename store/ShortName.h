#pragma once
// 8.3 short names for the sound files the pads name. The device looks a pad's sound file up by its
// short name. A FAT volume keeps one beside every long name and Linux reports it; on any other file
// system the sound file is copied under a short name formed the way Windows forms them
// ("Long Sound Name.wav" -> "LONGSO~1.WAV"), so that the stored name is always a real name of the file.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace k72 {

// The upper-case 8.3 form of a long name when it needs no numeric tail ("sound.wav" -> "SOUND.WAV");
// none when the conversion loses something (spaces, extra dots, long parts, characters FAT short names
// cannot hold).
std::optional<std::string> ExactShortName(std::string_view longName);

// The short name with numeric tail n (1, 2, …) for a long name that needs one: up to 6 characters of
// the name, "~n" and up to 3 of the extension ("LONGSO~1.WAV"; from ~10 on the name part is shorter).
std::string TailedShortName(std::string_view longName, unsigned n);

// The upper-case 8.3 name of the WAV file converted from a sound: the source's name with the
// extension WAV ("Birdsong.mp3" -> "BIRDSONG.WAV", "Long Sound Name.flac" -> "LONGSO~1.WAV"); "SOUND.WAV"
// for a name with nothing usable in it.
std::string ConvertedSoundName(const std::filesystem::path& source);

// True when folder lies on a FAT (vfat) file system, which keeps short names of its own.
bool FolderKeepsShortNames(const std::filesystem::path& folder);

// The short name the FAT file system gave to the entry of folder whose long name is name (letter case
// ignored); none when there is no such entry or the file system cannot tell.
std::optional<std::string> ReadFatShortName(const std::filesystem::path& folder, std::string_view name);

} // namespace k72
