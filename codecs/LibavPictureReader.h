#pragma once
// WebP, TIFF (8 and 16 bits per channel) and GIF pictures through the media library's own image
// decoders. The whole file is one packet; a GIF animation gives its first frame. Every pixel layout
// becomes a 24-bit bitmap (alpha dropped, 16-bit channels rounded to 8 bits).

#include "codecs/CDibImage.h"
#include "codecs/PictureDecodeStatus.h"

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace k72 {

PictureDecodeStatus DecodeLibavPicture(AVCodecID codec, const std::uint8_t* data, std::size_t size,
                                       CDibImage& image);

} // namespace k72
