#pragma once
// WebP, TIFF (8 and 16 bits per channel), GIF and 12-bit or lossless JPEG pictures through the media
// library's own image decoders. The whole file is one packet; a GIF animation gives its first frame. Every
// pixel layout becomes a 24-bit bitmap (alpha dropped, 16-bit channels rounded to 8 bits).

#include "codecs/CDibImage.h"
#include "codecs/ConversionProblem.h"

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace k72 {

ConversionProblem DecodeLibavPicture(AVCodecID codec, const std::uint8_t* data, std::size_t size,
                                     CDibImage& image);

} // namespace k72
