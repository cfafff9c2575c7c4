#pragma once
// A consistent copy of a card's pad file, for the commands that only look at a card: the desktop
// program may hold the card (and its lock) meanwhile, and the card may be mounted read-only. The file is
// opened read-only and read whole under a shared lock, which keeps writers out for that moment and is
// let go at once. While a writer holds the file it is read without the lock, again until two reads in a
// row agree and the file's size and change time did not move in between, so that a bank written by the
// lock holder during the read never yields half an old and half a new record.

#include "store/PadRecords.h"
#include "store/StoreResult.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace k72 {

class PadFileSnapshot {
public:
    static constexpr int kMaxAttempts = 20;

    // Reads the pad file at path. NoCard, with the reason in words, when it cannot be opened or read,
    // is not a regular file (a link is not followed), has another length than a pad file, or kept
    // changing over every attempt.
    StoreResult Read(const std::filesystem::path& path);
    // The same for a regular file already opened for reading as fd (path for the messages).
    StoreResult ReadOpenFile(int fd, const std::filesystem::path& path);

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    // How many whole reads it took (1 when nothing changed meanwhile).
    int Attempts() const { return attempts_; }
    // The length the file had when it was refused for its length; -1 otherwise.
    long long WrongLength() const { return wrongLength_; }

    // The 144 entries of bank 0 … 5 as the pad file holds them (number × 12 + pad), read by the same
    // rules as an opened pad file's banks. Empty for a bank out of range or before a successful Read.
    std::vector<PadEntry> Bank(int bank) const;

    // Writes the copy to path (a new file, replaced if present). False when that fails.
    bool WriteCopy(const std::filesystem::path& path) const;

    // For tests: called between the two reads of each attempt.
    using BetweenReads = void (*)(void* context, int attempt);
    void SetBetweenReads(BetweenReads hook, void* context) {
        hook_ = hook;
        hookContext_ = context;
    }

private:
    std::vector<std::uint8_t> bytes_;
    int attempts_ = 0;
    long long wrongLength_ = -1;
    BetweenReads hook_ = nullptr;
    void* hookContext_ = nullptr;
};

} // namespace k72
