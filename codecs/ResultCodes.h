#pragma once
// Result codes shared by every conversion step. A result code is a signed 32-bit value: 0 and 1 … 5
// mean success, a negative value failure. The diagnostic line of each code is made by the engine
// (engine/ResultCodeText.h).

#include <cstdint>

namespace k72 {

using ResultCode = std::int32_t;

constexpr ResultCode MakeResultCode(std::uint32_t bits) {
    return static_cast<ResultCode>(bits);
}
constexpr bool Succeeded(ResultCode code) {
    return code >= 0;
}
constexpr bool Failed(ResultCode code) {
    return code < 0;
}

namespace rc {
// From the movie transcoder (codes below 0x80000100).
constexpr ResultCode Error = MakeResultCode(0x80000001);
constexpr ResultCode EncodeFailed = MakeResultCode(0x80000002);
constexpr ResultCode StreamNotFound = MakeResultCode(0x80000006);
constexpr ResultCode OutputCodecUnsupported = MakeResultCode(0x80000010);
constexpr ResultCode InputCodecUnsupported = MakeResultCode(0x80000012);
constexpr ResultCode UnknownFormat = MakeResultCode(0x80000014);
constexpr ResultCode IncorrectFrameRate = MakeResultCode(0x80000015);
constexpr ResultCode UnknownCodec = MakeResultCode(0x8000001F);
constexpr ResultCode CannotOpenInput = MakeResultCode(0x80000021);
constexpr ResultCode OutputNotSpecified = MakeResultCode(0x80000027);
constexpr ResultCode OutputTypeUnknown = MakeResultCode(0x80000028);
constexpr ResultCode FileExists = MakeResultCode(0x8000002B);
constexpr ResultCode CannotOpenFile = MakeResultCode(0x8000002C);
constexpr ResultCode FileSizeOverLimit = MakeResultCode(0x80000037);
// From the movie converter.
constexpr ResultCode ConverterBusy = MakeResultCode(0x80000100);
constexpr ResultCode TempFileFailed = MakeResultCode(0x80000101);
constexpr ResultCode MigrationFailed = MakeResultCode(0x80000102);
constexpr ResultCode DiscSpaceInsufficient = MakeResultCode(0x80000103);
constexpr ResultCode ConvertedFileTooLarge = MakeResultCode(0x80000104);
constexpr ResultCode InvalidPath = MakeResultCode(0x80000105);
// From the AVI probe.
constexpr ResultCode AviOpenFailed = MakeResultCode(0x80000180);
constexpr ResultCode AviInvalidHeader = MakeResultCode(0x80000181);
// From the still image converter.
constexpr ResultCode JpegDecodeFailed = MakeResultCode(0x80000200);
constexpr ResultCode JpegUnsupportedLayout = MakeResultCode(0x80000201);
constexpr ResultCode JpegEncoderInitFailed = MakeResultCode(0x80000202);
constexpr ResultCode JpegTransformFailed = MakeResultCode(0x80000203);
constexpr ResultCode JpegEncodeFailed = MakeResultCode(0x80000204);
constexpr ResultCode JpegImageObjectFailed = MakeResultCode(0x80000205);
// From the WAV check (0x80000301 … 0x8000030A are the individual header rules).
constexpr ResultCode PcmOpenFailed = MakeResultCode(0x80000300);
constexpr ResultCode PcmBadRiff = MakeResultCode(0x80000301);
constexpr ResultCode PcmBadFmtSize = MakeResultCode(0x80000302);
constexpr ResultCode PcmNotPcm = MakeResultCode(0x80000303);
constexpr ResultCode PcmBadChannels = MakeResultCode(0x80000304);
constexpr ResultCode PcmBadSampleRate = MakeResultCode(0x80000305);
constexpr ResultCode PcmBadByteRate = MakeResultCode(0x80000306);
constexpr ResultCode PcmBadBlockAlign = MakeResultCode(0x80000307);
constexpr ResultCode PcmBadBitsPerSample = MakeResultCode(0x80000308);
constexpr ResultCode PcmNoData = MakeResultCode(0x8000030A);
// A file error during the re-interleave.
constexpr ResultCode FileError = MakeResultCode(0x800401EA);
// Generic failure.
constexpr ResultCode Fail = MakeResultCode(0x80004005);
// Not enough memory for the work (the system's own code for it).
constexpr ResultCode OutOfMemory = MakeResultCode(0x8007000E);
} // namespace rc

} // namespace k72
