#pragma once
// Small helpers for the tests of every layer: a temporary folder that removes itself, whole-file
// reads and writes, and running an external program (ffmpeg, ffprobe, exiftool) with its output.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace k72test {

// A fresh folder under the system's temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::string ReadFileText(const std::filesystem::path& path);

struct CommandResult {
    int exitCode = -1;  // the program's exit status; -1 when it could not be started or was killed
    std::string output; // standard output and standard error together
};

// Runs a shell command line and collects its output. Arguments must be quoted by the caller
// (see Quote); test inputs are paths made by the tests themselves.
CommandResult RunCommand(const std::string& commandLine);
std::string Quote(const std::string& argument);
std::string Quote(const std::filesystem::path& argument);

// True when the named program is on PATH (ffmpeg, ffprobe, exiftool, sox).
bool HaveProgram(const std::string& name);

// Generates a test medium with ffmpeg's own sources, e.g.
//   MakeMedia(out, "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -c:v libx264")
// Fails the current test (ADD_FAILURE) and returns false when ffmpeg fails.
bool MakeMedia(const std::filesystem::path& output, const std::string& ffmpegArguments);

// Folder of the built programs (k72-card, k72-image-converter).
std::filesystem::path BinaryDir();

} // namespace k72test
