#pragma once
// A folder of our own in the temporary folder for one conversion, removed with what it holds. The
// converted file keeps the card file's name inside it; a private folder means no other user or program
// can have put a file or link of that name in our way. Its name carries this process's id, so that a
// later run can tell a folder of a run that was killed from one still in use (see Leftovers).

#include "store/StoreResult.h"

#include <filesystem>

namespace k72 {

class TemporaryWorkspace {
public:
    explicit TemporaryWorkspace(const std::filesystem::path& parent);
    ~TemporaryWorkspace();
    TemporaryWorkspace(const TemporaryWorkspace&) = delete;
    TemporaryWorkspace& operator=(const TemporaryWorkspace&) = delete;

    bool Ok() const { return !path_.empty(); }
    const std::filesystem::path& Path() const { return path_; }
    // Why it could not be made (TemporaryFolder, with the text: the folder is full, or cannot be used
    // and why); a success when it was made.
    StoreResult Failure() const;

private:
    std::filesystem::path parent_;
    std::filesystem::path path_;
    int error_ = 0;
};

} // namespace k72
