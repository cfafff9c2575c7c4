#pragma once
// The program's one diagnostic log. Reason texts and diagnostic lines of the conversion steps go here
// and are never shown to the user. By default they are appended to "diagnostic.log" in the user's
// cache folder ($XDG_CACHE_HOME or ~/.cache, then "k72-image-converter"); K72_DIAGNOSTIC_LOG=stderr
// sends them to standard error instead, K72_DIAGNOSTIC_LOG=<path> to that file.
//
// Each line has a level. Errors are failures the user is told about in other words; warnings are what
// went wrong but was worked around; info is the course of the work; debug is detail for a developer.
// K72_LOG_LEVEL=error|warning|info|debug keeps that level and the ones above it (default: info).

#include <functional>
#include <string_view>

namespace k72 {

enum class LogLevel { Error, Warning, Info, Debug };

// "error", "warning", "info", "debug".
std::string_view LogLevelName(LogLevel level);

// The lowest level that is written: K72_LOG_LEVEL at the first use, else Info; SetLogLevel replaces it.
LogLevel CurrentLogLevel();
void SetLogLevel(LogLevel level);

// Appends text as it is (lines carry their own line feed). Safe to call from any thread.
void DebugOutput(std::string_view text);

// Appends one line, "<module>: <text>" and its line feed, when level is kept; a level other than info
// precedes the module ("warning: pad file: ..."). Each file names its module once, in lower-case
// words ("movie converter", "pad file"), so every line tells where it comes from the same way.
void LogLine(LogLevel level, std::string_view module, std::string_view text);
// An info line.
void LogLine(std::string_view module, std::string_view text);

// Replaces the destination of DebugOutput (tests capture the log this way); an empty function
// restores the default. Returns the previous sink.
using DebugSink = std::function<void(std::string_view)>;
DebugSink SetDebugSink(DebugSink sink);

} // namespace k72
