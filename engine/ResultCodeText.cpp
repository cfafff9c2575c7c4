#include "engine/ResultCodeText.h"

#include <array>
#include <cstdio>

namespace k72 {

namespace {

struct CodeRange {
    std::uint32_t first;
    std::uint32_t last;
    std::string_view format;
};

constexpr std::string_view kSucceeded = "SUCCEEDED :%08X\n";
constexpr std::string_view kError = "ERROR :%08X\n";
constexpr std::string_view kUnknown = "???????????? :%08X\n";

// Inclusive ranges; a code in none of them gets kUnknown. Codes the transcoder never gave a text of
// its own (0x8000000A, 0x80000033 ... 0x80000036), the size-limit code of the converter
// (0x80000104), the file error of the re-interleave and the generic failure stay unknown on purpose.
constexpr std::array<CodeRange, 36> kRanges{{
    {0x00000001, 0x00000005, kSucceeded},
    {0x80000001, 0x80000001, kError},
    {0x80000002, 0x80000002, "Encode failed :%08X\n"},
    {0x80000003, 0x80000005, kError},
    {0x80000006, 0x80000006, "Could not Find Stream :%08X\n"},
    {0x80000007, 0x80000009, kError},
    {0x8000000B, 0x8000000C, kError},
    {0x8000000D, 0x8000000D, "Could not Open LogFile :%08X\n"},
    {0x8000000E, 0x8000000E, "Could not Read LogFile :%08X\n"},
    {0x8000000F, 0x8000000F, "Could not Allocate LogBuffer :%08X\n"},
    {0x80000010, 0x80000010, "Output file is Unsupported codec :%08X\n"},
    {0x80000011, 0x80000011, kError},
    {0x80000012, 0x80000012, "Input file is Unsupported codec :%08X\n"},
    {0x80000013, 0x80000013, kError},
    {0x80000014, 0x80000014, "Unknown Format :%08X\n"},
    {0x80000015, 0x80000015, "Incorrect frame rate :%08X\n"},
    {0x80000016, 0x8000001E, kError},
    {0x8000001F, 0x80000020, "Unknown codec :%08X\n"},
    {0x80000021, 0x80000021, "Could not Open Input file :%08X\n"},
    {0x80000022, 0x80000026, kError},
    {0x80000027, 0x80000027, "Output file is not Specified :%08X\n"},
    {0x80000028, 0x80000028, "Output file Type is Unknown :%08X\n"},
    {0x80000029, 0x8000002A, kError},
    {0x8000002B, 0x8000002B, "File is existing already :%08X\n"},
    {0x8000002C, 0x8000002C, "Couldn't Open File :%08X\n"},
    {0x8000002D, 0x80000032, kError},
    {0x80000037, 0x80000037, "File Size is Over Limit :%08X\n"},
    {0x80000100, 0x80000100, "Now Converting :%08X\n"},
    {0x80000101, 0x80000101, "Creating Temp File Failed :%08X\n"},
    {0x80000102, 0x80000102, "File Migration Failed :%08X\n"},
    {0x80000103, 0x80000103, "DiscSpace is insufficient :%08X\n"},
    {0x80000105, 0x80000105, "Invalid Path :%08X\n"},
    {0x80000180, 0x80000181, "Getting Num of Total Frame Failed :%08X\n"},
    {0x80000200, 0x80000205, "JPEG_ERROR :%08X\n"},
    {0x80000300, 0x8000030A, "Invalid PCM File :%08X\n"},
    {0x8007000E, 0x8007000E, "Out of Memory :%08X\n"},
}};

} // namespace

std::string_view ResultCodeFormat(ResultCode code) {
    const auto bits = static_cast<std::uint32_t>(code);
    for (const auto& range : kRanges) {
        if (bits >= range.first && bits <= range.last) {
            return range.format;
        }
    }
    return kUnknown;
}

std::string ResultCodeText(ResultCode code) {
    // Every format holds exactly one %08X; the rest of it is copied as it stands.
    const std::string_view format = ResultCodeFormat(code);
    const auto at = format.find("%08X");
    std::array<char, 9> digits{};
    std::snprintf(digits.data(), digits.size(), "%08X",
                  static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    std::string line;
    line.reserve(format.size() + 4);
    line.append(format.substr(0, at));
    line.append(digits.data(), 8);
    line.append(format.substr(at + 4));
    return line;
}

std::string_view SoundCheckWords(ResultCode code) {
    switch (code) {
    case rc::PcmOpenFailed:
        return "the file cannot be opened";
    case rc::PcmBadRiff:
        return "not a RIFF WAVE file with its format chunk first";
    case rc::PcmBadFmtSize:
        return "the format chunk does not fit in the file";
    case rc::PcmNotPcm:
        return "not uncompressed PCM";
    case rc::PcmBadChannels:
        return "not 2 channels";
    case rc::PcmBadSampleRate:
        return "not 44100 Hz";
    case rc::PcmBadByteRate:
        return "the byte rate is not 176400";
    case rc::PcmBadBlockAlign:
        return "the block alignment is not 4";
    case rc::PcmBadBitsPerSample:
        return "not 16 bits per sample";
    case rc::PcmNoData:
        return "no sound data, or less than the file declares";
    default:
        return "not accepted";
    }
}

} // namespace k72
