#pragma once
// The quiet copy of the tests and the terminal tool: no window, no question. Each file is written to a
// temporary name in its destination folder, flushed, and renamed into place, so a failed copy never
// leaves a half-written file under the destination's name. An existing destination is replaced only
// when the copy was made with overwriting allowed.

#include "store/IFileCopy.h"

namespace k72 {

class PlainFileCopy : public IFileCopy {
public:
    explicit PlainFileCopy(bool overwrite = false) : overwrite_(overwrite) {}
    bool Copy(const std::vector<FileCopyItem>& items) override;

    void SetOverwrite(bool overwrite) { overwrite_ = overwrite; }

    // Copies one file as above; the building block of Copy. With noFollow a source that is a link is
    // refused (ELOOP). A source that is not a regular file is refused (EINVAL, EISDIR for a folder)
    // without waiting on it.
    static bool CopyOne(const std::filesystem::path& source, const std::filesystem::path& destination,
                        bool overwrite, bool noFollow = false);

private:
    bool overwrite_;
};

} // namespace k72
