#pragma once
// A libheif decoder plugin for the HEVC items of a HEIC. libheif's own libde265 plugin decodes each
// item on one thread and always runs the in-loop filters; this one drives libde265 with a worker
// thread per usable core (wavefront rows and grid tiles' rows spread over them) and can leave out
// deblocking and SAO. libheif still reads the file, lays out grid tiles, turns and mirrors; only the
// HEVC decoding is ours. It is registered on one libheif context at a time, never globally, so AVIF
// and every other use of libheif are left as they are.

#include <libheif/heif.h>

namespace k72 {

// The plugin for one context. With skipLoopFilter the in-loop filters (deblocking, SAO) are left out:
// their effect does not survive a reduction of at least 2x in both directions.
const heif_decoder_plugin* HevcPlugin(bool skipLoopFilter);

// The number of threads the decoding may use: the cores this process may run on (at most 16).
int UsableCores();

} // namespace k72
