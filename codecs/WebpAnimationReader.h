#pragma once
// Animated WebP pictures through libwebp's demuxer: the first frame, laid on the animation's canvas
// as a player shows it, as a 32-bit bitmap (alpha dropped), as the first frame of a GIF is taken. The
// media library's own WebP decoder reads still pictures only.

#include "codecs/CDibImage.h"
#include "codecs/ConversionProblem.h"

#include <cstddef>
#include <cstdint>

namespace k72 {

// Whether a RIFF WebP file declares an animation (the VP8X chunk's animation flag).
[[nodiscard]] bool IsAnimatedWebp(const std::uint8_t* data, std::size_t size);

ConversionProblem DecodeAnimatedWebp(const std::uint8_t* data, std::size_t size, CDibImage& image);

} // namespace k72
