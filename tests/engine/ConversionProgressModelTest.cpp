#include "engine/ConversionProgressModel.h"

#include <gtest/gtest.h>

using k72::ConversionEnd;
using k72::ConversionProgressModel;
namespace rc = k72::rc;

namespace {

constexpr std::uint32_t kIdle = 0;
constexpr std::uint32_t kConverting = 1;
constexpr std::uint32_t kInterleaving = 2;

ConversionProgressModel Started() {
    ConversionProgressModel model;
    model.Start();
    return model;
}

} // namespace

TEST(ConversionProgressModel, StartsOpenWithGenericFailure) {
    const auto model = Started();
    EXPECT_EQ(model.StatusText(), "startup...");
    EXPECT_EQ(model.BarPosition(), 0);
    EXPECT_FALSE(model.Closed());
    EXPECT_EQ(model.End(), ConversionEnd::Open);
    EXPECT_FALSE(model.Cancelled());
    EXPECT_EQ(model.FinalResult(), rc::Fail);
}

TEST(ConversionProgressModel, PhasesFillTheirHalfOfTheBar) {
    auto model = Started();
    model.Tick(1, 0, 100, 37, kConverting);
    EXPECT_EQ(model.BarPosition(), 18);
    EXPECT_EQ(model.StatusText(), "converting...");
    model.Tick(1, 0, 100, 100, kConverting);
    EXPECT_EQ(model.BarPosition(), 50);

    model.Tick(1, 0, 100, 37, kInterleaving);
    EXPECT_EQ(model.BarPosition(), 68);
    EXPECT_EQ(model.StatusText(), "interleaving...");
    // A phase's own scale: 1500 of 2000 packets interleaved is 37 + 50.
    model.Tick(1, 0, 2000, 1500, kInterleaving);
    EXPECT_EQ(model.BarPosition(), 87);
    EXPECT_FALSE(model.Closed());
}

TEST(ConversionProgressModel, WaitingPhaseKeepsTheBar) {
    auto model = Started();
    model.Tick(1, 0, 100, 37, kConverting);
    model.Tick(1, 0, 0, 0, kIdle);
    EXPECT_EQ(model.StatusText(), "suspend...");
    EXPECT_EQ(model.BarPosition(), 18);

    // A phase the window does not know changes nothing.
    model.Tick(1, 0, 100, 90, 7);
    EXPECT_EQ(model.StatusText(), "suspend...");
    EXPECT_EQ(model.BarPosition(), 18);
    EXPECT_FALSE(model.Closed());
}

TEST(ConversionProgressModel, OddTotalsStayInsideThePhase) {
    auto model = Started();
    // The converter clears the total at the end of a conversion; the phase's base position shows.
    model.Tick(1, 0, 0, 37, kConverting);
    EXPECT_EQ(model.BarPosition(), 0);
    model.Tick(1, 0, 0, 37, kInterleaving);
    EXPECT_EQ(model.BarPosition(), 50);

    // A position read ahead of a total just reset to 100 does not run past the phase.
    model.Tick(1, 0, 100, 5000, kConverting);
    EXPECT_EQ(model.BarPosition(), 50);
    model.Tick(1, 0, 100, 5000, kInterleaving);
    EXPECT_EQ(model.BarPosition(), 100);

    // The product is 32-bit: 50,000,000 x 100 wraps to 705,032,704, which shows 3.
    model.Tick(1, 0, 100000000, 50000000, kConverting);
    EXPECT_EQ(model.BarPosition(), 3);
}

TEST(ConversionProgressModel, FinishedJobClosesCompleted) {
    auto model = Started();
    model.Tick(1, 0, 100, 37, kInterleaving);
    model.Tick(0, 0, 0, 0, kIdle);
    EXPECT_EQ(model.End(), ConversionEnd::Completed);
    EXPECT_EQ(model.BarPosition(), 100);
    EXPECT_EQ(model.FinalResult(), 0);

    auto success2 = Started();
    success2.Tick(0, 2, 0, 0, kIdle);
    EXPECT_EQ(success2.End(), ConversionEnd::Completed);
    EXPECT_EQ(success2.FinalResult(), 2);
    EXPECT_EQ(success2.BarPosition(), 100);
}

TEST(ConversionProgressModel, FailureClosesAtTheFirstTickThatSeesIt) {
    const auto failed = k72::MakeResultCode(0x80000015);
    // Still pending: the worker has not popped the failed job yet.
    auto model = Started();
    model.Tick(1, 0, 100, 20, kConverting);
    model.Tick(1, failed, 100, 30, kConverting);
    EXPECT_EQ(model.End(), ConversionEnd::NotCompleted);
    EXPECT_EQ(model.FinalResult(), failed);
    EXPECT_FALSE(model.Cancelled());

    // Already gone from the queue.
    auto gone = Started();
    gone.Tick(0, rc::DiscSpaceInsufficient, 0, 0, kIdle);
    EXPECT_EQ(gone.End(), ConversionEnd::NotCompleted);
    EXPECT_EQ(gone.FinalResult(), rc::DiscSpaceInsufficient);
    EXPECT_NE(gone.BarPosition(), 100);
}

TEST(ConversionProgressModel, CancelClosesAtTheNextTick) {
    // The converter has not stopped yet but the queue is empty.
    auto model = Started();
    model.Tick(1, 0, 100, 37, kConverting);
    EXPECT_TRUE(model.Cancel());
    EXPECT_TRUE(model.Cancelled());
    EXPECT_FALSE(model.Closed());
    model.Tick(0, 0, 100, 40, kConverting);
    EXPECT_EQ(model.End(), ConversionEnd::NotCompleted);
    EXPECT_EQ(model.FinalResult(), rc::Fail);
    EXPECT_EQ(model.BarPosition(), 18);

    // The converter had already reported success: still a cancel.
    auto succeeded = Started();
    succeeded.Cancel();
    succeeded.Tick(0, 0, 0, 0, kIdle);
    EXPECT_EQ(succeeded.End(), ConversionEnd::NotCompleted);
    EXPECT_EQ(succeeded.FinalResult(), rc::Fail);

    // A failure seen at that tick wins over the cancel's generic code.
    auto failed = Started();
    failed.Cancel();
    failed.Tick(0, rc::MigrationFailed, 0, 0, kIdle);
    EXPECT_EQ(failed.End(), ConversionEnd::NotCompleted);
    EXPECT_EQ(failed.FinalResult(), rc::MigrationFailed);
    EXPECT_TRUE(failed.Cancelled());
}

TEST(ConversionProgressModel, EscapeEndsAtOnceWithTheResultHeld) {
    auto model = Started();
    model.Tick(1, 0, 100, 37, kConverting);
    model.Close();
    EXPECT_EQ(model.End(), ConversionEnd::NotCompleted);
    EXPECT_EQ(model.FinalResult(), rc::Fail);
    EXPECT_FALSE(model.Cancelled());
}

TEST(ConversionProgressModel, NothingChangesOnceClosed) {
    auto model = Started();
    model.Tick(0, 0, 0, 0, kIdle);
    ASSERT_EQ(model.End(), ConversionEnd::Completed);
    // A timer event that was already queued, a late failure, a late Cancel or Escape.
    model.Tick(1, rc::Fail, 100, 10, kConverting);
    EXPECT_FALSE(model.Cancel());
    model.Close();
    EXPECT_EQ(model.End(), ConversionEnd::Completed);
    EXPECT_EQ(model.FinalResult(), 0);
    EXPECT_EQ(model.BarPosition(), 100);
    EXPECT_FALSE(model.Cancelled());
}
