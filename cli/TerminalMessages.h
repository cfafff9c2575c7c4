#pragma once
// The store's messages, and the tool's own, on standard error. The store's texts are printed as they
// stand (the desktop program shows the same texts in its message boxes); the tool's own carry the
// program's name in front, as terminal tools do.

#include <string>

namespace k72::cli {

class ProgressBar;

class TerminalMessages {
public:
    // A progress bar on the same terminal is cleared before a message is printed.
    explicit TerminalMessages(ProgressBar* bar = nullptr) : bar_(bar) {}

    // A message of the store, e.g. "Up to 9999 files can be import.".
    void ShowMessage(const std::string& text);
    // A message of the tool: "k72-card: " + text.
    void Error(const std::string& text);
    // A line printed as it stands (a result code's diagnostic line ends with its own line feed).
    void Raw(const std::string& text);

    // How many messages were printed, and the last text the store showed.
    int Count() const { return count_; }
    const std::string& LastStoreMessage() const { return lastStoreMessage_; }

private:
    void Print(const std::string& text);

    ProgressBar* bar_;
    int count_ = 0;
    std::string lastStoreMessage_;
};

} // namespace k72::cli
