#pragma once
// A small file object over an operating-system handle, used by the AVI re-interleaver. Every operation
// answers whether it succeeded; after a failure of Open, ReadExact, WriteExact, Seek, Flush or
// SetWriteBuffer, LastCause and LastError say what went wrong.

#include "base/FileHandle.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace k72 {

class CWinFile {
public:
    // Open modes: bit 0 creates the file (and truncates it unless bit 1 is set), bit 1 moves to the end
    // after opening, 4 asks for write access and 8 for read access.
    enum OpenMode : std::uint32_t { ModeCreate = 1, ModeAppend = 2, ModeWrite = 4, ModeRead = 8 };
    enum SeekOrigin { Begin, Current, End };

    enum class Cause { FileNotFound, BadSeek, EndOfFile, ReadFailed, WriteFailed };

    CWinFile() = default;
    virtual ~CWinFile();
    CWinFile(const CWinFile&) = delete;
    CWinFile& operator=(const CWinFile&) = delete;

    [[nodiscard]] virtual bool Open(const std::filesystem::path& path, std::uint32_t mode);
    virtual void Close();
    virtual std::size_t Read(void* buffer, std::size_t count);
    // All count bytes or false (the end of the file comes first: Cause::EndOfFile).
    [[nodiscard]] virtual bool ReadExact(void* buffer, std::size_t count);
    [[nodiscard]] virtual bool Write(const void* buffer, std::size_t count);
    [[nodiscard]] virtual bool WriteExact(const void* buffer, std::size_t count);
    [[nodiscard]] virtual bool Seek(std::int64_t offset, SeekOrigin origin);
    virtual std::uint64_t GetLength();
    virtual std::uint64_t GetPosition();

    // Reads up to count bytes at offset in one call, without moving the file position; the bytes read,
    // 0 on failure or at the end.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);

    // Gathers writes in a buffer of this many bytes and hands them to the system in large pieces;
    // every other operation writes the buffer out first. 0 (the default) writes at once.
    // False when what the old buffer held cannot be written out.
    [[nodiscard]] bool SetWriteBuffer(std::size_t bytes);
    // Writes out what the buffer holds.
    [[nodiscard]] bool Flush();

    // What the last failed operation ran into, and its description for the diagnostic log.
    Cause LastCause() const { return lastCause_; }
    const std::string& LastError() const { return lastError_; }

    bool IsOpen() const { return static_cast<bool>(handle_); }
    const std::filesystem::path& Path() const { return path_; }

private:
    bool WriteAll(const void* buffer, std::size_t count, int& error);
    bool FlushBuffer(int& error);
    // One read call (read or pread) on the open file, after the writes buffered so far, tried again
    // when a signal cut it short; the bytes it read, 0 on an error or at the end.
    std::size_t ReadOnce(const std::function<ssize_t()>& read);
    bool FlushOrFail();
    bool Fail(Cause cause, std::string what);

    std::filesystem::path path_;
    FileHandle handle_;
    // The length is asked of the system only once for a file this object has not written to.
    std::uint64_t knownLength_ = 0;
    bool lengthKnown_ = false;
    std::vector<std::uint8_t> writeBuffer_;
    std::size_t writeBufferLimit_ = 0;
    Cause lastCause_ = Cause::ReadFailed;
    std::string lastError_;
};

} // namespace k72
