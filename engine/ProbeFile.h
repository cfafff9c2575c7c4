#pragma once
// A file opened for reading by the header probes: only regular files open (a folder, a pipe or a
// device would either fail later or block), its length is taken once, and reads are by absolute
// 64-bit position so that no size stored in a header can wrap a position around.

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace k72 {

class ProbeFile {
public:
    // False when the path names no readable regular file.
    bool Open(const std::string& path);
    std::uint64_t Length() const { return length_; }
    // True when all n bytes at offset were read.
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n);

private:
    std::ifstream stream_;
    std::uint64_t length_ = 0;
};

} // namespace k72
