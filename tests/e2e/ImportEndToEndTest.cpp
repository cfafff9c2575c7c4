// Imports with real conversions onto a card folder made by the test: a movie, pictures, a conversion
// that fails and one that is cancelled. The results are checked byte for byte in the pad file and by
// ffprobe on the card.
#include "store/PadCommands.h"

#include "engine/CConversionManager.h"
#include "engine/ConversionProgressModel.h"
#include "store/StoreMessages.h"
#include "tests/store/CardFixture.h"
#include "tests/store/StoreFakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace k72 {
namespace {

using namespace k72test;

// The progress window as the terminal runs it, recording the bar; optionally the user presses Cancel
// at the first tick.
class PollingProgress : public IConversionProgress {
public:
    ConversionOutcome Run(CConversionManager& manager) override {
        ConversionProgressModel model;
        model.Start();
        bool first = true;
        while (!model.Closed()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (first && cancel) {
                model.Cancel(&manager);
            }
            first = false;
            model.Poll(&manager);
            bar.push_back(model.BarPosition());
        }
        return model.Outcome();
    }
    bool cancel = false;
    std::vector<int> bar;
};

// The card folder's names, the undo history's left out.
std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!IsUndoHistory(entry.path().filename().string())) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Probe(const std::filesystem::path& file, const std::string& entries) {
    return RunCommand("ffprobe -v error -show_entries " + entries + " -of default=nw=1 " + Quote(file))
        .output;
}

class ImportEndToEnd : public OpenCardTest {
protected:
    void SetUp() override {
        if (!HaveProgram("ffmpeg") || !HaveProgram("ffprobe")) {
            GTEST_SKIP() << "ffmpeg and ffprobe make and check the media";
        }
        padBefore = RandomBytes(kPadFileBytes, 9);
        EmptyNumber(padBefore, 0, 0);
        ASSERT_NO_FATAL_FAILURE(OpenCard(padBefore, {"K72_0007.AVI", "K72_0012.JPG"}));
        card->AddDeviceFile("K72_0012.JPG"); // recorded where it lies
        ASSERT_EQ(store.LastFileNumber(), 12u);
    }

    std::vector<std::uint8_t> padBefore;
    PlainFileCopy copy;
    PollingProgress progress;
    PadCommands commands{store, &copy, &progress};
};

TEST_F(ImportEndToEnd, MovieBecomesTheNextNumberedAviOnThePad) {
    const auto source = dir / "clip.mp4";
    ASSERT_TRUE(MakeMedia(source, "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 "
                                  "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 "
                                  "-c:v mpeg4 -c:a aac -shortest"));
    ASSERT_TRUE(messages(commands.Import({0, PadKindMovie, {source}})));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(progress.bar.back(), 100);
    EXPECT_EQ(store.LastFileNumber(), 13u);
    EXPECT_TRUE(std::filesystem::is_empty(temporary)) << "the temporary file is deleted";

    const auto movie = card->folder / "K72_0013.AVI";
    ASSERT_TRUE(std::filesystem::exists(movie));
    EXPECT_NE(Probe(movie, "stream=codec_name,width,height").find("codec_name=mjpeg\nwidth=640\nheight=480"),
              std::string::npos);
    EXPECT_NE(Probe(movie, "stream=codec_name,sample_rate,channels")
                  .find("codec_name=pcm_s16le\nsample_rate=44100\nchannels=2"),
              std::string::npos);

    // The record as the device reads it; the frame count is the one in the AVI's main header.
    const auto avi = ReadFileBytes(movie);
    const std::uint32_t frames = GetLE32(avi, 48);
    EXPECT_GE(frames, 28u);
    EXPECT_LE(frames, 31u);
    const auto bytes = card->PadBytes();
    EXPECT_EQ(GetLE32(bytes, 0), 1u);
    EXPECT_EQ(GetLE32(bytes, 4), 0u);
    EXPECT_EQ(GetName(bytes, 8), "K72_0013.AVI");
    EXPECT_EQ(bytes[20], 0);
    EXPECT_EQ(GetLE32(bytes, 32), frames);
    for (std::size_t i : {24, 28, 36, 40, 44, 52, 56}) {
        EXPECT_EQ(GetLE32(bytes, i), 0u) << i;
    }
    EXPECT_EQ(bytes[48], 0);
    EXPECT_EQ(bytes[60], 0);
    EXPECT_EQ(bytes[61], 4);
    EXPECT_EQ(bytes[64], 1);
    for (std::size_t i : {21, 22, 23, 49, 50, 51, 62, 63, 65, 1363}) {
        EXPECT_EQ(bytes[i], padBefore[i]) << "gap byte " << i;
    }
    EXPECT_TRUE(std::equal(bytes.begin() + kRecordBytes, bytes.end(), padBefore.begin() + kRecordBytes));
}

TEST_F(ImportEndToEnd, PicturesBecomeAStillPad) {
    const auto first = dir / "first.png";
    const auto second = dir / "second.bmp";
    ASSERT_TRUE(MakeMedia(first, "-f lavfi -i testsrc2=size=320x240 -frames:v 1"));
    ASSERT_TRUE(MakeMedia(second, "-f lavfi -i testsrc2=size=800x600 -frames:v 1"));
    ASSERT_TRUE(messages(commands.Import({1, PadKindStill, {first}})));
    EXPECT_EQ(PicturesAfter(messages(commands.Import({1, PadKindStill, {second}, true})), store, 1), 2);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(store.LastFileNumber(), 14u);
    EXPECT_TRUE(std::filesystem::is_empty(temporary));

    for (const char* name : {"K72_0013.JPG", "K72_0014.JPG"}) {
        EXPECT_NE(Probe(card->folder / name, "stream=codec_name,width,height")
                      .find("codec_name=mjpeg\nwidth=640\nheight=480"),
                  std::string::npos)
            << name;
    }
    const auto bytes = card->PadBytes();
    const std::size_t still = RecordAt(0, 0, 1);
    EXPECT_EQ(GetLE32(bytes, still), 1u);
    EXPECT_EQ(GetLE32(bytes, still + 4), 1u);
    EXPECT_EQ(GetName(bytes, still + 8), "K72_0013.JPG");
    EXPECT_EQ(GetName(bytes, still + 21), "K72_0014.JPG");
    EXPECT_EQ(GetLE32(bytes, still + 1308), 2u);
    EXPECT_EQ(bytes[still + 1340], 1) << "the first picture was converted";
    EXPECT_EQ(bytes[still + 1361], 4);
    EXPECT_EQ(progress.bar.size(), 0u) << "pictures convert without the progress window";
}

TEST_F(ImportEndToEnd, FailingConversionLeavesTheCardAsItWas) {
    const auto files = FolderNames(card->folder);
    WriteFileBytes(dir / "broken.png", RandomBytes(4000, 3));
    WriteFileBytes(dir / "broken.mp4", RandomBytes(4000, 4));
    EXPECT_FALSE(messages(commands.Import({0, PadKindStill, {dir / "broken.png"}})));
    EXPECT_FALSE(messages(commands.Import({0, PadKindMovie, {dir / "broken.mp4"}})));
    // A picture's message names its cause on a line after the program's own.
    EXPECT_EQ(messages.shown,
              (std::vector<std::string>{std::string(messages::kLoadFailed) +
                                            "\nThis is not a picture of a kind this converter reads.",
                                        messages::kLoadFailed}));
    EXPECT_EQ(card->PadBytes(), padBefore);

    // A still pad to add to, recorded in place; then a picture that cannot be read.
    ASSERT_TRUE(messages(commands.Import({2, PadKindStill, {card->folder / "K72_0012.JPG"}})));
    const auto padFile = card->PadBytes();
    EXPECT_EQ(
        PicturesAfter(messages(commands.Import({2, PadKindStill, {dir / "broken.png"}, true})), store, 2),
        -1);
    EXPECT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown.back(), messages.shown.front());
    EXPECT_EQ(card->PadBytes(), padFile);
    EXPECT_EQ(FolderNames(card->folder), files);
    EXPECT_EQ(store.LastFileNumber(), 12u);
    EXPECT_TRUE(std::filesystem::is_empty(temporary));
}

TEST_F(ImportEndToEnd, CancelledMovieShowsNothingAndChangesNothing) {
    const auto source = dir / "long.mp4";
    ASSERT_TRUE(MakeMedia(source, "-f lavfi -i testsrc2=size=640x480:rate=30:duration=20 -c:v mpeg4"));
    const auto files = FolderNames(card->folder);
    progress.cancel = true;
    EXPECT_FALSE(messages(commands.Import({0, PadKindMovie, {source}})));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(card->PadBytes(), padBefore);
    EXPECT_EQ(FolderNames(card->folder), files);
    EXPECT_EQ(store.LastFileNumber(), 12u);
    EXPECT_TRUE(std::filesystem::is_empty(temporary));
}

} // namespace
} // namespace k72
