#pragma once
// The copying half of the desktop program's file copy: one file at a time on a worker thread, with
// its progress counted in shared atomics and a stop flag the window raises. Each file is written to a
// temporary name in its destination folder, flushed and renamed over the destination, so that neither
// a failure nor a cancel leaves a half-written file under the destination's name.

#include <atomic>
#include <cstdint>
#include <filesystem>

namespace k72 {

struct CopyProgress {
    std::atomic<std::uint64_t> bytesDone{0}; // of every file so far
    std::atomic<bool> cancel{false};         // raised by the window; the copy stops at its next step
    // Why the last copy failed (written by the copying thread, read once it has finished): the errno
    // of the failing call, and whether it failed on the source's side (reading) or the destination's.
    int failureErrno = 0;
    bool failedReading = false;
};

// The reason of a failed copy in the user's words: the card or disk full, the folder missing or not
// writable, the file gone, or the system's own text.
std::string CopyFailureReason(int error, bool reading);

// Copies source over destination (an existing destination is replaced). False on failure or cancel;
// the destination is then as it was. chunkBytes is the size of one step between looks at the flag.
bool CopyFileWithProgress(const std::filesystem::path& source, const std::filesystem::path& destination,
                          CopyProgress& progress, std::size_t chunkBytes = std::size_t{1} << 20);

} // namespace k72
