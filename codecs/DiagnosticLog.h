#pragma once
// The program's one diagnostic log. Reason texts and diagnostic lines of the conversion steps go here
// and are never shown to the user. By default they are appended to "diagnostic.log" in the user's
// cache folder ($XDG_CACHE_HOME or ~/.cache, then "k72-image-converter"); K72_DIAGNOSTIC_LOG=stderr
// sends them to standard error instead, K72_DIAGNOSTIC_LOG=<path> to that file.

#include <functional>
#include <string_view>

namespace k72 {

// Appends text as it is (lines carry their own line feed). Safe to call from any thread.
void DebugOutput(std::string_view text);

// Appends one line, "<module>: <text>" and its line feed. Each file names its module once, in
// lower-case words ("movie converter", "pad file"), so every line tells where it comes from the same way.
void LogLine(std::string_view module, std::string_view text);

// Replaces the destination of DebugOutput (tests capture the log this way); an empty function
// restores the default. Returns the previous sink.
using DebugSink = std::function<void(std::string_view)>;
DebugSink SetDebugSink(DebugSink sink);

} // namespace k72
