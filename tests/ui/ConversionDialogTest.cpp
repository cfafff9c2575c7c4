// The progress window of a movie import: what each tick shows, when and how the window ends.
#include "UiTestSupport.h"
#include "ui/CDialogConversionInfo.h"
#include "ui/DialogUnits.h"

#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <deque>
#include <functional>

using namespace k72;

namespace {

// One tick's readings: pending jobs, result code, progress total, position and phase.
struct Reading {
    std::size_t pending;
    ResultCode result;
    std::uint32_t total;
    std::uint32_t position;
    std::uint32_t state;
};

// The dialog with a scripted conversion in place of a manager: each tick takes the next reading (the
// last one repeats), and Cancel empties the queue as the manager's CancelAll does.
class ScriptedDialog : public CDialogConversionInfo {
public:
    explicit ScriptedDialog(std::deque<Reading> readings) : readings_(std::move(readings)) {}

    int ticks = 0;
    std::vector<std::pair<std::string, int>> shown; // status and bar after each tick
    bool cancelAllCalled = false;
    bool withManager = true;
    std::function<void(int)> afterTick;

protected:
    void Poll() override {
        ++ticks;
        if (withManager) {
            const Reading r = readings_.front();
            if (readings_.size() > 1) {
                readings_.pop_front();
            }
            Model().Tick(cancelAllCalled ? 0 : r.pending, r.result, r.total, r.position, r.state);
        }
        shown.emplace_back(Model().StatusText(), Model().BarPosition());
        if (afterTick) {
            afterTick(ticks);
        }
    }
    void CancelConversion() override {
        if (withManager && Model().Cancel()) {
            cancelAllCalled = true;
        }
    }

private:
    std::deque<Reading> readings_;
};

} // namespace

TEST(CDialogConversionInfo, LayoutAndStart) {
    ScriptedDialog dialog({{1, 0, 100, 0, 0}});
    EXPECT_EQ(dialog.windowTitle(), "K-72 Image Converter");
    EXPECT_EQ(dialog.size(), DluSize(228, 72));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(dialog.ProgressBar()->maximum(), 100);
    EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
    EXPECT_EQ(dialog.StatusLabel()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(dialog.ProgressBar()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(dialog.FinalResult(), rc::Fail);
    EXPECT_FALSE(dialog.Cancelled());
    dialog.show();
    EXPECT_EQ(dialog.StatusLabel()->text(), "startup...");
    EXPECT_EQ(dialog.ProgressBar()->value(), 0);
    dialog.reject();
}

TEST(CDialogConversionInfo, PhasesFillTheBarAndSuccessEndsWithOne) {
    ScriptedDialog dialog(
        {{1, 0, 100, 0, 0}, {1, 0, 100, 37, 1}, {1, 0, 100, 37, 2}, {1, 0, 100, 37, 0}, {0, 2, 0, 0, 0}});
    EXPECT_EQ(dialog.exec(), 1);
    ASSERT_EQ(dialog.shown.size(), 5u);
    EXPECT_EQ(dialog.shown[0], (std::pair<std::string, int>{"suspend...", 0}));
    EXPECT_EQ(dialog.shown[1], (std::pair<std::string, int>{"converting...", 18}));
    EXPECT_EQ(dialog.shown[2], (std::pair<std::string, int>{"interleaving...", 68}));
    EXPECT_EQ(dialog.shown[3], (std::pair<std::string, int>{"suspend...", 68})); // the bar stays
    EXPECT_EQ(dialog.ProgressBar()->value(), 100);
    EXPECT_EQ(dialog.FinalResult(), 2); // a success code other than 0 is kept
    EXPECT_FALSE(dialog.Cancelled());
}

TEST(CDialogConversionInfo, FailureWhileStillPendingEndsAtOnce) {
    const ResultCode failure = MakeResultCode(0x80000180);
    ScriptedDialog dialog({{1, 0, 100, 10, 1}, {1, failure, 100, 20, 1}});
    EXPECT_EQ(dialog.exec(), 2);
    EXPECT_EQ(dialog.ticks, 2);
    EXPECT_EQ(dialog.FinalResult(), failure);
}

TEST(CDialogConversionInfo, CancelEndsAtTheNextTick) {
    const auto cancelAfterFirstTick = [](ScriptedDialog& dialog) {
        dialog.afterTick = [&dialog](int tick) {
            if (tick == 1) {
                QTimer::singleShot(0, dialog.CancelButton(), &QPushButton::click);
            }
        };
    };
    ScriptedDialog dialog({{1, 0, 100, 10, 1}});
    cancelAfterFirstTick(dialog);
    EXPECT_EQ(dialog.exec(), 2);
    EXPECT_TRUE(dialog.cancelAllCalled);
    EXPECT_TRUE(dialog.Cancelled());
    EXPECT_EQ(dialog.FinalResult(), rc::Fail); // even though the converter reported success
    EXPECT_EQ(dialog.ticks, 2);

    // A failure seen at that tick wins over the cancel's own code.
    const ResultCode failure = MakeResultCode(0x80000101);
    ScriptedDialog failing({{1, 0, 100, 10, 1}, {1, failure, 100, 10, 1}});
    cancelAfterFirstTick(failing);
    EXPECT_EQ(failing.exec(), 2);
    EXPECT_EQ(failing.ticks, 2);
    EXPECT_EQ(failing.FinalResult(), failure);
}

TEST(CDialogConversionInfo, WithoutManagerItWaitsForEscape) {
    ScriptedDialog dialog({{1, 0, 100, 0, 1}});
    dialog.withManager = false;
    dialog.afterTick = [&dialog](int tick) {
        if (tick == 3) {
            QTimer::singleShot(0, &dialog, [&dialog] {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&dialog, &escape);
            });
        }
    };
    EXPECT_EQ(dialog.exec(), 2);
    EXPECT_EQ(dialog.ticks, 3);
    EXPECT_EQ(dialog.StatusLabel()->text(), "startup...");
    EXPECT_EQ(dialog.ProgressBar()->value(), 0);
    EXPECT_EQ(dialog.FinalResult(), rc::Fail);
    EXPECT_FALSE(dialog.cancelAllCalled);
}

// Escape and the title bar's close button do what Cancel does, but at once: the queue is emptied,
// the window ends, and the run counts as cancelled (so the import says nothing).
TEST(CDialogConversionInfo, EscapeAndCloseCancelAtOnce) {
    for (const bool escape : {true, false}) {
        ScriptedDialog dialog({{1, 0, 100, 50, 1}});
        dialog.afterTick = [&dialog, escape](int) {
            QTimer::singleShot(0, &dialog, [&dialog, escape] {
                if (escape) {
                    QKeyEvent key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QApplication::sendEvent(&dialog, &key);
                } else {
                    dialog.close();
                }
            });
        };
        EXPECT_EQ(dialog.exec(), 2);
        EXPECT_EQ(dialog.ticks, 1);
        EXPECT_TRUE(dialog.cancelAllCalled);
        EXPECT_TRUE(dialog.Cancelled());
        EXPECT_EQ(dialog.FinalResult(), rc::Fail);
        EXPECT_EQ(dialog.ProgressBar()->value(), 25);
    }
}

TEST(CDialogConversionInfo, StatusLineShowsShareAndTimeLeft) {
    EXPECT_EQ(CDialogConversionInfo::StatusLine("startup...", 0, 5000), "startup...");
    EXPECT_EQ(CDialogConversionInfo::StatusLine("suspend...", 40, 5000), "suspend...");
    EXPECT_EQ(CDialogConversionInfo::StatusLine("converting...", 25, 1000), "converting...  25%");
    EXPECT_EQ(CDialogConversionInfo::StatusLine("converting...", 25, 10000),
              "converting...  25%, about 0:30 left");
    EXPECT_EQ(CDialogConversionInfo::StatusLine("interleaving...", 80, 200000),
              "interleaving...  80%, about 0:50 left");
    EXPECT_EQ(CDialogConversionInfo::StatusLine("converting...", 1, 100000), "converting...  1%");
}
