#pragma once
// PNG pictures through libpng. Palette and grey pictures of 1, 4 or 8 bits keep their depth (grey
// levels become a palette), 8-bit RGB becomes a 24-bit bitmap, and everything else (alpha, 16 bits per
// channel, 2-bit pictures, transparency chunks) becomes a 32-bit bitmap.

#include "codecs/CDibImage.h"
#include "codecs/ConversionProblem.h"

#include <cstddef>
#include <cstdint>

namespace k72 {

ConversionProblem DecodePngPicture(const std::uint8_t* data, std::size_t size, CDibImage& image);

} // namespace k72
