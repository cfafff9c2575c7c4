// How the main form is reached besides the mouse: files dropped on the pads, the keyboard, the menu's
// card folders, what the pads show of their content, and what a screen reader hears.
#include "CardWindow.h"
#include "ScriptedView.h"
#include "UiTestSupport.h"
#include "app/CConvertToolApp.h"
#include "app/CMainFrame.h"
#include "engine/CConversionManager.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "ui/CPadView.h"
#include "ui/PadContentCache.h"
#include "ui/RememberedPlaces.h"

#include <QAccessible>
#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>

using namespace k72;
using namespace k72test;
namespace fs = std::filesystem;

namespace {

void SavePicture(const fs::path& path, const QColor& colour) {
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(colour);
    ASSERT_TRUE(picture.save(QString::fromStdString(path.string())));
}

// A sound the device plays: PCM, 2 channels, 44100 Hz, 16 bits.
void SaveWav(const fs::path& path, std::uint32_t channels = 2, std::uint32_t rate = 44100) {
    const std::uint32_t dataBytes = 4 * 441;
    std::vector<std::uint8_t> bytes(44 + dataBytes, 0);
    const auto put = [&bytes](std::size_t at, std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    };
    std::memcpy(bytes.data(), "RIFF", 4);
    put(4, 36 + dataBytes, 4);
    std::memcpy(bytes.data() + 8, "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2);
    put(22, channels, 2);
    put(24, rate, 4);
    put(28, rate * channels * 2, 4);
    put(32, channels * 2, 2);
    put(34, 16, 2);
    std::memcpy(bytes.data() + 36, "data", 4);
    put(40, dataBytes, 4);
    WriteFileBytes(path, bytes);
}

// Drags files over a pad of the grid and drops them there, as the window system delivers it.
void DropOnPad(CPadView& grid, int pad, const std::vector<fs::path>& files,
               int* targetWhileDragging = nullptr) {
    QMimeData data;
    QList<QUrl> urls;
    for (const fs::path& file : files) {
        urls << QUrl::fromLocalFile(QString::fromStdString(file.string()));
    }
    data.setUrls(urls);
    const QPoint at = pad >= 0 ? CPadView::PadRect(pad).center() : QPoint(53, 20); // a gap
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&grid, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&grid, &move);
    if (targetWhileDragging != nullptr) {
        *targetWhileDragging = grid.DropTarget();
    }
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&grid, &drop);
}

std::vector<std::string> Stills(const TestCard& card, int pad) {
    const auto bytes = card.PadBytes();
    const std::size_t record = RecordAt(0, 0, pad);
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < GetLE32(bytes, record + 1308) && i < 100; ++i) {
        names.push_back(GetName(bytes, record + 8 + 13 * i));
    }
    return names;
}

class MainViewInput : public CardWithCommands {
protected:
    void SetUp() override { card.PutMovieAndPicture(); }
};

} // namespace

TEST_F(MainViewInput, DroppedFilesGoOntoThePadUnderTheCursor) {
    SavePicture(dir / "a.png", Qt::green);
    SavePicture(dir / "b.jpg", Qt::blue);
    SavePicture(dir / "c.bmp", Qt::yellow);
    SaveWav(dir / "Rain Drops.wav");
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    CPadView& grid = *view.PadView();

    // Two pictures make an empty pad a picture pad, converted in one batch; the pad lights up meanwhile.
    int target = -1;
    DropOnPad(grid, 2, {dir / "a.png", dir / "b.jpg"}, &target);
    EXPECT_EQ(target, 2);
    EXPECT_EQ(grid.DropTarget(), -1);
    EXPECT_EQ(grid.PadState(2), PadKindStill);
    EXPECT_EQ(view.SelectedPad(), 2);
    EXPECT_EQ(Stills(card.card, 2), (std::vector<std::string>{"K72_0003.JPG", "K72_0004.JPG"}));
    // A picture dropped on a picture pad joins it, without a question.
    DropOnPad(grid, 2, {dir / "c.bmp"});
    EXPECT_EQ(Stills(card.card, 2),
              (std::vector<std::string>{"K72_0003.JPG", "K72_0004.JPG", "K72_0005.JPG"}));
    EXPECT_TRUE(view.yesNoTexts.empty());
    // A sound is attached to the pad that holds something.
    DropOnPad(grid, 2, {dir / "Rain Drops.wav"});
    EXPECT_EQ(GetName(card.card.PadBytes(), RecordAt(0, 0, 2) + 1312), "RAINDR~1.WAV");
    // The store's words would be among the form's messages.
    EXPECT_TRUE(view.messages.empty()) << view.messages.front().toStdString();
    EXPECT_TRUE(view.yesNoTexts.empty()) << "a WAV of the device's form is attached without a question";

    // What cannot go on one pad is refused with a message, and nothing changes.
    const auto before = card.card.PadBytes();
    DropOnPad(grid, 3, {dir / "one.mp4", dir / "two.avi"});
    DropOnPad(grid, 3, {dir / "one.mp4", dir / "a.png"});
    DropOnPad(grid, 3, {dir / "Rain Drops.wav"}); // an empty pad takes no sound
    DropOnPad(grid, 3, {dir / "notes.txt"});
    ASSERT_EQ(view.messages.size(), 4u);
    EXPECT_TRUE(view.messages[0].startsWith("Only one movie can go on a pad."));
    EXPECT_TRUE(view.messages[1].startsWith("A pad holds either one movie or pictures, not both."));
    EXPECT_TRUE(view.messages[2].startsWith("Pad 4 is empty. A sound can only be attached"));
    EXPECT_TRUE(view.messages[3].contains("\"notes.txt\" is not a movie, a picture or a sound."));
    // Dropped on the gap between pads: nothing.
    DropOnPad(grid, -1, {dir / "a.png"});
    EXPECT_EQ(view.messages.size(), 4u);
    EXPECT_EQ(card.card.PadBytes(), before);

    // A sound the device cannot play: the question says what is wrong with it; declined, nothing changes.
    SaveWav(dir / "mono.wav", 1, 48000);
    view.yesNoAnswers = {false};
    DropOnPad(grid, 0, {dir / "mono.wav"});
    ASSERT_FALSE(view.yesNoTexts.empty());
    EXPECT_TRUE(
        view.yesNoTexts.back().contains("\"mono.wav\" cannot be used as it is: it is mono, not stereo; it "
                                        "is sampled at 48000 Hz, not 44100 Hz (44.1 kHz)."))
        << view.yesNoTexts.back().toStdString();
    EXPECT_EQ(view.messages.size(), 4u);
    EXPECT_EQ(card.card.PadBytes(), before);
    // Agreed: converted into the device's form and attached under its 8.3 name.
    view.yesNoAnswers = {true};
    DropOnPad(grid, 0, {dir / "mono.wav"});
    EXPECT_EQ(view.messages.size(), 4u);
    EXPECT_EQ(GetName(card.card.PadBytes(), RecordAt(0, 0, 0) + 1312), "MONO.WAV");
    EXPECT_EQ(CConversionManager::CheckPcmFile((card.card.folder / "MONO.WAV").string()), 0);

    // A movie dropped on an empty pad is converted onto it.
    ASSERT_TRUE(MakeMedia(dir / "clip.mov", "-f lavfi -i testsrc2=size=96x64:rate=25 -t 0.5 -c:v mpeg4"));
    DropOnPad(grid, 10, {dir / "clip.mov"});
    EXPECT_EQ(grid.PadState(10), PadKindMovie);
    EXPECT_EQ(GetName(card.card.PadBytes(), RecordAt(0, 0, 10) + 8), "K72_0006.AVI");
    EXPECT_TRUE(grid.HasPicture(10));
    // Each pad tells the names its files were dropped by.
    EXPECT_TRUE(grid.PadDescription(10).startsWith("Pad 11: movie clip.mov (K72_0006.AVI), "))
        << grid.PadDescription(10).toStdString();
    EXPECT_EQ(grid.PadDescription(2),
              "Pad 3: 3 pictures a.png (K72_0003.JPG), b.jpg (K72_0004.JPG), c.bmp (K72_0005.JPG), sound "
              "RAINDR~1.WAV");
    EXPECT_EQ(view.messages.size(), 4u);

    // Pictures dropped on the movie pad replace it only after the question.
    const auto withMovie = card.card.PadBytes();
    view.yesNoAnswers = {false};
    DropOnPad(grid, 5, {dir / "a.png"});
    EXPECT_EQ(view.yesNoTexts.back(), "Pad 6 holds the movie K72_0001.AVI. Replace it?");
    EXPECT_EQ(grid.PadState(5), PadKindMovie);
    EXPECT_EQ(card.card.PadBytes(), withMovie);
}

TEST_F(MainViewInput, SeveralPicturesFromTheImportWindowConvertInOneBatch) {
    for (int i = 0; i < 4; ++i) {
        SavePicture(dir / ("p" + std::to_string(i) + ".png"), QColor(40 * i, 100, 200));
    }
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    Click(view, PadPoint(7).x(), PadPoint(7).y());
    for (int i = 0; i < 4; ++i) {
        view.importAnswer << QString::fromStdString((dir / ("p" + std::to_string(i) + ".png")).string());
    }
    // Cancel in the batch's progress window as soon as it shows (a cancel after the last picture is
    // done comes too late to undo anything): the pad stays as it was.
    int seen = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<QProgressDialog*>(widget);
            if (progress != nullptr && progress->isVisible() && !progress->wasCanceled()) {
                ++seen;
                progress->cancel();
            }
        }
    });
    watcher.start(1);
    view.ImportButton()->click();
    watcher.stop();
    EXPECT_EQ(seen, 1);
    EXPECT_TRUE(Stills(card.card, 7).empty()) << "a cancelled batch records nothing";
    EXPECT_EQ(view.PadView()->PadState(7), PadKindEmpty);
    // Without Cancel the four pictures land in the order they were picked.
    view.ImportButton()->click();
    const auto stills = Stills(card.card, 7);
    ASSERT_EQ(stills.size(), 4u);
    EXPECT_TRUE(std::is_sorted(stills.begin(), stills.end()));
    EXPECT_EQ(view.PadView()->PadState(7), PadKindStill);
    // A movie among several files is refused.
    view.importAnswer = {QString::fromStdString((dir / "p0.png").string()), "/x/clip.mp4"};
    view.ImportButton()->click();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.messages[0].startsWith("A pad holds one movie, or pictures"));
}

TEST_F(MainViewInput, TheKeyboardMovesTheSelectionAndRunsTheCommands) {
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    CPadView* grid = view.PadView();
    EXPECT_EQ(grid->focusPolicy(), Qt::StrongFocus);
    const auto press = [grid](Qt::Key key) { QTest::keyClick(grid, key); };
    press(Qt::Key_Right); // nothing selected: the top left pad
    EXPECT_EQ(view.SelectedPad(), 8);
    press(Qt::Key_Right);
    EXPECT_EQ(view.SelectedPad(), 9);
    press(Qt::Key_Down);
    EXPECT_EQ(view.SelectedPad(), 5);
    press(Qt::Key_Down);
    EXPECT_EQ(view.SelectedPad(), 1);
    press(Qt::Key_Down); // the bottom row stays
    EXPECT_EQ(view.SelectedPad(), 1);
    press(Qt::Key_Left);
    press(Qt::Key_Left);
    EXPECT_EQ(view.SelectedPad(), 0);
    EXPECT_EQ(grid->Selection(), 0);
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    press(Qt::Key_Up);
    EXPECT_EQ(view.SelectedPad(), 8);
    press(Qt::Key_Down);
    press(Qt::Key_Right);
    EXPECT_EQ(view.SelectedPad(), 5);
    press(Qt::Key_Return);
    EXPECT_EQ(view.movieInformation, std::vector<int>{5});
    view.deleteAnswer = QMessageBox::No;
    press(Qt::Key_Delete);
    EXPECT_EQ(view.deleteQuestions, 1);
    EXPECT_EQ(grid->PadState(5), PadKindEmpty);
    EXPECT_TRUE(fs::exists(card.card.folder / "K72_0001.AVI"));
    // The grid's Delete and Enter come before the menu's shortcuts.
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(grid, &override);
    EXPECT_TRUE(override.isAccepted());
}

// The menu's shortcuts, pressed in the main window.
TEST(MainWindowKeys, ShortcutsRunTheCommands) {
    CardWindow program;
    program.card.PutMovie(0, 0, 5, "K72_0001.AVI");
    program.card.card.AddFile("K72_0001.AVI");
    CMainFrame& frame = program.Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Started(); }));
    frame.activateWindow();
    if (!QTest::qWaitForWindowActive(&frame)) {
        GTEST_SKIP() << "the platform gives no window the focus";
    }
    Click(*frame.View(), PadPoint(5).x(), PadPoint(5).y());
    int imports = 0;
    int deletes = 0;
    QObject::connect(frame.ImportAction(), &QAction::triggered, [&imports] { ++imports; });
    QObject::connect(frame.DeleteAction(), &QAction::triggered, [&deletes] { ++deletes; });
    // The import window is answered with Cancel.
    ModalAnswerer cancel([](QWidget* modal) {
        modal->close();
        return true;
    });
    QTest::keyClick(&frame, Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(imports, 1);
    // Delete while a button has the focus goes to the menu's item; on the grid, the grid has it.
    frame.activateWindow(); // back from the file window
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    frame.View()->ExitButton()->setFocus();
    QTest::keyClick(frame.View()->ExitButton(), Qt::Key_Delete);
    EXPECT_EQ(deletes, 1);
    frame.close();
}

TEST_F(MainViewInput, ButtonsThatCannotActAreDisabled) {
    ScriptedView view(commands, Root());
    const auto enabled = [&view] {
        return std::vector<bool>{view.ImportButton()->isEnabled(), view.InformationButton()->isEnabled(),
                                 view.DeleteButton()->isEnabled(), view.ExportButton()->isEnabled()};
    };
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false})); // no card
    view.InitialSetUp();
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false})); // no pad
    Click(view, PadPoint(3).x(), PadPoint(3).y());
    EXPECT_EQ(enabled(), (std::vector<bool>{true, false, false, false})); // an empty pad
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, true}));
    EXPECT_TRUE(view.ExitButton()->isEnabled());
}

// Each pad shows a picture of its content and is described in words, to tooltips and screen readers.
TEST_F(MainViewInput, PadsShowTheirContentAndScreenReadersHearIt) {
    ASSERT_TRUE(
        MakeMedia(card.card.folder / "K72_0008.AVI",
                  "-f lavfi -i color=c=0x00ff00:size=64x48:rate=30 -frames:v 2700 -c:v mjpeg -q:v 10"));
    card.PutMovie(0, 0, 3, "K72_0008.AVI", "", 2700);
    card.card.AddFile("RAIN.WAV");
    card.PutStills(0, 0, 9, {"K72_0002.JPG", "K72_0002.JPG"}, "RAIN.WAV");
    // The movie's own name is known to the card; the pictures' are not.
    card.RecordOriginalName("K72_0008.AVI", "Beach Day.mp4");
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    CPadView* grid = view.PadView();
    EXPECT_EQ(grid->PadDescription(3), "Pad 4: movie Beach Day.mp4 (K72_0008.AVI), 1:30");
    EXPECT_EQ(grid->PadDescription(6), "Pad 7: empty");
    EXPECT_EQ(grid->PadDescription(9), "Pad 10: 2 pictures K72_0002.JPG, K72_0002.JPG, sound RAIN.WAV");
    EXPECT_EQ(grid->PadDescription(5), "Pad 6: movie K72_0001.AVI, 0:00"); // a file that is no movie
    EXPECT_TRUE(grid->HasPicture(3));
    EXPECT_TRUE(grid->HasPicture(0));
    EXPECT_FALSE(grid->HasPicture(6));
    // The pad with a sound carries a note; the others do not.
    EXPECT_EQ(grid->PadSound(9), "RAIN.WAV");
    EXPECT_EQ(grid->PadSound(3), "");
    // The pictures sit inside the pad's face: green for the movie, red for the still pad.
    const QImage image = Render(*grid);
    const QPoint noteHead(3, 6); // inside the mark, on the note's head
    EXPECT_EQ(image.pixelColor(CPadView::SoundMarkRect(9).topLeft() + noteHead), QColor(Qt::black));
    EXPECT_NE(image.pixelColor(CPadView::SoundMarkRect(3).topLeft() + noteHead), QColor(Qt::black));
    const QColor movie = image.pixelColor(CPadView::PadRect(3).center() + QPoint(4, 4));
    EXPECT_GT(movie.green(), 200) << Rgb(movie);
    EXPECT_LT(movie.red(), 60) << Rgb(movie);
    const QColor still = image.pixelColor(CPadView::PadRect(0).center() + QPoint(4, 4));
    EXPECT_GT(still.red(), 200) << Rgb(still);
    EXPECT_LT(still.green(), 60) << Rgb(still);
    // The coloured rim stays in view.
    EXPECT_EQ(PixelAt(image, CPadView::PadRect(3).x() + 5, CPadView::PadRect(3).center().y()),
              PixelAt(Render(*grid), CPadView::PadRect(3).x() + 5, CPadView::PadRect(3).center().y()));

    QAccessibleInterface* pads = QAccessible::queryAccessibleInterface(grid);
    ASSERT_NE(pads, nullptr);
    EXPECT_EQ(pads->role(), QAccessible::List);
    ASSERT_EQ(pads->childCount(), 12);
    QAccessibleInterface* pad4 = pads->child(3);
    ASSERT_NE(pad4, nullptr);
    EXPECT_EQ(pad4->text(QAccessible::Name), "Pad 4: movie Beach Day.mp4 (K72_0008.AVI), 1:30");
    EXPECT_EQ(pads->child(6)->text(QAccessible::Name), "Pad 7: empty");
    EXPECT_EQ(pads->indexOfChild(pad4), 3);
    EXPECT_EQ(pad4->parent(), pads);
    EXPECT_FALSE(pad4->state().selected);
    EXPECT_TRUE(pad4->state().selectable);
    Click(view, PadPoint(3).x(), PadPoint(3).y());
    EXPECT_TRUE(pad4->state().selected);
    EXPECT_FALSE(pads->child(6)->state().selected);
    // The lists are labelled: AT-SPI names a combo box by the label it is "labelled by".
    const auto labelOf = [](QWidget* list) {
        QString text;
        for (const auto& relation :
             QAccessible::queryAccessibleInterface(list)->relations(QAccessible::Label)) {
            text = relation.first->text(QAccessible::Name);
        }
        return text.toStdString();
    };
    EXPECT_EQ(labelOf(view.DriveList()), "K-72 Drive :");
    EXPECT_EQ(labelOf(view.BankList()), "K-72 Bank Select :");
    EXPECT_EQ(labelOf(view.NumberList()), "Number");
    // A combo box is named by its own name, not by the item it shows; the item is its value.
    EXPECT_EQ(view.NumberList()->accessibleName(), "Number");
    for (const auto& [list, name] : {std::pair<QWidget*, QString>{view.NumberList(), "Number"},
                                     std::pair<QWidget*, QString>{view.BankList(), "K-72 Bank"}}) {
        QAccessibleInterface* combo = QAccessible::queryAccessibleInterface(list);
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->role(), QAccessible::ComboBox);
        EXPECT_EQ(combo->text(QAccessible::Name), name);
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(view.NumberList())->text(QAccessible::Value), "1");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(view.BankList())->text(QAccessible::Value), "BANK:A");
}

TEST(PadContentCache, RunningTimes) {
    EXPECT_EQ(PadContentCache::RunningTimeText(2700, 30.0), "1:30");
    EXPECT_EQ(PadContentCache::RunningTimeText(2700, 30.0003), "1:30");
    EXPECT_EQ(PadContentCache::RunningTimeText(1800, 30000.0 / 1001.0), "1:00");
    EXPECT_EQ(PadContentCache::RunningTimeText(1500, 25.0), "1:00");
    EXPECT_EQ(PadContentCache::RunningTimeText(0, 0.0), "0:00");
    EXPECT_EQ(PadContentCache::RunningTimeText(108000, 30.0), "60:00");
}

// File → Open Card Folder… takes the card's root, its DCIM or its card folder; the last five cards are
// remembered, newest first, and offered in the menu.
TEST(CardFolders, OpenCardFolderAndTheLastFiveCards) {
    QSettings(QStringLiteral("KAVELO"), QStringLiteral("K-72 Image Converter"))
        .remove(QStringLiteral("recentCards"));
    TempDir dir;
    std::vector<std::unique_ptr<PadCard>> cards;
    for (int i = 0; i < 6; ++i) {
        cards.push_back(std::make_unique<PadCard>(dir / ("card" + std::to_string(i))));
    }
    CConvertToolApp app;
    CMainFrame& frame = app.CreateMainWindow(QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame.Started(); }));
    CConvertToolView* view = frame.View();
    for (int i = 0; i < 6; ++i) {
        const fs::path& root = cards[static_cast<std::size_t>(i)]->card.root;
        // The card folder itself, the DCIM folder, or the root: all open the same card.
        const fs::path chosen = i % 3 == 0 ? root : (i % 3 == 1 ? root / "DCIM" : root / "DCIM" / "000KAVLO");
        view->OpenCard(QString::fromStdString(chosen.string()));
        ASSERT_TRUE(view->GridReady());
        EXPECT_EQ(view->CardRoot().toStdString(), root.string());
        EXPECT_EQ(view->DriveList()->currentData(Qt::ToolTipRole).toString().toStdString(), root.string());
    }
    // The folders stay listed, and the card open, when the volumes are listed again.
    view->UpdateDrives();
    EXPECT_TRUE(view->GridReady());
    EXPECT_EQ(view->OpenCardRoot().toStdString(), cards[5]->card.root.string());
    for (const auto& card : cards) {
        EXPECT_GE(view->DriveList()->findData(QString::fromStdString(card->card.root.string())), 1);
    }
    const QStringList recent = remembered::RecentCards();
    ASSERT_EQ(recent.size(), 5);
    EXPECT_EQ(recent[0].toStdString(), cards[5]->card.root.string());
    EXPECT_EQ(recent[4].toStdString(), cards[1]->card.root.string());
    frame.FillRecentCards();
    ASSERT_EQ(frame.RecentCardsMenu()->actions().size(), 5);
    // Choosing one from the menu opens it; opening it again lists it once.
    frame.RecentCardsMenu()->actions()[4]->trigger();
    EXPECT_EQ(view->CardRoot().toStdString(), cards[1]->card.root.string());
    EXPECT_EQ(remembered::RecentCards().size(), 5);
    EXPECT_EQ(remembered::RecentCards()[0].toStdString(), cards[1]->card.root.string());
    EXPECT_TRUE(frame.CardStatus()->toolTip().contains("free"))
        << frame.CardStatus()->toolTip().toStdString();
    // The menu's pad commands reach the form.
    Click(*view, PadPoint(0).x(), PadPoint(0).y());
    EXPECT_EQ(view->SelectedPad(), 0);
    frame.close();
}

TEST(CardFolders, ImportAndExportFoldersAreRemembered) {
    remembered::SetImportFolder("/some/where");
    remembered::SetExportFolder("/else/where");
    EXPECT_EQ(remembered::ImportFolder(), "/some/where");
    EXPECT_EQ(remembered::ExportFolder(), "/else/where");
}
