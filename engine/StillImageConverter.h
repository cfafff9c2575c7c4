#pragma once
// Turns one picture file (JPG/JPEG, BMP, PNG) into one device picture file: a 640 x 480 baseline JPEG
// carrying the fixed EXIF block and a 160 x 120 thumbnail. Frames, encoder, EXIF writer and output
// buffers are allocated once and reused from picture to picture.

#include "codecs/ResultCodes.h"

#include <string>

namespace k72 {

class StillImageConverter {
public:
    // Creates the frames, buffers, EXIF writer and encoder and opens the encoder; ConstructResult()
    // tells whether that worked (0, or rc::JpegEncoderInitFailed).
    StillImageConverter();
    virtual ~StillImageConverter();
    StillImageConverter(const StillImageConverter&) = delete;
    StillImageConverter& operator=(const StillImageConverter&) = delete;

    ResultCode ConstructResult() const;

    // Converts one picture. 0 on success, else a negative result code:
    // rc::JpegDecodeFailed (cannot be read or decoded), rc::JpegUnsupportedLayout (a layout that cannot
    // be loaded, or a picture too large to decode), rc::Fail (transform or write failed),
    // rc::JpegEncodeFailed, rc::JpegImageObjectFailed. No output file is left behind on failure.
    // Paths are UTF-8.
    ResultCode Convert(const std::string& sourcePath, const std::string& destinationPath);

    // The main picture's quantiser compression, 0 ... 1 (default 0.5). The range is checked by the caller.
    void SetQuality(float quality);
    float Quality() const;
};

} // namespace k72
