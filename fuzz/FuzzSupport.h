#pragma once
// What every fuzz target shares: a private scratch folder for the files the code under test opens by
// path, whole-file writes, and a quiet diagnostic log (the log would otherwise fill the disk).

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace k72fuzz {

// A folder of this process, made on first use (in /dev/shm when it exists, for speed) and removed when
// the process ends normally.
const std::filesystem::path& ScratchFolder();

// Replaces the file's content with the given bytes; aborts the process when that fails, since every
// later result would be meaningless.
void WriteWholeFile(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size);

// Sends the program's diagnostic log nowhere. Every target calls it as it starts (FuzzInitialize.cpp).
void SilenceDiagnostics();

} // namespace k72fuzz
