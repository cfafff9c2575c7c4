#include "base/DiagnosticLog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

namespace k72 {
namespace {

std::mutex& LogMutex() {
    static std::mutex mutex;
    return mutex;
}

DebugSink& CurrentSink() {
    static DebugSink sink;
    return sink;
}

LogLevel LevelFromEnvironment() {
    const char* setting = std::getenv("K72_LOG_LEVEL");
    const std::string_view value = setting != nullptr ? setting : "";
    for (LogLevel level : {LogLevel::Error, LogLevel::Warning, LogLevel::Info, LogLevel::Debug}) {
        if (value == LogLevelName(level)) {
            return level;
        }
    }
    return LogLevel::Info;
}

std::atomic<int>& Threshold() {
    static std::atomic<int> threshold{static_cast<int>(LevelFromEnvironment())};
    return threshold;
}

std::filesystem::path DefaultLogPath() {
    namespace fs = std::filesystem;
    fs::path base;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache != '\0') {
        base = cache;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = fs::path(home) / ".cache";
    } else {
        base = fs::temp_directory_path();
    }
    return base / "k72-image-converter" / "diagnostic.log";
}

// The default sink: one file, started afresh once it has grown past 1 MiB so it never fills a disk.
void WriteDefault(std::string_view text) {
    const char* setting = std::getenv("K72_DIAGNOSTIC_LOG");
    if (setting != nullptr && std::string_view(setting) == "stderr") {
        std::fwrite(text.data(), 1, text.size(), stderr);
        return;
    }
    static const std::filesystem::path path =
        (setting != nullptr && *setting != '\0') ? std::filesystem::path(setting) : DefaultLogPath();
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const bool restart = std::filesystem::file_size(path, ec) > (1u << 20) && !ec;
    FILE* file = std::fopen(path.c_str(), restart ? "w" : "a");
    if (file == nullptr) {
        return; // a diagnostic log that cannot be written must never disturb the work
    }
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

} // namespace

void DebugOutput(std::string_view text) {
    std::lock_guard<std::mutex> lock(LogMutex());
    if (CurrentSink()) {
        CurrentSink()(text);
    } else {
        WriteDefault(text);
    }
}

std::string_view LogLevelName(LogLevel level) {
    switch (level) {
    case LogLevel::Error:
        return "error";
    case LogLevel::Warning:
        return "warning";
    case LogLevel::Info:
        return "info";
    case LogLevel::Debug:
        return "debug";
    }
    return "info";
}

LogLevel CurrentLogLevel() {
    return static_cast<LogLevel>(Threshold().load());
}

void SetLogLevel(LogLevel level) {
    Threshold().store(static_cast<int>(level));
}

void LogLine(LogLevel level, std::string_view module, std::string_view text) {
    if (static_cast<int>(level) > Threshold().load()) {
        return;
    }
    std::string line;
    line.reserve(9 + module.size() + 2 + text.size() + 1);
    if (level != LogLevel::Info) {
        line.append(LogLevelName(level)).append(": ");
    }
    line.append(module).append(": ").append(text).push_back('\n');
    DebugOutput(line);
}

void LogLine(std::string_view module, std::string_view text) {
    LogLine(LogLevel::Info, module, text);
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(LogMutex());
    DebugSink previous = std::move(CurrentSink());
    CurrentSink() = std::move(sink);
    return previous;
}

} // namespace k72
