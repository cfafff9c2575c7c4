#pragma once
// The movie transcoder: one whole command-line style conversion in one call. It takes the argument
// vector the movie converter builds ("" "-fs" size "-y" "-i" source "-acodec" "pcm_s16le" "-ar" "44100"
// "-ac" "2" "-s" "640x480" "-r" ntsc|pal "-qscale" q ["-deinterlace" "-top" "-1"] "-vcodec" "mjpeg"
// "-pix_fmt" "yuvj422p" "-f" "avi" output) and writes an MJPEG/PCM AVI whose headers fill bytes 0 … 499,
// with LIST/movi at 500 and idx1 right after the movi list.

#include "codecs/ResultCodes.h"

#include <cstdint>

namespace k72 {

// What the transcoder tells its caller. The answer matters only for Position: −1 asks it to stop.
enum ConverterReportKind : std::int32_t {
    ReportResult = 0,       // the result code of the whole conversion, once, at the end
    ReportTotal = 1,        // the scale of the positions that follow
    ReportPosition = 2,     // how far the conversion has come
    ReportBytesWritten = 3, // the number of bytes just written to the output
};

using ConverterCallback = std::int32_t (*)(void* context, std::int32_t kind, std::int32_t value);

// Runs the conversion synchronously. The outcome is reported through the callback (kind 0); the same
// code is returned for callers that prefer it.
[[nodiscard]] ResultCode ff_convertermain(ConverterCallback callback, void* context, int argc, char** argv);

// Sends the media library's own warnings and errors to the diagnostic log instead of the terminal.
// Every entry into the library that may complain about a user's file calls it first.
void RouteLibraryLogToDiagnostics();

} // namespace k72
