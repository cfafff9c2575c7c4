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

    // False when no folder could be made.
    bool Ok() const { return !path_.empty(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace k72::cli
