#pragma once
// A libheif decoder plugin for the HEVC items of a HEIC. libheif's own libde265 plugin decodes each
// item on one thread and always runs the in-loop filters; this one drives libde265 with a worker
// thread per usable core (wavefront rows and grid tiles' rows spread over them) and can leave out
// deblocking and SAO. libheif still reads the file, lays out grid tiles, turns and mirrors; only the
// HEVC decoding is ours. It is registered on one libheif context at a time, never globally, so AVIF
// and every other use of libheif are left as they are.
//
// The decoded picture is handed over in a form of our own: an "RGB 4:4:4" heif_image whose R, G and B
// planes hold Y, Cb and Cr at full size (the colour planes repeated where the item subsamples them; a
// grey item gets neutral colour planes), at the item's bit depth. libheif 1.15 converts any YCbCr
// picture a plugin returns to RGB and then back to whatever the caller asks for, two full-size
// conversions in floating point that took more time than the decoding; a picture that is already
// "RGB 4:4:4" goes through untouched, and its turning, mirroring, cropping and grid layout work plane
// by plane as before. Only a caller that knows this form may use these plugins, asking libheif for
// heif_colorspace_RGB / heif_chroma_444 and reading the planes as YCbCr.

#include <libheif/heif.h>

namespace k72 {

// The plugin for one context. With skipLoopFilter the in-loop filters (deblocking, SAO) are left out:
// their effect does not survive a reduction of at least 2x in both directions.
const heif_decoder_plugin* HevcPlugin(bool skipLoopFilter);

// A plugin for the same context that claims every other coding (AV1 above all) and refuses it, so that
// a picture decoded on that context is known to have come through the plugin above in its own form.
const heif_decoder_plugin* OtherCodingsRefuser();

// The number of threads the decoding may use: the cores this process may run on (at most 16).
int UsableCores();

} // namespace k72
