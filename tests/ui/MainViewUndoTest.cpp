// Undo and redo from the keyboard: Ctrl+Z takes back a delete made in the form, with its file, and the
// action says what it would undo.
#include "ScriptedView.h"
#include "UiTestSupport.h"
#include "store/PadCommands.h"

#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

using namespace k72;
using namespace k72test;

namespace {

TEST(MainViewUndo, CtrlZUndoesADeleteWithItsFileAndCtrlShiftZRedoesIt) {
    TempDir dir;
    PadCard card(dir.Path());
    card.PutMovieAndPicture();
    CPadBankStore store;
    PadCommands commands(store);
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    view.show();
    view.activateWindow();
    if (!QTest::qWaitForWindowActive(&view)) {
        GTEST_SKIP() << "the platform gives no window the focus";
    }
    EXPECT_FALSE(view.UndoAction()->isEnabled());
    const auto before = card.card.PadBytes();

    view.deleteAnswer = QMessageBox::Yes;
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    view.DeleteButton()->click();
    ASSERT_EQ(view.PadView()->PadState(5), PadKindEmpty);
    ASSERT_FALSE(std::filesystem::exists(card.card.folder / "K72_0001.AVI"));
    EXPECT_TRUE(view.UndoAction()->isEnabled());
    EXPECT_EQ(view.UndoAction()->text(), "Undo delete of pad A-1-6");

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view.PadView()->PadState(5), PadKindMovie);
    EXPECT_EQ(card.card.PadBytes(), before);
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / "K72_0001.AVI"));
    EXPECT_EQ(view.SelectedPad(), 5);
    EXPECT_FALSE(view.UndoAction()->isEnabled());
    EXPECT_EQ(view.RedoAction()->text(), "Redo delete of pad A-1-6");

    QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view.PadView()->PadState(5), PadKindEmpty);
    EXPECT_FALSE(std::filesystem::exists(card.card.folder / "K72_0001.AVI"));
    EXPECT_TRUE(view.messages.empty());
}

} // namespace
