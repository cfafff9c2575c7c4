#pragma once
// The JSON that show --json and probe --json print, one object each:
//   show:  {"card": path, "lastFileNumber": n, "pads": [pad, ...]}, each pad
//          {"pad": "A-1-1", "kind": "empty"|"movie"|"still", "file": name, "frameCount": n,
//           "files": [names], "audio": name or null} ("file" and "frameCount" for movies, "files" for
//          still image pads)
//   probe: {"kind": "avi", "frames": n, "fps": x} or {"kind": "wav", "ok": bool, "code": "0x80000305"}

#include "codecs/ResultCodes.h"
#include "store/PadRecords.h"

#include <cstdint>
#include <string>
#include <vector>

namespace k72::cli {

struct PadListing {
    std::string pad; // "A-1-1"
    PadEntry entry;
};

std::string ShowJson(const std::string& card, std::uint32_t lastFileNumber,
                     const std::vector<PadListing>& pads);
std::string AviProbeJson(std::uint32_t frames, double framesPerSecond);
std::string WavProbeJson(ResultCode code);

// "0x80000305": a result code as the JSON carries it.
std::string ResultCodeHex(ResultCode code);

} // namespace k72::cli
