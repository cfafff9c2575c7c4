#pragma once
// Whether what an import will write fits on the card, checked before anything is converted: the card's
// free space against an estimate of the converted files' size (a movie from its running time at the
// chosen frame rate and quality, a picture at a generous fixed size).

#include "store/Settings.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace k72 {

// The running time of a media file in milliseconds, 0 when it cannot be read.
std::int64_t MediaDurationMs(const std::filesystem::path& path);

// About how many bytes the converted movie takes on the card.
std::int64_t EstimatedMovieBytes(std::int64_t durationMs, const Settings& settings);
// About how many bytes a converted picture takes on the card (with its thumbnail and EXIF block).
inline constexpr std::int64_t kEstimatedPictureBytes = 256 * 1024;

// What is to be written: a movie (empty path for none) or a number of pictures, and how the import
// names it to the user ("\"clip.mp4\"", "12 pictures").
struct ImportSize {
    std::filesystem::path movie;
    std::size_t pictures = 0;
    std::string what;
};

// The message when it will not fit in the free space of the volume holding cardFolder; none when it
// will, or when the free space is unknown.
std::optional<std::string> NotEnoughSpaceText(const std::filesystem::path& cardFolder, const ImportSize& size,
                                              const Settings& settings);

} // namespace k72
