#pragma once
// The records of the pad assignment file K72_PAD.SYS as they are held in memory, and the file's fixed
// layout. The device creates the file; we only ever rewrite the header and field bytes of one bank.

#include "base/DeviceFormat.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace k72 {

// The kind of a pad as the user interface sees it.
enum PadKind : std::int32_t { PadKindEmpty = 0, PadKindMovie = 1, PadKindStill = 2 };

namespace padlayout {
constexpr int kBanks = 6;
constexpr int kNumbers = 12;
constexpr int kPads = 12;
constexpr int kEntriesPerBank = kNumbers * kPads;
constexpr std::size_t kRecordSize = 1364;
constexpr std::size_t kBankSize = kRecordSize * kEntriesPerBank; // 196,416
constexpr std::size_t kFileSize = kBankSize * kBanks;            // 1,178,496
constexpr std::size_t kNameFieldSize = 13;
constexpr std::size_t kMaxStills = device::kMaxStillsPerPad;
constexpr std::int32_t kUsed = 1;
constexpr std::int32_t kKindMovie = 0;
constexpr std::int32_t kKindStill = 1;

// Offset of the record of (bank, number, pad) from the start of the file.
constexpr std::size_t RecordOffset(int bank, int number, int pad) {
    return static_cast<std::size_t>(bank) * kBankSize +
           static_cast<std::size_t>(number * kPads + pad) * kRecordSize;
}
} // namespace padlayout

// A 13-byte name field: at most 12 characters of narrow text, zero-terminated and zero-padded.
using NameField = std::array<char, padlayout::kNameFieldSize>;

// The text of a name field: everything up to the first zero byte (all 13 bytes when there is none).
std::string NameText(const NameField& field);
// Fills a name field with text of at most 12 bytes, zero-padded; false (field untouched) when longer.
bool SetNameText(NameField& field, std::string_view text);
inline bool IsEmptyName(const NameField& field) {
    return field[0] == '\0';
}

struct MovieRecord {
    NameField fileName{};
    std::uint32_t deviceValue1 = 0;
    std::uint32_t deviceValue2 = 0;
    std::uint32_t frameCount = 0;
    NameField audioFileName{};
    std::uint32_t deviceValue3 = 0;
    std::uint32_t deviceValue4 = 0;
    std::uint8_t deviceByte1 = 0;
    std::uint8_t deviceByte2 = 0;
    std::uint8_t deviceByte3 = 0;
};

struct StillRecord {
    std::array<NameField, padlayout::kMaxStills> stillNames{};
    std::uint32_t stillCount = 0;
    NameField audioFileName{};
    std::uint32_t deviceValue1 = 0;
    std::uint32_t deviceValue2 = 0;
    std::uint32_t deviceValue3 = 0;
    std::array<std::uint8_t, 5> deviceBytes{};
    std::uint8_t deviceByte4 = 0;
    std::uint8_t deviceByte2 = 0;

    // stillCount as an index bound: the file may hold any value, the list never has more than 100 slots.
    std::size_t UsableCount() const {
        return stillCount < padlayout::kMaxStills ? stillCount : padlayout::kMaxStills;
    }
};

struct PadEntry {
    std::int32_t used = 0;
    std::int32_t kindCode = 0;
    std::optional<MovieRecord> movie;  // present exactly when loaded or set as a movie pad
    std::optional<StillRecord> stills; // present exactly when loaded or set as a still image pad

    PadKind Kind() const {
        if (used == padlayout::kUsed && kindCode == padlayout::kKindMovie) {
            return PadKindMovie;
        }
        if (used == padlayout::kUsed && kindCode == padlayout::kKindStill) {
            return PadKindStill;
        }
        return PadKindEmpty;
    }
};

// A movie pad or a still image pad holding a copy of the record (every other field as a fresh pad's).
PadEntry MoviePad(const MovieRecord& record);
PadEntry StillPad(const StillRecord& record);

// The names of the files a pad's record names, in its order: the movie, or the pictures, then the
// sound; empty names left out.
std::vector<std::string> FileNamesOf(const PadEntry& entry);

} // namespace k72
