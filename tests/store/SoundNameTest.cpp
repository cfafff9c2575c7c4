#include "store/ShortName.h"

#include <gtest/gtest.h>

namespace k72 {
namespace {

TEST(ConvertedSoundName, UpperCaseEightDotThreeFromTheSourceName) {
    EXPECT_EQ(ConvertedSoundName("/music/Birdsong.mp3"), "BIRDSONG.WAV");
    EXPECT_EQ(ConvertedSoundName("/music/kick_01.flac"), "KICK_01.WAV");
    EXPECT_EQ(ConvertedSoundName("/music/Long Sound Name.ogg"), "LONGSO~1.WAV");
    EXPECT_EQ(ConvertedSoundName("/music/take.two.m4a"), "TAKETW~1.WAV");
    EXPECT_EQ(ConvertedSoundName("/music/voice.wav"), "VOICE.WAV");
    EXPECT_EQ(ConvertedSoundName("/music/.mp3"), "MP3~1.WAV"); // a hidden file's whole name is its stem
    // Nothing of the name survives: a plain name, never one without its extension.
    EXPECT_EQ(ConvertedSoundName("/music/"), "SOUND.WAV");
    EXPECT_EQ(ConvertedSoundName("/music/\xc3\xa9\xc3\xa9.mp3"),
              "____~1.WAV"); // each byte of a letter FAT cannot hold is one "_"
}

} // namespace
} // namespace k72
