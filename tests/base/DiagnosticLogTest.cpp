// The diagnostic log keeps the lines of the chosen level and above, and marks every line that is not
// plain information with its level.

#include "base/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <string>

namespace k72 {
namespace {

struct Captured {
    Captured() {
        previousSink = SetDebugSink([this](std::string_view line) { text.append(line); });
        previousLevel = CurrentLogLevel();
    }
    ~Captured() {
        SetDebugSink(previousSink);
        SetLogLevel(previousLevel);
    }
    std::string text;
    DebugSink previousSink;
    LogLevel previousLevel;
};

TEST(DiagnosticLog, KeepsTheChosenLevelAndAboveWithTheLevelNamed) {
    struct Case {
        LogLevel threshold;
        const char* expected;
    };
    const Case cases[] = {
        {LogLevel::Error, "error: pad file: e\n"},
        {LogLevel::Warning, "error: pad file: e\nwarning: pad file: w\n"},
        {LogLevel::Info, "error: pad file: e\nwarning: pad file: w\npad file: i\n"},
        {LogLevel::Debug, "error: pad file: e\nwarning: pad file: w\npad file: i\ndebug: pad file: d\n"},
    };
    for (const Case& c : cases) {
        Captured log;
        SetLogLevel(c.threshold);
        LogLine(LogLevel::Error, "pad file", "e");
        LogLine(LogLevel::Warning, "pad file", "w");
        LogLine("pad file", "i");
        LogLine(LogLevel::Debug, "pad file", "d");
        EXPECT_EQ(log.text, c.expected) << "threshold " << LogLevelName(c.threshold);
    }
}

} // namespace
} // namespace k72
