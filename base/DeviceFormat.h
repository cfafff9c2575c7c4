#pragma once
// The K-72's formats and numbers: what it plays, in one place. Every other file takes them from here.
// They are the device's, not ours to tune: a picture of another size or a sound of another rate is a
// pad that will not play.

#include <cstddef>
#include <cstdint>

namespace k72::device {

// Pictures and movie frames: 640 x 480, and a 160 x 120 thumbnail in each picture file's EXIF block.
inline constexpr int kPictureWidth = 640;
inline constexpr int kPictureHeight = 480;
inline constexpr int kThumbnailWidth = 160;
inline constexpr int kThumbnailHeight = 120;

// Sound, in a movie and in a pad's WAV file: PCM, 2 channels, 44,100 Hz, 16 bits.
inline constexpr int kSoundRate = 44100;
inline constexpr int kSoundChannels = 2;
inline constexpr int kSoundBits = 16;
inline constexpr int kSoundBlockAlign = kSoundChannels * kSoundBits / 8;             // 4
inline constexpr std::uint32_t kSoundBytesPerSecond = kSoundRate * kSoundBlockAlign; // 176,400

// Movies: 29.97 (30000/1001, "ntsc") or 25 ("pal") frames a second, each movie file below 2,097,152,000
// bytes (2000 MiB), video chunks aligned to 512 bytes.
inline constexpr int kNtscRateNumerator = 30000;
inline constexpr int kNtscRateDenominator = 1001;
inline constexpr int kPalRate = 25;
inline constexpr std::uint64_t kMaxMovieFileSize = 2000ull * 1048576ull; // 0x7D000000
inline constexpr std::uint32_t kChunkAlignment = 512;

// The card: file numbers K72_0001 ... K72_9999, at most 100 pictures on a still image pad.
inline constexpr std::uint32_t kHighestFileNumber = 9999;
inline constexpr std::size_t kMaxStillsPerPad = 100;

} // namespace k72::device
