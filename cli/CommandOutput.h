#pragma once
// What a command gives back to its caller. On a terminal: lines on standard output, messages on
// standard error. With --json: exactly one JSON object on standard output, on success and on failure
// alike, while standard error still gets the messages:
//   success  {"ok": true, ...}   (show, probe and check print their own objects; the other commands
//            {"ok": true, "pads": [pad, ...], "lines": [text, ...]} with the pads they changed)
//   failure  {"ok": false, "error": "the first message", "code": "0x80000300"}  ("code" only where the
//            failure has a result code)
// The state is the process's own: one command runs per process.

#include "cli/PadAddress.h"
#include "codecs/ResultCodes.h"
#include "store/PadRecords.h"

#include <optional>
#include <string>

namespace k72::cli::output {

void SetJson(bool json);
bool Json();

// A message of a failure (without the program's name in front); the first one is the JSON's "error".
void NoteError(const std::string& text);
// The result code behind a failure; the last one is the JSON's "code".
void NoteCode(ResultCode code);
// A command that printed its own JSON object; nothing more is printed for it.
void NoteJsonPrinted();

// A line of a command's result: printed on a terminal, kept for "lines" with --json.
void Line(const std::string& text);
// A pad after a command: its one-line description on a terminal, its object in "pads" with --json.
void Pad(const PadAddress& address, const PadEntry* entry);

// With --json, the one object for a command that ended with this exit status (nothing when the command
// printed its own). The text of a failure object, e.g. for a usage error.
void Finish(int status);
std::string FailureObject(const std::string& error, std::optional<ResultCode> code);

// For tests of the tool in one process: forget everything noted.
void Reset();

} // namespace k72::cli::output
