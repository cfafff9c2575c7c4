#include "engine/CAviProbe.h"

#include "base/ByteOrder.h"
#include "engine/ProbeFile.h"

#include <array>
#include <cstring>

namespace k72 {

namespace {

// The converted file's headers begin with RIFF/"AVI ", then LIST/"hdrl" and the 56-byte main header
// ("avih"); everything the probe needs lies in the first 496 bytes.
constexpr std::size_t kHeaderBytes = 496;
constexpr std::uint32_t kMainHeaderSize = 56;

bool Tag(const unsigned char* p, const char (&tag)[5]) {
    return std::memcmp(p, tag, 4) == 0;
}

} // namespace

ResultCode CAviProbe::Probe(const std::string& path) {
    if (remembered_ && path == probedPath_) {
        return 0;
    }
    Forget();
    const ResultCode result = ReadHeader(path);
    if (Succeeded(result)) {
        probedPath_ = path;
        remembered_ = true;
    }
    return result;
}

void CAviProbe::Forget() {
    probedPath_.clear();
    remembered_ = false;
    probedFrames_ = 0;
    probedFrameRate_ = 0.0;
}

ResultCode CAviProbe::ReadHeader(const std::string& path) {
    ProbeFile file;
    if (!file.Open(path)) {
        return rc::AviOpenFailed;
    }
    std::array<unsigned char, kHeaderBytes> header{};
    if (file.Length() < kHeaderBytes || !file.ReadAt(0, header.data(), header.size())) {
        return rc::AviInvalidHeader;
    }
    const unsigned char* h = header.data();
    if (!Tag(h + 0, "RIFF") || !Tag(h + 8, "AVI ") || !Tag(h + 12, "LIST") || !Tag(h + 20, "hdrl") ||
        byteorder::LoadLE32(h + 28) != kMainHeaderSize) {
        return rc::AviInvalidHeader;
    }
    const std::uint32_t microSecPerFrame = byteorder::LoadLE32(h + 32);
    if (microSecPerFrame == 0) {
        // A rate cannot come from a zero frame duration; no file we write has one.
        return rc::AviInvalidHeader;
    }
    probedFrames_ = byteorder::LoadLE32(h + 48);
    probedFrameRate_ = 1000000.0 / static_cast<double>(microSecPerFrame);
    return 0;
}

} // namespace k72
