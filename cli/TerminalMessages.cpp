#include "cli/TerminalMessages.h"

#include "cli/CommandOutput.h"
#include "cli/ProgressBar.h"

#include <cstdio>

namespace k72::cli {

void TerminalMessages::Print(const std::string& text) {
    if (bar_ != nullptr) {
        bar_->Clear();
    }
    std::fputs(text.c_str(), stderr);
    if (text.empty() || text.back() != '\n') {
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
    ++count_;
}

void TerminalMessages::ShowMessage(const std::string& text) {
    lastStoreMessage_ = text;
    output::NoteError(text);
    Print(text);
}

void TerminalMessages::Error(const std::string& text) {
    output::NoteError(text);
    Print("k72-card: " + text);
}

void TerminalMessages::Raw(const std::string& text) {
    Print(text);
}

} // namespace k72::cli
