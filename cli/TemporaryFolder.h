#pragma once
// A folder of this program's own in the system's temporary folder for the files of one conversion,
// removed with everything in it when the command ends, also after a failure or a cancel.

#include <filesystem>

namespace k72::cli {

class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // False when no folder could be made; Error says why (errno).
    bool Ok() const { return !path_.empty(); }
    int Error() const { return error_; }
    const std::filesystem::path& Path() const { return path_; }
    // The folder it was made in (or should have been).
    const std::filesystem::path& Parent() const { return parent_; }

private:
    std::filesystem::path path_;
    std::filesystem::path parent_;
    int error_ = 0;
};

} // namespace k72::cli
