// Filling a number in the desktop program: a folder dropped on a pad fills the number from there in the
// background, the user changes numbers while it runs, a job is cancelled from the queue panel, and the
// grid is right at the end. With K72_FILL_SHOTS set, pictures of the window and the panel go there.
#include "ui/FillQueue.h"
#include "ScriptedView.h"
#include "UiTestSupport.h"
#include "app/CConvertToolApp.h"
#include "app/CMainFrame.h"
#include "engine/ConversionQueue.h"
#include "store/CPadBankStore.h"
#include "ui/CConvertToolView.h"
#include "ui/CPadView.h"
#include "ui/FillFeature.h"
#include "ui/PadQueueOverlay.h"
#include "ui/QueuePanel.h"

#include <QComboBox>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>

using namespace k72;
using namespace k72test;
namespace fs = std::filesystem;

namespace {

void Shot(QWidget& widget, const char* name) {
    const QString folder = qEnvironmentVariable("K72_FILL_SHOTS");
    if (!folder.isEmpty()) {
        widget.grab().save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
    }
}

void DropFolder(CPadView& grid, int pad, const fs::path& folder) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.string()))});
    const QPoint at = CPadView::PadRect(pad).center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&grid, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&grid, &drop);
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QTest::qWait(50);
    }
    return true;
}

} // namespace

TEST(FillQueueWindow, AFolderDroppedFillsInTheBackground) {
    TempDir dir;
    TestCard card(dir.Path(), std::vector<std::uint8_t>(kPadFileBytes, 0));
    const fs::path set = dir / "set";
    fs::create_directories(set / "stills");
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4", "d.mp4"}) {
        ASSERT_TRUE(MakeMedia(set / name, "-f lavfi -i testsrc2=size=320x240:rate=30:duration=2 -c:v mpeg4"));
    }
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(MakeMedia(set / "stills" / ("p" + std::to_string(i) + ".png"),
                              "-f lavfi -i testsrc2=size=64x48 -frames:v 1"));
    }

    CConvertToolApp app;
    CMainFrame& frame = app.CreateMainWindow(QString());
    frame.show();
    CConvertToolView& view = *frame.View();
    view.OpenCard(QString::fromStdString(card.root.string()));
    ASSERT_TRUE(view.GridReady());
    ASSERT_NE(frame.Fill(), nullptr);
    FillFeature& fill = *frame.Fill();
    EXPECT_EQ(fill.FillAction()->text(), QString::fromUtf8("Fill Number from Folder\u2026"));

    // Dropped on pad 3: pads 3 … 7 of A-1 wait; the panel lists a job per movie and per picture.
    DropFolder(*view.PadView(), 2, set);
    ASSERT_TRUE(fill.Panel()->isVisible());
    EXPECT_EQ(fill.Fills().Queue().Jobs().size(), 4u + 3u);
    EXPECT_FALSE(fill.Overlay()->PadText(2).isEmpty());
    EXPECT_TRUE(fill.Overlay()->PadText(1).isEmpty());
    Shot(frame, "1-dropped");
    Shot(*fill.Panel(), "1-panel");

    // Another number while it runs: nothing of it waits.
    Choose(view.NumberList(), 1);
    EXPECT_TRUE(fill.Overlay()->PadText(2).isEmpty());

    // The last movie cancelled from the panel while it still waits.
    QTableWidget& table = *fill.Panel()->Table();
    int row = -1;
    for (int r = 0; r < table.rowCount(); ++r) {
        if (table.item(r, 0)->text() == "d.mp4") {
            row = r;
        }
    }
    ASSERT_GE(row, 0);
    table.selectRow(row);
    fill.Panel()->Refresh();
    ASSERT_TRUE(fill.Panel()->CancelButton()->isEnabled());
    fill.Panel()->CancelButton()->click();
    EXPECT_TRUE(table.item(row, 2)->text().startsWith("cancelled"))
        << table.item(row, 2)->text().toStdString();
    EXPECT_TRUE(fill.Panel()->RetryButton()->isEnabled());

    ASSERT_TRUE(WaitFor([&] { return !fill.Fills().Busy(); }, 120));
    fill.Panel()->Refresh();
    Shot(*fill.Panel(), "2-panel-done");
    Choose(view.NumberList(), 0);
    Shot(frame, "2-grid-done");

    // Pads 3, 4, 5 hold the movies a … c, pad 6 the pictures; d's pad stays empty.
    CPadBankStore& store = app.Store();
    EXPECT_EQ(store.PadKindOf(2), PadKindMovie);
    EXPECT_EQ(store.PadKindOf(3), PadKindMovie);
    EXPECT_EQ(store.PadKindOf(4), PadKindMovie);
    EXPECT_EQ(store.PadKindOf(5), PadKindEmpty);
    ASSERT_EQ(store.PadKindOf(6), PadKindStill);
    EXPECT_EQ(store.Entry(6)->stills->stillCount, 3u);
    EXPECT_TRUE(fill.Overlay()->PadText(5).isEmpty());
    EXPECT_TRUE(fill.MayClose());
    frame.close();
}
