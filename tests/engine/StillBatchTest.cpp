// The picture pool: results independent of the workers and their order, the first failure in the
// batch's order, and a cancel heard between pictures. Also run under ThreadSanitizer.
#include "engine/StillBatch.h"

#include "engine/StillImageConverter.h"
#include "tests/support/StillTestPictures.h"

#include <gtest/gtest.h>

#include <atomic>

namespace k72 {
namespace {

using namespace k72test;
namespace fs = std::filesystem;

class StillBatch : public ::testing::Test {
protected:
    // A mix of decoders, sizes and shapes, in an order where a large picture is followed by small
    // ones, so that a pool finishes them out of order.
    std::vector<fs::path> MakeSources(std::size_t count) {
        std::vector<fs::path> sources;
        for (std::size_t i = 0; i < count; ++i) {
            const int w = 64 + static_cast<int>(i % 4) * 150;
            const int h = 48 + static_cast<int>(i % 3) * 90;
            const RgbPicture picture = MakePicture(w, h, [i](int x, int y) {
                return Rgb{static_cast<std::uint8_t>((x * 7 + static_cast<int>(i) * 31) & 255),
                           static_cast<std::uint8_t>((y * 5 + x / 3) & 255),
                           static_cast<std::uint8_t>((x ^ y) & 255)};
            });
            fs::path path = dir / ("source" + std::to_string(i));
            switch (i % 3) {
            case 0:
                path += ".jpg";
                WriteJpeg(path, picture, JpegKind::Baseline);
                break;
            case 1:
                path += ".png";
                WriteRgbPng(path, picture);
                break;
            default:
                path += ".bmp";
                WriteBmp(path, w, h, BmpLayout{}, [&](int x, int y) { return Packed(picture.At(x, y)); });
                break;
            }
            sources.push_back(path);
        }
        return sources;
    }

    std::vector<StillBatchItem> Items(const std::vector<fs::path>& sources, const std::string& tag) {
        std::vector<StillBatchItem> items;
        for (std::size_t i = 0; i < sources.size(); ++i) {
            items.push_back({sources[i].string(), (dir / (tag + std::to_string(i) + ".JPG")).string()});
        }
        return items;
    }

    TempDir dir;
};

TEST_F(StillBatch, ResultsEqualOneByOneConversionsWhateverTheWorkers) {
    const auto sources = MakeSources(9);
    StillBatchSettings settings;
    settings.quality = 0.3f;
    settings.fit = FitMode::Letterbox;
    // One picture at a time, each with a converter of its own, as a single addition does it.
    std::vector<std::vector<std::uint8_t>> alone;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        StillImageConverter converter;
        converter.SetQuality(settings.quality);
        converter.SetFit(settings.fit);
        const fs::path out = dir / ("alone" + std::to_string(i) + ".JPG");
        ASSERT_EQ(converter.Convert(sources[i].string(), out.string()).code, 0);
        alone.push_back(ReadFileBytes(out));
    }
    for (unsigned workers : {1u, 2u, 4u}) {
        settings.workers = workers;
        const auto items = Items(sources, "pool" + std::to_string(workers) + "-");
        std::size_t lastDone = 0;
        const StillBatchOutcome outcome =
            ConvertStillBatch(items, settings, [&](std::size_t done, std::size_t total) {
                EXPECT_EQ(total, sources.size());
                EXPECT_GE(done, lastDone);
                lastDone = done;
                return true;
            });
        ASSERT_EQ(outcome.result, 0) << workers << " workers";
        EXPECT_FALSE(outcome.cancelled);
        EXPECT_EQ(outcome.converted, sources.size());
        EXPECT_EQ(lastDone, sources.size()) << "the last progress call tells the whole batch done";
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(ReadFileBytes(items[i].destinationPath), alone[i])
                << "picture " << i << ", " << workers << " workers";
        }
    }
}

TEST_F(StillBatch, FirstFailureInTheBatchsOrderIsTold) {
    auto sources = MakeSources(6);
    WriteFileBytes(dir / "broken.png", std::vector<std::uint8_t>(64, 0x55));
    WriteFileBytes(dir / "broken2.png", std::vector<std::uint8_t>(80, 0x33));
    sources[2] = dir / "broken.png";
    sources[4] = dir / "broken2.png";
    StillBatchSettings settings;
    settings.workers = 2;
    const StillBatchOutcome outcome = ConvertStillBatch(Items(sources, "out"), settings);
    EXPECT_TRUE(Failed(outcome.result));
    EXPECT_EQ(outcome.result, rc::JpegDecodeFailed);
    EXPECT_EQ(outcome.failedIndex, 2u);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_FALSE(fs::exists(dir / "out2.JPG"));
}

TEST_F(StillBatch, CancelStopsBeforeTheRestIsStarted) {
    const auto sources = MakeSources(12);
    StillBatchSettings settings;
    settings.workers = 2;
    int calls = 0;
    const StillBatchOutcome outcome =
        ConvertStillBatch(Items(sources, "out"), settings, [&](std::size_t, std::size_t) {
            ++calls;
            return false;
        });
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(Failed(outcome.result));
    EXPECT_LT(outcome.converted, sources.size());
    EXPECT_GE(calls, 1);
    std::size_t written = 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        written += fs::exists(dir / ("out" + std::to_string(i) + ".JPG")) ? 1 : 0;
    }
    EXPECT_EQ(written, outcome.converted);
}

TEST_F(StillBatch, EmptyBatchDoesNothing) {
    const StillBatchOutcome outcome = ConvertStillBatch({}, StillBatchSettings{});
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.converted, 0u);
}

} // namespace
} // namespace k72
