// The main form where something goes wrong or is about to be lost, on real cards with real files and
// conversions: the progress window closed during a movie, copies that fail, a pad file the card will
// not take, a card that goes away, imports onto pads that hold something, and the delete question.
#include "ScriptedView.h"
#include "UiTestSupport.h"
#include "store/CPadBankStore.h"
#include "store/ImportSpace.h"
#include "store/PadCommands.h"
#include "store/StoreMessages.h"
#include "ui/CDialogConversionInfo.h"
#include "ui/CPadView.h"
#include "ui/QtConversionProgress.h"
#include "ui/QtFileCopy.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/mount.h>

using namespace k72;
using namespace k72test;
namespace fs = std::filesystem;

namespace {

// What the form showed, in the store's words.
std::vector<std::string> Shown(const ScriptedView& view) {
    std::vector<std::string> texts;
    for (const QString& text : view.messages) {
        texts.push_back(text.toStdString());
    }
    return texts;
}

std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void SavePicture(const fs::path& path, const QColor& colour) {
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(colour);
    ASSERT_TRUE(picture.save(QString::fromStdString(path.string())));
}

// The copy of the desktop program with its failure message kept instead of shown.
class RecordingQtCopy : public QtFileCopy {
public:
    std::vector<QString> failures;

protected:
    void ShowFailure(const QString& text) override { failures.push_back(text); }
};

class MainViewFaults : public ::testing::Test {
protected:
    TempDir dir;
    PadCard card{dir.Path()};

    void SetUp() override { card.PutMovieAndPicture(); }
    QString Root() const { return QString::fromStdString(card.card.root.string()); }
};

} // namespace

// Escape and the close button during a real movie conversion stop it at once, like Cancel: no message,
// no temporary file, nothing on the card, the pad as it was.
TEST_F(MainViewFaults, ClosingTheProgressWindowStopsARealConversionQuietly) {
    ASSERT_TRUE(MakeMedia(dir / "long.mp4",
                          "-f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i "
                          "sine=frequency=440:sample_rate=44100 -t 40 -c:v mpeg4 -q:v 8 -c:a aac"));
    for (const bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Escape" : "close button");
        QtConversionProgress progress;
        CPadBankStore store;
        PadCommands commands{store, nullptr, &progress};
        fs::create_directories(dir / "tmp");
        store.SetTemporaryFolder(dir / "tmp");
        ASSERT_TRUE(store.OpenCardRoot(card.card.root));
        store.SelectBank(0);
        store.SelectNumber(0);
        const auto before = card.card.PadBytes();
        const auto cardFiles = FolderNames(card.card.folder);

        QElapsedTimer sinceClose;
        QString fileShown;
        ModalAnswerer closer([&](QWidget* modal) {
            auto* dialog = qobject_cast<CDialogConversionInfo*>(modal);
            // Only once the converter is really at work.
            if (dialog == nullptr || !dialog->StatusLabel()->text().startsWith("converting...")) {
                return false;
            }
            fileShown = dialog->FileLabel()->text();
            sinceClose.start();
            if (escape) {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else {
                QCloseEvent close;
                QApplication::sendEvent(dialog, &close);
            }
            return true;
        });
        const StoreResult stopped = commands.Import({3, PadKindMovie, {dir / "long.mp4"}});
        EXPECT_FALSE(stopped);
        ASSERT_TRUE(sinceClose.isValid()) << "the conversion never started";
        EXPECT_LT(sinceClose.elapsed(), 5000) << "the conversion went on after the window closed";
        EXPECT_EQ(fileShown, "long.mp4");
        EXPECT_TRUE(stopped.text.empty()) << stopped.text;
        EXPECT_TRUE(closer.texts.empty());
        EXPECT_TRUE(fs::is_empty(dir / "tmp"));
        EXPECT_EQ(FolderNames(card.card.folder), cardFiles);
        EXPECT_EQ(card.card.PadBytes(), before);
        EXPECT_EQ(store.PadKindOf(3), PadKindEmpty);
    }
}

// A failed copy names the file, the folder and the reason.
TEST_F(MainViewFaults, AFailedExportSaysWhichFileWhereAndWhy) {
    RecordingQtCopy copy;
    CPadBankStore store;
    PadCommands commands{store, &copy, nullptr};
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    Click(view, PadPoint(0).x(), PadPoint(0).y());
    view.folderAnswer = QString::fromStdString((dir / "gone").string()); // removed after it was chosen
    view.ExportButton()->click();
    ASSERT_EQ(copy.failures.size(), 1u);
    const QString text = copy.failures[0];
    EXPECT_TRUE(text.contains("\"K72_0002.JPG\"")) << text.toStdString();
    EXPECT_TRUE(text.contains(QString::fromStdString((dir / "gone").string()))) << text.toStdString();
    EXPECT_TRUE(text.contains("The folder does not exist")) << text.toStdString();

    // A picture that is no longer a file on the card: the store names it and nothing is copied.
    fs::create_directory(dir / "out");
    view.folderAnswer = QString::fromStdString((dir / "out").string());
    fs::remove(card.card.folder / "K72_0002.JPG");
    fs::create_directory(card.card.folder / "K72_0002.JPG");
    view.ExportButton()->click();
    ASSERT_EQ(copy.failures.size() + view.messages.size(), 2u);
    const std::string said =
        copy.failures.size() == 2 ? copy.failures[1].toStdString() : view.messages.back().toStdString();
    EXPECT_NE(said.find("K72_0002.JPG"), std::string::npos) << said;
    EXPECT_NE(said.find("folder"), std::string::npos) << said;
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

// A card that is full: a tmpfs of a few hundred kilobytes, where this process may mount one.
TEST_F(MainViewFaults, ACopyToAFullCardSaysTheCardIsFull) {
    const fs::path small = dir / "small";
    fs::create_directories(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    }
    struct Unmount {
        fs::path where;
        ~Unmount() { ::umount2(where.c_str(), MNT_DETACH); }
    } unmount{small};
    std::vector<std::uint8_t> big(512 * 1024, 7);
    WriteFileBytes(dir / "big.bin", big);
    RecordingQtCopy copy;
    EXPECT_FALSE(copy.Copy({FileCopyItem{dir / "big.bin", small / "BIG.BIN"}}));
    ASSERT_EQ(copy.failures.size(), 1u);
    EXPECT_TRUE(copy.failures[0].contains("\"big.bin\"")) << copy.failures[0].toStdString();
    EXPECT_TRUE(copy.failures[0].contains("not enough free space")) << copy.failures[0].toStdString();
    EXPECT_TRUE(FolderNames(small).empty());
}

// A pad file the card will not take: Delete leaves the pad on the grid as the card has it, and the
// files too.
TEST_F(MainViewFaults, DeleteThatCouldNotBeSavedKeepsThePad) {
    CPadBankStore store;
    PadCommands commands{store};
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    // Another program replaces the pad file: writes to the open one would go nowhere.
    const auto bytes = card.card.PadBytes();
    WriteFileBytes(card.card.folder / "new.sys", bytes);
    fs::rename(card.card.folder / "new.sys", card.card.padFile);
    view.deleteAnswer = QMessageBox::Yes;
    view.DeleteButton()->click();
    EXPECT_EQ(view.deleteQuestions, 1);
    EXPECT_EQ(Shown(view), std::vector<std::string>{messages::kCardWriteFailed});
    EXPECT_EQ(view.PadView()->PadState(5), PadKindMovie);
    EXPECT_TRUE(view.DeleteButton()->isEnabled());
    EXPECT_TRUE(fs::exists(card.card.folder / "K72_0001.AVI"));
    EXPECT_EQ(card.card.PadBytes(), bytes);
}

// The delete question names the pad and its files; Enter answers the safe Cancel.
TEST_F(MainViewFaults, DeleteQuestionNamesThePadAndDefaultsToCancel) {
    card.card.AddFile("RAIN.WAV");
    card.PutMovie(0, 0, 5, "K72_0001.AVI", "RAIN.WAV");
    CPadBankStore store;
    PadCommands commands{store};
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    view.deleteAnswer.reset(); // the real question
    ModalAnswerer enter = ModalAnswerer::PressingEnter(QMessageBox::Cancel);
    view.DeleteButton()->click();
    ASSERT_EQ(enter.texts.size(), 1u);
    EXPECT_TRUE(QString::fromStdString(enter.texts[0])
                    .startsWith("Delete pad 6, which holds the movie K72_0001.AVI and the sound RAIN.WAV?"))
        << enter.texts[0];
    EXPECT_NE(enter.texts[0].find("Delete file as well?"), std::string::npos);
    EXPECT_EQ(view.PadView()->PadState(5), PadKindMovie);
    EXPECT_EQ(GetLE32(card.card.PadBytes(), RecordAt(0, 0, 5)), 1u);
    // Still pads name their pictures.
    Click(view, PadPoint(0).x(), PadPoint(0).y());
    view.deleteAnswer = QMessageBox::Cancel;
    view.DeleteButton()->click();
    ASSERT_EQ(view.deleteTexts.size(), 2u);
    EXPECT_TRUE(view.deleteTexts[1].startsWith("Delete pad 1, which holds the picture K72_0002.JPG?"));
}

// Importing onto a pad that holds something asks first (No by default), and then offers to delete
// what the pad no longer uses.
TEST_F(MainViewFaults, ImportOntoAPadThatHoldsSomethingAsksFirst) {
    SavePicture(dir / "photo.png", QColor(20, 90, 200));
    CPadBankStore store;
    PadCommands commands{store};
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    const auto before = card.card.PadBytes();
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    view.importAnswer = {QString::fromStdString((dir / "photo.png").string())};

    // Enter on the real question is No: nothing changes.
    {
        ModalAnswerer enter = ModalAnswerer::PressingEnter(QMessageBox::No);
        view.ImportButton()->click();
        ASSERT_EQ(enter.texts.size(), 1u);
        EXPECT_EQ(enter.texts[0], "Pad 6 holds the movie K72_0001.AVI. Replace it?");
    }
    EXPECT_EQ(card.card.PadBytes(), before);
    EXPECT_EQ(view.PadView()->PadState(5), PadKindMovie);
    EXPECT_FALSE(fs::exists(card.card.folder / "K72_0003.JPG"));

    // Yes, and yes to deleting the replaced movie.
    view.yesNoAnswers = {true, true};
    view.ImportButton()->click();
    ASSERT_EQ(view.yesNoTexts.size(), 3u);
    EXPECT_EQ(view.yesNoTexts[2],
              "Pad 6 no longer uses the movie K72_0001.AVI.\nDelete the replaced files from the card?");
    EXPECT_EQ(view.PadView()->PadState(5), PadKindStill);
    EXPECT_EQ(GetName(card.card.PadBytes(), RecordAt(0, 0, 5) + 8), "K72_0003.JPG");
    EXPECT_FALSE(fs::exists(card.card.folder / "K72_0001.AVI"));
    EXPECT_TRUE(fs::exists(card.card.folder / "K72_0003.JPG"));

    // Replacing the pictures of pad 1, keeping the old file: the question counts them.
    Click(view, PadPoint(0).x(), PadPoint(0).y());
    view.yesNoAnswers = {true, false};
    view.ImportButton()->click();
    ASSERT_EQ(view.yesNoTexts.size(), 5u);
    EXPECT_EQ(view.yesNoTexts[3], "Pad 1 holds the picture K72_0002.JPG. Replace it?");
    EXPECT_TRUE(fs::exists(card.card.folder / "K72_0002.JPG"));
    EXPECT_EQ(GetName(card.card.PadBytes(), RecordAt(0, 0, 0) + 8), "K72_0004.JPG");
    // An empty pad is not asked about.
    Click(view, PadPoint(2).x(), PadPoint(2).y());
    view.ImportButton()->click();
    EXPECT_EQ(view.yesNoTexts.size(), 5u);
    EXPECT_EQ(view.PadView()->PadState(2), PadKindStill);
    EXPECT_TRUE(view.messages.empty());
}

// The status line tells what the next import will use: frame rate, quality, deinterlacing and fit.
TEST_F(MainViewFaults, TheStatusLineNamesTheSettingsAnImportWillUse) {
    CPadBankStore store;
    PadCommands commands{store};
    Settings settings;
    settings.fps = 1;
    settings.quality = 4;
    settings.deinterlace = 1;
    settings.fit = FitMode::Letterbox;
    commands.SetSettings(settings);
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    const QString line = view.CardStatusText();
    EXPECT_TRUE(line.contains(QStringLiteral("free | PAL 25 fps, ")));
    EXPECT_TRUE(line.contains(QStringLiteral(", deinterlace, letterbox")));
    settings.fps = 0;
    settings.deinterlace = 0;
    settings.fit = FitMode::Crop;
    commands.SetSettings(settings);
    const QString changed = view.CardStatusText();
    EXPECT_TRUE(changed.contains(QStringLiteral("free | NTSC 29.97 fps, ")));
    EXPECT_FALSE(changed.contains(QStringLiteral("deinterlace")));
    EXPECT_TRUE(changed.endsWith(QStringLiteral(", crop")));
}

// A card folder that disappears while shown: said once, no pads until it is back, then as it was.
TEST_F(MainViewFaults, ACardThatGoesAwayIsSaidOnceAndComesBack) {
    CPadBankStore store;
    PadCommands commands{store};
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    Choose(view.NumberList(), 0);
    Click(view, PadPoint(5).x(), PadPoint(5).y());
    const fs::path away = dir / "away";
    fs::rename(card.card.root, away);
    // The form's own watch notices within its period.
    QTest::qWait(CConvertToolView::kCardCheckMilliseconds + 500);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0],
              QStringLiteral("The card %1 is no longer available.\nPut it back, or choose another "
                             "drive or card folder.")
                  .arg(Root()));
    EXPECT_FALSE(view.GridReady());
    EXPECT_FALSE(store.IsCardOpen());
    for (int pad = 0; pad < 12; ++pad) {
        EXPECT_EQ(view.PadView()->PadState(pad), PadKindEmpty);
        EXPECT_FALSE(view.PadView()->HasPicture(pad));
    }
    EXPECT_FALSE(view.ImportButton()->isEnabled());
    EXPECT_FALSE(view.BankList()->isEnabled());
    EXPECT_TRUE(view.CardStatusText().contains("is not available"));
    view.CheckCard();
    view.CheckCard();
    EXPECT_EQ(view.messages.size(), 1u);

    fs::rename(away, card.card.root);
    view.CheckCard();
    EXPECT_TRUE(view.GridReady());
    EXPECT_TRUE(store.IsCardOpen());
    EXPECT_EQ(view.PadView()->PadState(5), PadKindMovie);
    EXPECT_EQ(view.PadView()->PadState(0), PadKindStill);
    EXPECT_TRUE(view.BankList()->isEnabled());
    EXPECT_EQ(view.messages.size(), 1u);
}

// A card taken out during a movie's conversion: one message, which says the conversion is kept; the
// form waits for the card without a second one, and when the card is back the import is offered and
// goes onto its pad.
TEST_F(MainViewFaults, AConversionWhoseCardIsTakenOutIsOfferedWhenTheCardIsBack) {
    ASSERT_TRUE(
        MakeMedia(dir / "clip.mp4", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=1 -c:v mpeg4"));
    CPadBankStore store;
    PadCommands commands{store};
    const fs::path away = dir / "away";
    commands.KeepImportsOfAPulledCard(true);
    commands.SetMovieConverterHook([&](CVideoConverter&) { fs::rename(card.card.root, away); });
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    Click(view, PadPoint(3).x(), PadPoint(3).y());
    view.importAnswer = {QString::fromStdString((dir / "clip.mp4").string())};
    view.ImportButton()->click();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0],
              "The card was taken out while clip.mp4 was converted. The conversion is kept: "
              "put the same card back in to put it onto pad A-1-4.");
    EXPECT_FALSE(store.IsCardOpen());
    EXPECT_FALSE(view.GridReady());
    QTest::qWait(CConvertToolView::kCardCheckMilliseconds + 500);
    EXPECT_EQ(view.messages.size(), 1u);

    fs::rename(away, card.card.root);
    view.yesNoAnswers = {true};
    view.CheckCard();
    ASSERT_EQ(view.yesNoTexts.size(), 1u);
    EXPECT_EQ(view.yesNoTexts[0],
              "The card is back. Put clip.mp4, converted while the card was out, onto pad A-1-4 now?");
    EXPECT_TRUE(view.GridReady());
    EXPECT_EQ(view.PadView()->PadState(3), PadKindMovie);
    EXPECT_EQ(GetName(card.card.PadBytes(), RecordAt(0, 0, 3) + 8), "K72_0003.AVI");
    EXPECT_TRUE(fs::exists(card.card.folder / "K72_0003.AVI"));
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(commands.Kept(), nullptr);
}

// Before converting, the card's free space is checked against an estimate of the result.
TEST(ImportSpace, AMovieThatCannotFitIsRefusedBeforeConverting) {
    TempDir dir;
    const fs::path small = dir / "small";
    fs::create_directories(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs is not allowed here";
    }
    struct Unmount {
        fs::path where;
        ~Unmount() { ::umount2(where.c_str(), MNT_DETACH); }
    } unmount{small};
    ASSERT_TRUE(MakeMedia(dir / "clip.mp4", "-f lavfi -i testsrc2=size=160x120:rate=25 -t 10 -c:v mpeg4"));
    SavePicture(dir / "photo.png", Qt::cyan);
    EXPECT_NEAR(static_cast<double>(MediaDurationMs(dir / "clip.mp4")), 10000.0, 100.0);
    Settings highest;
    EXPECT_GT(EstimatedMovieBytes(10000, highest), 10 * 1048576);
    {
        PadCard card(small);
        CPadBankStore store;
        PadCommands commands{store};
        ScriptedView view(commands, QString::fromStdString(card.card.root.string()));
        view.InitialSetUp();
        Click(view, PadPoint(1).x(), PadPoint(1).y());
        view.importAnswer = {QString::fromStdString((dir / "clip.mp4").string())};
        view.ImportButton()->click();
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_TRUE(view.messages[0].startsWith(
            "There is not enough free space on the card for \"clip.mp4\".\nAbout "))
            << view.messages[0].toStdString();
        EXPECT_EQ(view.PadView()->PadState(1), PadKindEmpty);
        EXPECT_EQ(FolderNames(card.card.folder), std::vector<std::string>{"K72_PAD.SYS"});
        // A picture fits.
        view.importAnswer = {QString::fromStdString((dir / "photo.png").string())};
        view.ImportButton()->click();
        EXPECT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.PadView()->PadState(1), PadKindStill);
    }
}

// A damaged file: the store's message says the file failed to load, the status bar says why.
TEST_F(MainViewFaults, ADamagedFileIsNamedAsDamaged) {
    std::vector<std::uint8_t> noise(5000);
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<std::uint8_t>(i * 7919 % 251);
    }
    WriteFileBytes(dir / "broken.png", noise);
    WriteFileBytes(dir / "broken.mp4", noise);
    CPadBankStore store;
    PadCommands commands{store};
    ScriptedView view(commands, Root());
    view.InitialSetUp();
    std::vector<QString> status;
    QObject::connect(&view, &CConvertToolView::StatusMessage,
                     [&status](const QString& text) { status.push_back(text); });
    Click(view, PadPoint(2).x(), PadPoint(2).y());
    for (const char* name : {"broken.png", "broken.mp4"}) {
        view.importAnswer = {QString::fromStdString((dir / name).string())};
        view.ImportButton()->click();
    }
    const std::vector<std::string> shown = Shown(view);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].rfind(messages::kLoadFailed, 0), 0u) << "the cause follows the message";
    EXPECT_EQ(shown[1], messages::kLoadFailed);
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[0],
              "broken.png could not be read: it is damaged, or not the kind of file its name says.");
    EXPECT_EQ(status[1],
              "broken.mp4 could not be read: it is damaged, or not the kind of file its name says.");
    EXPECT_EQ(view.PadView()->PadState(2), PadKindEmpty);
}
