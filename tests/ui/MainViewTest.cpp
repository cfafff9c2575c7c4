// The main form on a real card through the real store: drive, bank and number choice, pad selection
// by mouse, and the commands with scripted answers in place of their windows.
#include "ScriptedView.h"
#include "UiTestSupport.h"
#include "store/CPadBankStore.h"
#include "store/CardLayout.h"
#include "store/PadCommands.h"
#include "ui/CConvertToolView.h"
#include "ui/CPadView.h"
#include "ui/DialogUnits.h"
#include "ui/MediaKinds.h"
#include "ui/QtConversionProgress.h"
#include "ui/RememberedPlaces.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace k72;
using namespace k72test;

namespace {

class MainView : public CardWithCommands {
protected:
    void SetUp() override {
        card.PutMovieAndPicture();
        card.PutMovie(2, 3, 11, "K72_0003.AVI");
        card.card.AddFile("K72_0003.AVI");
    }
};

} // namespace

TEST(MainViewRules, ImportKindsAndFilters) {
    EXPECT_EQ(PadKindOfFile("/a/clip.FLV"),
              PadKindMovie); // not in the filter, still a movie
    EXPECT_EQ(PadKindOfFile("/a/clip.mpeg"), PadKindMovie);
    EXPECT_EQ(PadKindOfFile("/a/b.Dv"), PadKindMovie);
    EXPECT_EQ(PadKindOfFile("/a/p.jpeg"), PadKindStill);
    EXPECT_EQ(PadKindOfFile("/a/p.PNG"), PadKindStill);
    EXPECT_EQ(PadKindOfFile("/a/p.gif"), PadKindStill);
    EXPECT_EQ(PadKindOfFile("/a/clip.Mkv"), PadKindMovie);
    EXPECT_EQ(PadKindOfFile("/a/p.HEIC"), PadKindStill);
    EXPECT_EQ(PadKindOfFile("/a/noextension"), PadKindEmpty);
    EXPECT_EQ(PadKindOfFile("/a.jpg/sound.wav"), PadKindEmpty);
    const QStringList afterMovie = ImportFilters(PadKindMovie);
    ASSERT_EQ(afterMovie.size(), 3);
    EXPECT_TRUE(afterMovie[0].startsWith("movie ("));
    EXPECT_TRUE(afterMovie[0].contains("*.[Mm][Pp][Ee][Gg]")) << afterMovie[0].toStdString();
    EXPECT_TRUE(afterMovie[0].contains("*.[Mm]2[Tt][Ss]"));
    EXPECT_TRUE(afterMovie[1].contains("*.[Hh][Ee][Ii][Cc]"));
    // The dialog's own wildcard matching finds a name in any letter case.
    const QString avi = afterMovie[0].section(QLatin1Char('('), 1).section(QLatin1Char(' '), 0, 0);
    EXPECT_EQ(avi, "*.[Aa][Vv][Ii]");
    const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(avi));
    for (const char* name : {"clip.avi", "CLIP.AVI", "clip.aVi"}) {
        EXPECT_TRUE(pattern.match(QString::fromLatin1(name)).hasMatch()) << name;
    }
    EXPECT_FALSE(pattern.match(QStringLiteral("clip.avi.txt")).hasMatch());
    EXPECT_TRUE(afterMovie[1].startsWith("image ("));
    EXPECT_EQ(afterMovie[2], "All files (*)");
    EXPECT_EQ(ImportFilters(PadKindEmpty), afterMovie);
    EXPECT_TRUE(ImportFilters(PadKindStill)[0].startsWith("image ("));
}

TEST_F(MainView, FormLayout) {
    ScriptedView view(commands);
    EXPECT_EQ(view.size(), DluSize(185, 198));
    EXPECT_EQ(view.PadView()->geometry(), QRect(25, 70, 225, 150));
    EXPECT_EQ(view.ImportButton()->geometry(), DluRect(7, 156, 50, 14));
    EXPECT_EQ(view.ExitButton()->geometry(), DluRect(128, 177, 50, 14));
    EXPECT_EQ(view.BankList()->count(), 6);
    EXPECT_EQ(view.BankList()->itemText(5), "BANK:F");
    EXPECT_EQ(view.NumberList()->count(), 12);
    EXPECT_EQ(view.NumberList()->itemText(11), "12");
}

TEST_F(MainView, CardOnTheCommandLineIsChosenAtStart) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.DriveList()->currentIndex(), 1);
    EXPECT_EQ(view.DriveList()->itemText(0), "");
    EXPECT_EQ(view.DriveList()->currentData().toString().toStdString(), card.card.root.string());
    EXPECT_TRUE(store.IsCardOpen());
    EXPECT_TRUE(view.GridReady());
    EXPECT_EQ(view.BankList()->currentText(), "BANK:A");
    EXPECT_EQ(view.NumberList()->currentText(), "1");
    EXPECT_TRUE(view.BankList()->isEnabled());
    EXPECT_EQ(view.BankIndex(), 0);
    EXPECT_EQ(view.NumberIndex(), 0);
    EXPECT_EQ(view.PadView()->PadState(5), PadKindMovie);
    EXPECT_EQ(view.PadView()->PadState(0), PadKindStill);
    EXPECT_EQ(view.PadView()->PadState(1), PadKindEmpty);
    // The first entry and every mounted volume follow; "/" is always mounted.
    bool rootListed = false;
    for (int i = 2; i < view.DriveList()->count(); ++i) {
        rootListed = rootListed || view.DriveList()->itemData(i).toString() == "/";
        EXPECT_FALSE(view.DriveList()->itemIcon(i).isNull());
    }
    EXPECT_TRUE(rootListed);
}

// A card that another program (k72-card, a second window) has open is not "another drive".
TEST_F(MainView, ACardInUseElsewhereSaysSo) {
    const int fd = ::open(card.card.padFile.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    ::close(fd);
    EXPECT_FALSE(store.IsCardOpen());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].indexOf(QStringLiteral("in use by another program")), -1)
        << view.messages[0].toStdString();
    EXPECT_NE(view.messages[0].indexOf(QStringLiteral("Close it there first.")), -1);
    EXPECT_EQ(view.messages[0].indexOf(QStringLiteral("A drive other than")), -1);
}

TEST_F(MainView, FolderWithoutACardShowsTheMessageAndClosesTheCard) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    ASSERT_TRUE(store.IsCardOpen());
    view.DriveList()->addItem(QStringLiteral("plain"), QString::fromStdString(dir.Path().string()));
    Choose(view.DriveList(), view.DriveList()->count() - 1);
    ASSERT_EQ(view.messages.size(), 1u);
    CPadBankStore again;
    EXPECT_EQ(view.messages[0].toStdString(), again.OpenCardRoot(dir.Path()).text)
        << "what the store said when it tried";
    EXPECT_NE(view.messages[0].indexOf(QStringLiteral("is not a K-72 card")), -1)
        << view.messages[0].toStdString();
    EXPECT_FALSE(store.IsCardOpen());
    EXPECT_FALSE(view.GridReady());
    EXPECT_FALSE(view.BankList()->isEnabled());
    EXPECT_FALSE(view.NumberList()->isEnabled());
    EXPECT_EQ(view.PadView()->PadState(5), PadKindEmpty);
    // Clicks and commands do nothing without a card.
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    EXPECT_EQ(view.SelectedPad(), -1);
    view.ImportButton()->click();
    EXPECT_TRUE(view.importFilters.empty());
    // The card is released: another opener gets it.
    CPadBankStore other;
    EXPECT_TRUE(other.OpenCardRoot(card.card.root));
}

TEST_F(MainView, BankIsReadOnceAndNumbersShowTheirPads) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    Choose(view.BankList(), 2);
    Choose(view.NumberList(), 3);
    EXPECT_EQ(view.PadView()->PadState(11), PadKindMovie);
    // Change bank C on the card behind the store's back: choosing C again must not read it.
    auto bytes = card.card.PadBytes();
    PutLE32(bytes, RecordAt(2, 3, 4), 1);     // used
    PutLE32(bytes, RecordAt(2, 3, 4) + 4, 0); // a movie
    WriteFileBytes(card.card.padFile, bytes);
    Choose(view.BankList(), 2);
    EXPECT_EQ(view.PadView()->PadState(4), PadKindEmpty);
    // Another bank and back reads it again.
    Choose(view.BankList(), 0);
    EXPECT_EQ(view.PadView()->PadState(11), PadKindEmpty);
    Choose(view.BankList(), 2);
    EXPECT_EQ(view.PadView()->PadState(4), PadKindMovie);
    Choose(view.NumberList(), 0);
    EXPECT_EQ(view.PadView()->PadState(4), PadKindEmpty);
    EXPECT_EQ(view.PadView()->PadState(11), PadKindEmpty);
}

TEST_F(MainView, ClicksSelectPadsOnTheRaster) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    Click(view, 30, 175);
    EXPECT_EQ(view.SelectedPad(), 0);
    EXPECT_EQ(view.PadView()->Selection(), 0);
    Click(view, 198, 75);
    EXPECT_EQ(view.SelectedPad(), 11);
    Click(view, 255, 75); // column 3 ends before x = 244
    EXPECT_EQ(view.SelectedPad(), -1);
    EXPECT_EQ(view.PadView()->Selection(), -1);
    Click(view, PadPoint(6).x(), PadPoint(6).y());
    EXPECT_EQ(view.SelectedPad(), 6);
    Click(view, 80, 90); // the gap between two pads clears the selection...
    EXPECT_EQ(view.SelectedPad(), -1);
    view.ImportButton()->click(); // ...and Import then does nothing
    EXPECT_TRUE(view.importFilters.empty());
    // A new bank keeps the grid's selection.
    Click(view, PadPoint(2).x(), PadPoint(2).y());
    Choose(view.BankList(), 1);
    EXPECT_EQ(view.PadView()->Selection(), 2);
}

TEST_F(MainView, InformationOpensTheDialogOfThePadsKind) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    QTest::mouseDClick(&view, Qt::LeftButton, {}, PadPoint(5));
    EXPECT_EQ(view.movieInformation, std::vector<int>{5});
    view.InformationButton()->click();
    EXPECT_EQ(view.movieInformation, (std::vector<int>{5, 5}));
    EXPECT_TRUE(view.stillInformation.empty());
    // An empty pad opens nothing.
    Click(view, PadPoint(3).x(), PadPoint(3).y());
    view.InformationButton()->click();
    EXPECT_EQ(view.movieInformation.size(), 2u);
    EXPECT_TRUE(view.stillInformation.empty());
}

TEST_F(MainView, StillListEmptiedInItsDialogLeavesAnEmptyPad) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    Click(view, PadPoint(0).x(), PadPoint(0).y());
    view.duringDialog = [&] {
        EXPECT_TRUE(view.Busy()); // the Information button keeps other commands out meanwhile
        EXPECT_TRUE(commands.RemovePicture(0, 0));
    };
    view.InformationButton()->click();
    EXPECT_EQ(view.stillInformation, std::vector<int>{0});
    EXPECT_FALSE(view.Busy());
    EXPECT_EQ(view.PadView()->PadState(0), PadKindEmpty);
    EXPECT_EQ(GetLE32(card.card.PadBytes(), RecordAt(0, 0, 0)), 0u); // written to the card
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / "K72_0002.JPG"));
}

TEST_F(MainView, PadWhoseFilesVanishedBecomesEmptyOnInformation) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    std::filesystem::remove(card.card.folder / "K72_0001.AVI");
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    view.InformationButton()->click();
    EXPECT_TRUE(view.movieInformation.empty());
    EXPECT_EQ(view.PadView()->PadState(5), PadKindEmpty);
}

TEST_F(MainView, UnknownFileTypeIsRefused) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    Click(view, PadPoint(1).x(), PadPoint(1).y());
    view.importAnswer = {QString::fromStdString((dir / "notes.txt").string())};
    view.ImportButton()->click();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.messages[0].startsWith(
        "Failed to load the file.\nPlease select a file in a format supported by this converter."));
    EXPECT_TRUE(view.messages[0].contains("\"notes.txt\" is not a movie")) << view.messages[0].toStdString();
    EXPECT_EQ(view.PadView()->PadState(1), PadKindEmpty);
    EXPECT_EQ(view.LastImportKind(), PadKindEmpty);
    // Cancel in the file window ends the command quietly.
    view.importAnswer.clear();
    view.ImportButton()->click();
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.importFilters.size(), 2u);
}

TEST_F(MainView, DeleteAsksAndClearsThePad) {
    card.card.AddFile("K72_0019.AVI");
    card.card.AddFile("K72_0020.JPG");
    card.PutStills(0, 0, 7, {"K72_0020.JPG"});
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    EXPECT_EQ(store.LastFileNumber(), 20u);

    // An empty pad: no question, nothing changes.
    Click(view, PadPoint(3).x(), PadPoint(3).y());
    view.DeleteButton()->click();
    EXPECT_EQ(view.deleteQuestions, 0);

    // Cancel changes nothing.
    Click(view, PadPoint(7).x(), PadPoint(7).y());
    view.deleteAnswer = QMessageBox::Cancel;
    view.DeleteButton()->click();
    EXPECT_EQ(view.deleteQuestions, 1);
    EXPECT_EQ(view.PadView()->PadState(7), PadKindStill);

    // No: the pad goes, the file stays.
    view.deleteAnswer = QMessageBox::No;
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    view.DeleteButton()->click();
    EXPECT_EQ(view.PadView()->PadState(5), PadKindEmpty);
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / "K72_0001.AVI"));
    EXPECT_EQ(GetLE32(card.card.PadBytes(), RecordAt(0, 0, 5)), 0u);

    // Yes on the pad with the highest number: its file goes and the number is free again.
    view.deleteAnswer = QMessageBox::Yes;
    Click(view, PadPoint(7).x(), PadPoint(7).y());
    view.DeleteButton()->click();
    EXPECT_EQ(view.PadView()->PadState(7), PadKindEmpty);
    EXPECT_FALSE(std::filesystem::exists(card.card.folder / "K72_0020.JPG"));
    EXPECT_EQ(MakeCardFileName(store.LastFileNumber() + 1, "JPG"), "K72_0020.JPG");
    EXPECT_EQ(view.deleteQuestions, 3);
}

TEST_F(MainView, ExportCopiesThePadsFilesIntoTheChosenFolder) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    std::filesystem::create_directory(dir / "out");
    Click(view, PadPoint(0).x(), PadPoint(0).y());
    view.folderAnswer.clear(); // Cancel in the folder window
    view.ExportButton()->click();
    EXPECT_EQ(view.folderQuestions, 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
    view.folderAnswer = QString::fromStdString((dir / "out").string());
    view.ExportButton()->click();
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "K72_0002.JPG"));
    // The folder is offered first next time, in this run and the next.
    EXPECT_EQ(remembered::ExportFolder().toStdString(), (dir / "out").string());
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    view.ExportButton()->click();
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "K72_0001.AVI"));
    EXPECT_TRUE(view.messages.empty());
    // An empty pad asks for no folder.
    Click(view, PadPoint(4).x(), PadPoint(4).y());
    view.ExportButton()->click();
    EXPECT_EQ(view.folderQuestions, 3);
}

TEST_F(MainView, BusyGuardIgnoresClicksAndCommandsWhileACommandRuns) {
    ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    Click(view, PadPoint(1).x(), PadPoint(1).y());
    int nested = 0;
    view.duringDialog = [&] {
        EXPECT_TRUE(view.Busy());
        Click(view, PadPoint(5).x(), PadPoint(5).y());
        EXPECT_EQ(view.SelectedPad(), 1);
        if (++nested == 1) {
            view.ImportButton()->click(); // would ask again if it were not ignored
            view.deleteAnswer = QMessageBox::Yes;
        }
    };
    view.ImportButton()->click();
    EXPECT_EQ(view.importFilters.size(), 1u);
    EXPECT_FALSE(view.Busy());
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    EXPECT_EQ(view.SelectedPad(), 5);
}

TEST_F(MainView, ExitAsksTheWindowToClose) {
    ScriptedView view(commands);
    int exits = 0;
    QObject::connect(&view, &CConvertToolView::ExitRequested, [&exits] { ++exits; });
    view.ExitButton()->click();
    EXPECT_EQ(exits, 1);
}

// Import through the real store and converters: a picture synchronously, a movie with the progress
// window, during which the program keeps handling events.
TEST_F(MainView, ImportRoundTripThroughTheStore) {
    QtConversionProgress progress;
    CPadBankStore converting;
    PadCommands convertingCommands{converting, nullptr, &progress};
    ScriptedView view(convertingCommands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    ASSERT_TRUE(view.GridReady());

    QImage picture(320, 200, QImage::Format_RGB32);
    picture.fill(QColor(20, 90, 200));
    ASSERT_TRUE(picture.save(QString::fromStdString((dir / "photo.png").string())));
    Click(view, PadPoint(2).x(), PadPoint(2).y());
    view.importAnswer = {QString::fromStdString((dir / "photo.png").string())};
    view.ImportButton()->click();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.PadView()->PadState(2), PadKindStill);
    EXPECT_EQ(view.LastImportKind(), PadKindStill);
    EXPECT_EQ(remembered::ImportFolder().toStdString(), dir.Path().string());
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / "K72_0004.JPG"));
    EXPECT_EQ(GetName(card.card.PadBytes(), RecordAt(0, 0, 2) + 8), "K72_0004.JPG");

    ASSERT_TRUE(MakeMedia(dir / "clip.mp4",
                          "-f lavfi -i testsrc2=size=96x64:rate=25 -f lavfi -i "
                          "sine=frequency=440:sample_rate=44100 -t 0.6 -c:v mpeg4 -c:a aac"));
    Click(view, PadPoint(9).x(), PadPoint(9).y());
    view.importAnswer = {QString::fromStdString((dir / "clip.mp4").string())};
    int ticks = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&ticks] { ++ticks; });
    heartbeat.start(10);
    view.ImportButton()->click();
    heartbeat.stop();
    // The movie filter comes second after a picture import.
    ASSERT_EQ(view.importFilters.size(), 2u);
    EXPECT_TRUE(view.importFilters[1][0].startsWith("image ("));
    EXPECT_EQ(view.PadView()->PadState(9), PadKindMovie);
    EXPECT_EQ(view.LastImportKind(), PadKindMovie);
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / "K72_0005.AVI"));
    EXPECT_EQ(GetName(card.card.PadBytes(), RecordAt(0, 0, 9) + 8), "K72_0005.AVI");
    EXPECT_GT(ticks, 3); // the event loop ran while the movie converted
    EXPECT_TRUE(ImportFilters(view.LastImportKind())[0].startsWith("movie ("));

    // And out again: delete with its files.
    view.deleteAnswer = QMessageBox::Yes;
    view.DeleteButton()->click();
    EXPECT_EQ(view.PadView()->PadState(9), PadKindEmpty);
    EXPECT_FALSE(std::filesystem::exists(card.card.folder / "K72_0005.AVI"));
}
