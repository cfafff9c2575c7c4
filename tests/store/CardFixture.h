#pragma once
// Cards made by the tests: a root folder with DCIM/000KAVLO and a pad file of chosen bytes, and the
// byte-level helpers the pad file tests compare with.

#include "store/CardHistory.h"
#include "tests/support/TestSupport.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace k72test {

constexpr std::size_t kPadFileBytes = 1178496;
constexpr std::size_t kBankBytes = 196416;
constexpr std::size_t kRecordBytes = 1364;

// The undo history's own file and folder in the card folder, which listings of the card's files leave out.
inline bool IsUndoHistory(const std::string& name) {
    return name == k72::CardHistory::kFileName || name == k72::CardHistory::kTrashFolder;
}

inline std::size_t RecordAt(int bank, int number, int pad) {
    return static_cast<std::size_t>(bank) * kBankBytes +
           static_cast<std::size_t>(number * 12 + pad) * kRecordBytes;
}

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

inline void PutLE32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

inline std::uint32_t GetLE32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

// Writes text into a 13-byte name field at `at`, zero-padded.
inline void PutName(std::vector<std::uint8_t>& bytes, std::size_t at, const std::string& text) {
    std::memset(bytes.data() + at, 0, 13);
    std::memcpy(bytes.data() + at, text.data(), text.size() < 13 ? text.size() : 13);
}

// Marks the twelve pads of one number empty (the rest of each record keeps its bytes).
inline void EmptyNumber(std::vector<std::uint8_t>& bytes, int bank, int number) {
    for (int pad = 0; pad < 12; ++pad) {
        PutLE32(bytes, RecordAt(bank, number, pad), 0);
    }
}

// A still image pad at `at` naming the given pictures (the other 100 name fields cleared) and a sound.
inline void PutStillPad(std::vector<std::uint8_t>& bytes, std::size_t at,
                        const std::vector<std::string>& pictures, const std::string& audio = "") {
    PutLE32(bytes, at, 1);
    PutLE32(bytes, at + 4, 1);
    for (std::size_t i = 0; i < 100; ++i) {
        PutName(bytes, at + 8 + 13 * i, i < pictures.size() ? pictures[i] : "");
    }
    PutLE32(bytes, at + 1308, static_cast<std::uint32_t>(pictures.size()));
    PutName(bytes, at + 1312, audio);
}

// A movie pad at `at`: the movie's name and, when it has one, its sound's.
inline void PutMoviePad(std::vector<std::uint8_t>& bytes, std::size_t at, const std::string& movie,
                        const std::string& audio = "") {
    PutLE32(bytes, at, 1);
    PutLE32(bytes, at + 4, 0);
    PutName(bytes, at + 8, movie);
    PutName(bytes, at + 36, audio);
}

// Bank A, number 1: pads 0 … 4 empty, pad 5 a still pad with two pictures that are on the card; the
// other bytes random from `seed`.
inline std::vector<std::uint8_t> StillPadCardBytes(std::uint32_t seed) {
    auto bytes = RandomBytes(kPadFileBytes, seed);
    EmptyNumber(bytes, 0, 0);
    PutStillPad(bytes, RecordAt(0, 0, 5), {"K72_0001.JPG", "K72_0002.JPG"});
    return bytes;
}

inline std::string GetName(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    std::string text;
    for (std::size_t i = 0; i < 13 && bytes[at + i] != 0; ++i) {
        text += static_cast<char>(bytes[at + i]);
    }
    return text;
}

// A RIFF WAVE file: PCM with the given channels, rate and bits, and `frames` sample frames whose bytes
// start at `fill` (so two sounds of the same length can differ).
inline void MakeWav(const std::filesystem::path& path, std::uint16_t channels = 2, std::uint32_t rate = 44100,
                    std::uint16_t bits = 16, std::uint32_t frames = 441, std::uint8_t fill = 0) {
    const std::uint32_t align = channels * (bits / 8u);
    const std::uint32_t dataBytes = frames * align;
    std::vector<std::uint8_t> bytes(44 + dataBytes, 0);
    std::memcpy(bytes.data(), "RIFF", 4);
    PutLE32(bytes, 4, 36 + dataBytes);
    std::memcpy(bytes.data() + 8, "WAVEfmt ", 8);
    PutLE32(bytes, 16, 16);
    bytes[20] = 1;
    bytes[22] = static_cast<std::uint8_t>(channels);
    PutLE32(bytes, 24, rate);
    PutLE32(bytes, 28, rate * align);
    bytes[32] = static_cast<std::uint8_t>(align);
    bytes[34] = static_cast<std::uint8_t>(bits);
    std::memcpy(bytes.data() + 36, "data", 4);
    PutLE32(bytes, 40, dataBytes);
    for (std::uint32_t i = 0; i < dataBytes; ++i) {
        bytes[44 + i] = static_cast<std::uint8_t>(fill + i);
    }
    WriteFileBytes(path, bytes);
}

// The head of a movie as the device plays it: an MJPEG AVI of 640 x 480 with `frames` pictures, its
// headers in the first 500 bytes and the "movi" list at 500 (what a file needs to be recorded where it
// lies on the card; the pictures themselves are left out).
inline std::vector<std::uint8_t> DeviceMovieBytes(std::uint32_t frames = 300) {
    std::vector<std::uint8_t> bytes(520, 0);
    const auto tag = [&bytes](std::size_t at, const char* text) { std::memcpy(bytes.data() + at, text, 4); };
    tag(0, "RIFF");
    PutLE32(bytes, 4, static_cast<std::uint32_t>(bytes.size() - 8));
    tag(8, "AVI ");
    tag(12, "LIST");
    PutLE32(bytes, 16, 476);
    tag(20, "hdrl");
    tag(24, "avih");
    PutLE32(bytes, 28, 56);
    PutLE32(bytes, 32, 33367); // 29.97 frames per second
    PutLE32(bytes, 48, frames);
    PutLE32(bytes, 64, 640);
    PutLE32(bytes, 68, 480);
    tag(88, "LIST");
    tag(96, "strl");
    tag(100, "strh");
    tag(108, "vids");
    tag(112, "MJPG");
    tag(500, "LIST");
    PutLE32(bytes, 504, 12);
    tag(508, "movi");
    return bytes;
}

// The head of a picture as the device shows it: a JPEG of 640 x 480 that begins with its EXIF block.
inline std::vector<std::uint8_t> DevicePictureBytes() {
    std::vector<std::uint8_t> bytes = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f', 0, 0};
    bytes.resize(4 + 0x10, 0);
    const std::vector<std::uint8_t> frame = {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x01, 0xE0, 0x02, 0x80, 0x03};
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    bytes.resize(bytes.size() + 9, 0);
    bytes.insert(bytes.end(), {0xFF, 0xD9});
    return bytes;
}

// A card under a test folder: root/DCIM/000KAVLO/K72_PAD.SYS.
struct TestCard {
    std::filesystem::path root;
    std::filesystem::path folder;
    std::filesystem::path padFile;

    TestCard(const std::filesystem::path& base, const std::vector<std::uint8_t>& padBytes) {
        root = base / "card";
        folder = root / "DCIM" / "000KAVLO";
        padFile = folder / "K72_PAD.SYS";
        std::filesystem::create_directories(folder);
        WriteFileBytes(padFile, padBytes);
    }
    std::vector<std::uint8_t> PadBytes() const { return ReadFileBytes(padFile); }
    void AddFile(const std::string& name, const std::string& content = "x") const {
        WriteFileBytes(folder / name, std::vector<std::uint8_t>(content.begin(), content.end()));
    }
    // A file the device plays as it is: a movie for a name ending in .AVI, else a picture.
    void AddDeviceFile(const std::string& name) const {
        const bool movie = name.size() > 4 && name.substr(name.size() - 4) == ".AVI";
        WriteFileBytes(folder / name, movie ? DeviceMovieBytes() : DevicePictureBytes());
    }
};

} // namespace k72test
