#include "engine/ResultCodeText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using k72::MakeResultCode;
using k72::ResultCodeText;

namespace {

std::string Line(std::uint32_t code) {
    return ResultCodeText(MakeResultCode(code));
}

} // namespace

TEST(ResultCodeText, NamedCodesCarryTheirOwnText) {
    EXPECT_EQ(Line(0x80000015), "Incorrect frame rate :80000015\n");
    EXPECT_EQ(Line(0x80000002), "Encode failed :80000002\n");
    EXPECT_EQ(Line(0x80000006), "Could not Find Stream :80000006\n");
    EXPECT_EQ(Line(0x8000000D), "Could not Open LogFile :8000000D\n");
    EXPECT_EQ(Line(0x8000000E), "Could not Read LogFile :8000000E\n");
    EXPECT_EQ(Line(0x8000000F), "Could not Allocate LogBuffer :8000000F\n");
    EXPECT_EQ(Line(0x80000010), "Output file is Unsupported codec :80000010\n");
    EXPECT_EQ(Line(0x80000012), "Input file is Unsupported codec :80000012\n");
    EXPECT_EQ(Line(0x80000014), "Unknown Format :80000014\n");
    EXPECT_EQ(Line(0x8000001F), "Unknown codec :8000001F\n");
    EXPECT_EQ(Line(0x80000020), "Unknown codec :80000020\n");
    EXPECT_EQ(Line(0x80000021), "Could not Open Input file :80000021\n");
    EXPECT_EQ(Line(0x80000027), "Output file is not Specified :80000027\n");
    EXPECT_EQ(Line(0x80000028), "Output file Type is Unknown :80000028\n");
    EXPECT_EQ(Line(0x8000002B), "File is existing already :8000002B\n");
    EXPECT_EQ(Line(0x8000002C), "Couldn't Open File :8000002C\n");
    EXPECT_EQ(Line(0x80000037), "File Size is Over Limit :80000037\n");
    EXPECT_EQ(Line(0x80000100), "Now Converting :80000100\n");
    EXPECT_EQ(Line(0x80000101), "Creating Temp File Failed :80000101\n");
    EXPECT_EQ(Line(0x80000102), "File Migration Failed :80000102\n");
    EXPECT_EQ(Line(0x80000103), "DiscSpace is insufficient :80000103\n");
    EXPECT_EQ(Line(0x80000105), "Invalid Path :80000105\n");
}

TEST(ResultCodeText, GroupsCoverTheirWholeRanges) {
    for (std::uint32_t code = 1; code <= 5; ++code) {
        EXPECT_EQ(Line(code), "SUCCEEDED :0000000" + std::to_string(code) + "\n");
    }
    for (std::uint32_t code : {0x80000180u, 0x80000181u}) {
        EXPECT_EQ(Line(code).substr(0, 36), "Getting Num of Total Frame Failed :8") << std::hex << code;
    }
    for (std::uint32_t code = 0x80000200; code <= 0x80000205; ++code) {
        EXPECT_EQ(Line(code).substr(0, 12), "JPEG_ERROR :") << std::hex << code;
    }
    // 0x80000309 is never produced but lies inside the range, so it keeps the range's text.
    for (std::uint32_t code = 0x80000300; code <= 0x8000030A; ++code) {
        EXPECT_EQ(Line(code).substr(0, 18), "Invalid PCM File :") << std::hex << code;
    }
    EXPECT_EQ(Line(0x8000030A), "Invalid PCM File :8000030A\n");

    const std::vector<std::uint32_t> errors = {
        0x80000001, 0x80000003, 0x80000004, 0x80000005, 0x80000007, 0x80000008, 0x80000009,
        0x8000000B, 0x8000000C, 0x80000011, 0x80000013, 0x80000016, 0x80000017, 0x80000018,
        0x80000019, 0x8000001A, 0x8000001B, 0x8000001C, 0x8000001D, 0x8000001E, 0x80000022,
        0x80000023, 0x80000024, 0x80000025, 0x80000026, 0x80000029, 0x8000002A, 0x8000002D,
        0x8000002E, 0x8000002F, 0x80000030, 0x80000031, 0x80000032};
    for (std::uint32_t code : errors) {
        EXPECT_EQ(Line(code).substr(0, 8), "ERROR :8") << std::hex << code;
    }
}

TEST(ResultCodeText, EveryOtherCodeIsUnknown) {
    // Gaps inside the transcoder's range, the neighbours of every range, and codes from other layers.
    for (std::uint32_t code : {0x00000000u, 0x00000006u, 0x7FFFFFFFu, 0x80000000u, 0x8000000Au, 0x80000033u,
                               0x80000034u, 0x80000035u, 0x80000036u, 0x80000038u, 0x800000FFu, 0x80000104u,
                               0x80000106u, 0x8000017Fu, 0x80000182u, 0x800001FFu, 0x80000206u, 0x800002FFu,
                               0x8000030Bu, 0x80004005u, 0x800401EAu, 0xFFFFFFFFu}) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "???????????? :%08X\n", code);
        EXPECT_EQ(Line(code), expected) << std::hex << code;
    }
    EXPECT_EQ(Line(0x80000104), "???????????? :80000104\n");
}
