#pragma once
// A small file object over an operating-system handle, used by the AVI re-interleaver. Failures of
// Open, ReadExact, WriteExact, Seek and Flush raise CWinFile::Error; Read and Write report them by
// their result.

#include "base/FileHandle.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace k72 {

class CWinFile {
public:
    // Open modes: bit 0 creates the file (and truncates it unless bit 1 is set), bit 1 moves to the end
    // after opening, 4 asks for write access and 8 for read access.
    enum OpenMode : std::uint32_t { ModeCreate = 1, ModeAppend = 2, ModeWrite = 4, ModeRead = 8 };
    enum SeekOrigin { Begin, Current, End };

    enum class Cause { FileNotFound, BadSeek, EndOfFile, ReadFailed, WriteFailed };

    class Error : public std::runtime_error {
    public:
        Error(Cause cause, const std::string& what) : std::runtime_error(what), cause_(cause) {}
        Cause cause() const { return cause_; }

    private:
        Cause cause_;
    };

    CWinFile() = default;
    virtual ~CWinFile();
    CWinFile(const CWinFile&) = delete;
    CWinFile& operator=(const CWinFile&) = delete;

    virtual bool Open(const std::filesystem::path& path, std::uint32_t mode);
    virtual void Close();
    virtual std::size_t Read(void* buffer, std::size_t count);
    virtual void ReadExact(void* buffer, std::size_t count);
    virtual bool Write(const void* buffer, std::size_t count);
    virtual void WriteExact(const void* buffer, std::size_t count);
    virtual std::uint64_t Seek(std::int64_t offset, SeekOrigin origin);
    virtual std::uint64_t GetLength();
    virtual std::uint64_t GetPosition();

    // Reads up to count bytes at offset in one call, without moving the file position; the bytes read,
    // 0 on failure or at the end.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);

    // Gathers writes in a buffer of this many bytes and hands them to the system in large pieces;
    // every other operation writes the buffer out first. 0 (the default) writes at once.
    void SetWriteBuffer(std::size_t bytes);
    // Writes out what the buffer holds; raises a file error when that fails.
    void Flush();

    bool IsOpen() const { return static_cast<bool>(handle_); }
    const std::filesystem::path& Path() const { return path_; }

private:
    bool WriteAll(const void* buffer, std::size_t count, int& error);
    bool FlushBuffer(int& error);
    void FlushOrThrow();

    std::filesystem::path path_;
    FileHandle handle_;
    // The length is asked of the system only once for a file this object has not written to.
    std::uint64_t knownLength_ = 0;
    bool lengthKnown_ = false;
    std::vector<std::uint8_t> writeBuffer_;
    std::size_t writeBufferLimit_ = 0;
};

} // namespace k72
