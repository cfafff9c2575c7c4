#pragma once
// File copies of the terminal tool: no question is asked. An existing destination is replaced only
// with --overwrite; without it the copy fails with a message that names the file, unless the file there
// already holds the very same bytes (then there is nothing to copy). Each file is written under a
// temporary name and renamed into place, so a failed copy leaves nothing half-written behind. A batch
// of files shows a progress bar on a terminal, and Ctrl-C stops it between two files.

#include "store/IFileCopy.h"

#include <filesystem>

namespace k72::cli {

class ProgressBar;
class TerminalMessages;

class TerminalFileCopy : public IFileCopy {
public:
    TerminalFileCopy(TerminalMessages& messages, ProgressBar& bar) : messages_(messages), bar_(bar) {}

    void SetOverwrite(bool overwrite) { overwrite_ = overwrite; }
    bool Overwrite() const { return overwrite_; }

    bool Copy(const std::vector<FileCopyItem>& items) override;
    // Without --overwrite a file of other bytes is never replaced: refused, naming the file.
    bool MayReplace(const std::filesystem::path& source, const std::filesystem::path& destination) override;

    // True when destination exists (as a file, folder or link) and does not hold the same bytes as
    // source: a copy without overwriting would have to refuse it.
    static bool WouldReplace(const std::filesystem::path& source, const std::filesystem::path& destination);
    static bool SameContent(const std::filesystem::path& a, const std::filesystem::path& b);

    // Prints the refusal message for destination.
    void ReportExisting(const std::filesystem::path& destination);

private:
    TerminalMessages& messages_;
    ProgressBar& bar_;
    bool overwrite_ = false;
};

} // namespace k72::cli
