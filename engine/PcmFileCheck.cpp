#include "engine/PcmFileCheck.h"

#include "base/ByteOrder.h"
#include "base/DeviceFormat.h"
#include "engine/ProbeFile.h"
#include "engine/ResultCodeText.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace k72 {

namespace {

constexpr std::size_t kHeaderBytes = 38;

bool Tag(const unsigned char* p, const char (&tag)[5]) {
    return std::memcmp(p, tag, 4) == 0;
}

} // namespace

ResultCode CheckPcmWaveFile(const std::string& path) {
    ProbeFile file;
    if (!file.Open(path)) {
        return rc::PcmOpenFailed;
    }
    const std::uint64_t length = file.Length();
    std::array<unsigned char, kHeaderBytes> header{};
    if (length < kHeaderBytes || !file.ReadAt(0, header.data(), header.size())) {
        return rc::PcmBadRiff;
    }
    const unsigned char* h = header.data();
    if (!Tag(h + 0, "RIFF") || byteorder::LoadLE32(h + 4) > length || !Tag(h + 8, "WAVE") ||
        !Tag(h + 12, "fmt ")) {
        return rc::PcmBadRiff;
    }
    const std::uint64_t fmtSize = byteorder::LoadLE32(h + 16);
    if (fmtSize + 28 > length) {
        return rc::PcmBadFmtSize;
    }
    if (byteorder::LoadLE16(h + 20) != 1) {
        return rc::PcmNotPcm;
    }
    if (byteorder::LoadLE16(h + 22) != 2) {
        return rc::PcmBadChannels;
    }
    if (byteorder::LoadLE32(h + 24) != static_cast<std::uint32_t>(device::kSoundRate)) {
        return rc::PcmBadSampleRate;
    }
    if (byteorder::LoadLE32(h + 28) != device::kSoundBytesPerSecond) {
        return rc::PcmBadByteRate;
    }
    if (byteorder::LoadLE16(h + 32) != 4) {
        return rc::PcmBadBlockAlign;
    }
    if (byteorder::LoadLE16(h + 34) != 16) {
        return rc::PcmBadBitsPerSample;
    }

    // Walk the chunks after fmt to the data chunk. Sizes are taken as stored (no pad byte after an
    // odd size), as the device walks them. Positions are 64-bit: a size near 4 GiB moves past the
    // end of the file instead of wrapping back into it.
    std::uint64_t position = fmtSize + 20;
    bool found = false;
    std::uint32_t dataSize = 0;
    while (position < length - 8) {
        std::array<unsigned char, 8> chunk{};
        if (!file.ReadAt(position, chunk.data(), chunk.size())) {
            break;
        }
        const std::uint32_t size = byteorder::LoadLE32(chunk.data() + 4);
        position += static_cast<std::uint64_t>(size) + 8;
        if (Tag(chunk.data(), "data")) {
            found = true;
            dataSize = size;
            break;
        }
    }
    if (!found || dataSize == 0 || position > length) {
        return rc::PcmNoData;
    }
    return 0;
}

std::string PcmFileProblem(const std::string& path) {
    const ResultCode check = CheckPcmWaveFile(path);
    if (Succeeded(check)) {
        return {};
    }
    ProbeFile file;
    if (!file.Open(path)) {
        return "it cannot be read";
    }
    std::array<unsigned char, kHeaderBytes> header{};
    const std::uint64_t length = file.Length();
    const bool whole = length >= kHeaderBytes && file.ReadAt(0, header.data(), header.size());
    const unsigned char* h = header.data();
    if ((length < 12 || !file.ReadAt(0, header.data(), 12)) || !Tag(h + 0, "RIFF") || !Tag(h + 8, "WAVE")) {
        return "it is not a WAV file";
    }
    // The fields of the format chunk where the device reads them; anything else wrong is said in the
    // words of the rule it breaks.
    std::string problems;
    const auto add = [&problems](const std::string& text) {
        problems += (problems.empty() ? "" : "; ") + text;
    };
    if (whole && Tag(h + 12, "fmt ")) {
        const unsigned format = byteorder::LoadLE16(h + 20);
        const unsigned channels = byteorder::LoadLE16(h + 22);
        const std::uint32_t rate = byteorder::LoadLE32(h + 24);
        const unsigned bits = byteorder::LoadLE16(h + 34);
        // 0xFFFE (extensible) may still hold plain PCM; the device wants the plain form.
        if (format != 1) {
            add("it is compressed or not plain PCM (format " + std::to_string(format) + ")");
        }
        if (channels != 2) {
            add(channels == 1 ? std::string("it is mono, not stereo")
                              : "it has " + std::to_string(channels) + " channels, not 2 (stereo)");
        }
        if (rate != static_cast<std::uint32_t>(device::kSoundRate)) {
            add("it is sampled at " + std::to_string(rate) + " Hz, not 44100 Hz (44.1 kHz)");
        }
        if (bits != 16) {
            add("it has " + std::to_string(bits) + " bits per sample, not 16");
        }
    }
    if (problems.empty()) {
        problems = SoundCheckWords(check);
    }
    return problems;
}

} // namespace k72
