#pragma once
// Pixel formats of the still picture path. The numbers are the ones stored and exchanged by this
// program since its first release; they are not the media library's current AVPixelFormat numbers, so
// every hand-over to the library goes through ToAVPixelFormat.

#include <cstdint>

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace k72 {

enum class PixelFormat : std::int32_t {
    None = -1,
    YUV420P = 0,   // planar Y, U (W/2 x H/2), V (W/2 x H/2)
    YUYV422 = 1,   // packed Y0 U Y1 V
    RGB24 = 2,     // bytes R, G, B
    BGR24 = 3,     // bytes B, G, R
    YUV422P = 4,   // planar Y, U (W/2 x H), V (W/2 x H)
    RGB32 = 6,     // bytes X, R, G, B: the exact reverse of BGR32
    YUVJ422P = 16, // as YUV422P, full range: what the JPEG encoder takes
    BGR32 = 22,    // bytes B, G, R, X
};

// The library's format with the same byte layout; AV_PIX_FMT_NONE for None and unknown values.
AVPixelFormat ToAVPixelFormat(PixelFormat format);

// Bytes per pixel of the packed formats (3 or 4); 0 for planar, packed 4:2:2 and None.
int PackedPixelBytes(PixelFormat format);

} // namespace k72
