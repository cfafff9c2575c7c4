#pragma once
// The movie transcoder's command line: what to read, what to write and how.

#include "base/DeviceFormat.h"
#include "codecs/FitGeometry.h"
#include "codecs/ResultCodes.h"

#include <cstdint>
#include <string>

namespace k72 {

class TranscodeOptions {
public:
    // Parses the argument vector (argument 0 is the program name and is skipped). Returns 0, or the
    // result code of the first problem found (with its reason in *reason when given).
    [[nodiscard]] ResultCode Parse(int argc, const char* const* argv, std::string* reason = nullptr);

    std::int64_t maxFileSize = 0;        // "-fs": the output never grows beyond it; 0 means no limit
    bool overwrite = false;              // "-y"
    std::string inputPath;               // "-i"
    std::string outputPath;              // the argument that is no option
    int sampleRate = device::kSoundRate; // "-ar"
    int channels = 2;                    // "-ac"
    int width = device::kPictureWidth;   // "-s"
    int height = device::kPictureHeight;
    int frameRateNum = 30000; // "-r": "ntsc", "pal" or a number or fraction
    int frameRateDen = 1001;
    double qscale = 10;             // "-qscale": the fixed quantiser, 1 … 31
    bool deinterlace = false;       // "-deinterlace"
    int topFieldFirst = -1;         // "-top": -1 finds the field order by itself, 1 top first, 0 bottom first
    FitMode fit = FitMode::Stretch; // "-fit": stretch, letterbox, crop or auto
    bool autoRotate = true;         // "-noautorotate" turns it off: the picture as stored, unturned
    bool fullDecode = false;        // "-fulldecode": decode every detail even where the scaler throws it away
    // What a preview of one moment asks for: the output starts at that moment of the source ("-ss",
    // seconds or [HH:]MM:SS[.m...]), holds only so many pictures ("-vframes"; 0 is all) and no sound ("-an").
    std::int64_t startMicroseconds = 0;
    std::int64_t maxPictures = 0;
    bool noSound = false;
};

} // namespace k72
