#pragma once
// Finds the orientation a camera recorded for a picture (the EXIF/TIFF tag 0x0112, values 1 ... 8) in
// the places the picture formats keep it: a JPEG's APP1 "Exif" segment, a PNG's eXIf chunk, a WebP's
// EXIF chunk, a TIFF file's first directory. Reads only within the bytes given; anything damaged,
// missing or out of range answers 1 (upright as stored).

#include <cstddef>
#include <cstdint>

namespace k72 {

// A TIFF structure ("II*\0" or "MM\0*" and its directories), as EXIF blocks and TIFF files hold it.
int TiffOrientation(const std::uint8_t* data, std::size_t size);
// A whole JPEG file: the first APP1 "Exif" segment before the picture data.
int JpegOrientation(const std::uint8_t* data, std::size_t size);
// A whole PNG file: the eXIf chunk.
int PngOrientation(const std::uint8_t* data, std::size_t size);
// A whole WebP file: the EXIF chunk of an extended (VP8X) file.
int WebpOrientation(const std::uint8_t* data, std::size_t size);

} // namespace k72
