#pragma once
// The JSON objects k72-card prints with --json, one per run (see CommandOutput.h):
//   show:  {"ok": true, "card": path, "lastFileNumber": n, "pads": [pad, ...]}, each pad
//          {"pad": "A-1-1", "kind": "empty"|"movie"|"still", "file": name, "frameCount": n,
//           "files": [names], "audio": name or null} ("file" and "frameCount" for movies, "files" for
//          still image pads)
//   probe: {"ok": true, "kind": "avi", "frames": n, "fps": x} or
//          {"kind": "wav", "ok": bool, "code": "0x80000305"} with "error" when the sound is refused
//   check: {"ok": bool, "card": path, "problems": [{"kind": "missing-file", "pad": "A-1-1" or null,
//           "name": name or null, "text": words, "repairable": bool}, ...], "repaired": [problem, ...]}
//          with "error" when it is not sound
//   other commands: {"ok": true, "pads": [pad, ...], "lines": [text, ...]}
//   --help, --version: {"ok": true, "help": text} or {"ok": true, "version": "k72-card 1.2.3"}
//   any failure: {"ok": false, "error": text, "code": "0x80000300"} ("code" where the failure has one)

#include "codecs/ResultCodes.h"
#include "store/CardCheck.h"
#include "store/PadRecords.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace k72::cli {

// The names the user knew the card files by, keyed by upper-case card file name.
using OriginalNames = std::map<std::string, std::string>;

struct PadListing {
    std::string pad; // "A-1-1"
    PadEntry entry;
    OriginalNames originals; // of this pad's files, where they are known
};

std::string ShowJson(const std::string& card, std::uint32_t lastFileNumber,
                     const std::vector<PadListing>& pads);
std::string AviProbeJson(std::uint32_t frames, double framesPerSecond);
std::string WavProbeJson(ResultCode code, const std::string& error = std::string());
// error empty: the card is sound ("ok": true); otherwise the failure's words.
std::string CheckJson(const std::string& card, const std::vector<CardProblem>& problems,
                      const std::vector<CardProblem>& repaired, const std::string& error);
std::string SuccessJson(const std::vector<PadListing>& pads, const std::vector<std::string>& lines);
std::string FailureJson(const std::string& error, const std::string& codeHex);
// {"ok": true, key: text}: the help or the version asked for with --json.
std::string TextJson(const std::string& key, const std::string& text);

// "0x80000305": a result code as the JSON carries it.
std::string ResultCodeHex(ResultCode code);

} // namespace k72::cli
