// The movie information dialog on a real card: the texts read from the movie file (also as a screen
// reader reads them), the sound file, the player inside the window and the desktop's player.
#include "UiTestSupport.h"
#include "engine/CConversionManager.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "ui/CDialogMovieInformation.h"
#include "ui/CMovieInfoBox.h"
#include "ui/DialogUnits.h"
#include "ui/PlayerWidget.h"

#include <QAccessible>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace k72;
using namespace k72test;

namespace {

class ScriptedMovieInformation : public CDialogMovieInformation {
public:
    using CDialogMovieInformation::CDialogMovieInformation;

    QString audioAnswer;
    bool convertAnswer = false;
    int removeAnswer = QMessageBox::Cancel;
    std::vector<QString> questions;
    std::vector<QString> messages;
    std::vector<std::filesystem::path> opened;

protected:
    QString AskAudioFile() override { return audioAnswer; }
    bool AskConvertSound(const QString& question) override {
        questions.push_back(question);
        return convertAnswer;
    }
    int AskRemoveSound(const QString& question) override {
        questions.push_back(question);
        return removeAnswer;
    }
    void ShowMessage(const QString& text) override { messages.push_back(text); }
    void OpenWithDesktop(const std::filesystem::path& path) override { opened.push_back(path); }
};

class MovieInformation : public ::testing::Test {
protected:
    TempDir dir;
    PadCard card{dir.Path()};
    CPadBankStore store;
    PadCommands commands{store};

    void Open() {
        ASSERT_TRUE(store.OpenCardRoot(card.card.root));
        store.SelectBank(0);
        store.SelectNumber(0);
    }
};

} // namespace

TEST_F(MovieInformation, ShowsNameSizeRunningTimeAndRate) {
    ASSERT_TRUE(MakeMedia(card.card.folder / "K72_0001.AVI",
                          "-f lavfi -i testsrc2=size=64x48:rate=30000/1001 -frames:v 30 -c:v mjpeg"));
    ASSERT_TRUE(MakeMedia(card.card.folder / "K72_0002.AVI",
                          "-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 40 -c:v mjpeg"));
    card.PutMovie(0, 0, 5, "K72_0001.AVI");
    card.PutMovie(0, 0, 6, "K72_0002.AVI");
    Open();

    ScriptedMovieInformation dialog(commands);
    dialog.SetPad(0, 0, 5);
    EXPECT_EQ(dialog.windowTitle(), "Information");
    // The form keeps its width and its controls their places; the player lies below it.
    EXPECT_EQ(dialog.width(), DluSize(184, 84).width());
    EXPECT_EQ(dialog.CloseButton()->geometry(), DluRect(131, 67, 50, 14));
    EXPECT_GE(dialog.Player()->y(), DluSize(184, 84).height());
    EXPECT_LE(dialog.Player()->geometry().bottom(), dialog.height());
    EXPECT_EQ(dialog.InfoBox()->NameText(), "K72_0001.AVI");
    EXPECT_EQ(dialog.InfoBox()->RateText(), "(29.97 fps)");
    EXPECT_EQ(dialog.InfoBox()->SizeText(), "SIZE:0.0MB (00min 01sec 00)");
    EXPECT_EQ(dialog.BankLabel()->text(), "BANK:A- 1");
    EXPECT_EQ(dialog.PadLabel()->text(), "PAD:6");
    EXPECT_EQ(dialog.AudioNameLabel()->text(), ""); // no sound attached
    // The box draws its texts; a screen reader reads them as text.
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(dialog.InfoBox());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->role(), QAccessible::StaticText);
    EXPECT_EQ(box->text(QAccessible::Name), "K72_0001.AVI");
    EXPECT_EQ(box->text(QAccessible::Description), "SIZE:0.0MB (00min 01sec 00) (29.97 fps)");
    // The header labels line up from x = 10 at y = 5.
    EXPECT_EQ(dialog.BankLabel()->pos(), QPoint(10, 5));
    EXPECT_EQ(dialog.PadLabel()->x(), dialog.BankLabel()->width() + 20);

    // The movie's name before it was converted, where the card knows it, under the card name.
    EXPECT_EQ(dialog.InfoBox()->OriginalText(), "");
    card.RecordOriginalName("K72_0002.AVI", "Holiday at the Sea.mov");
    ScriptedMovieInformation pal(commands);
    pal.SetPad(0, 0, 6);
    EXPECT_EQ(pal.InfoBox()->RateText(), "(25 fps)");
    EXPECT_EQ(pal.InfoBox()->SizeText(), "SIZE:0.0MB (00min 01sec 15)");
    EXPECT_EQ(pal.InfoBox()->NameText(), "K72_0002.AVI");
    EXPECT_EQ(pal.InfoBox()->OriginalText(), "from Holiday at the Sea.mov");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(pal.InfoBox())->text(QAccessible::Name),
              "K72_0002.AVI, from Holiday at the Sea.mov");

    // The movie is ready to play inside the window; the desktop's player is the other way.
    EXPECT_TRUE(dialog.Player()->PlayButton()->isEnabled());
    EXPECT_NEAR(dialog.Player()->Duration(), 30 / (30000.0 / 1001), 0.01);
    EXPECT_EQ(dialog.PreviewButton()->text(), "Open in Player");
    EXPECT_GE(dialog.PreviewButton()->width(),
              dialog.PreviewButton()->fontMetrics().horizontalAdvance("Open in Player") + 8);
    dialog.PreviewButton()->click();
    ASSERT_EQ(dialog.opened.size(), 1u);
    EXPECT_EQ(dialog.opened[0].filename(), "K72_0001.AVI");
}

// The movie plays with the pad's WAV in place of its own sound, from the moment the WAV is attached.
TEST_F(MovieInformation, ThePlayerTakesThePadsSound) {
    ASSERT_TRUE(MakeMedia(card.card.folder / "K72_0001.AVI",
                          "-f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 50 -c:v mjpeg"));
    card.PutMovie(0, 0, 3, "K72_0001.AVI");
    Open();
    ScriptedMovieInformation dialog(commands);
    dialog.SetPad(0, 0, 3);
    EXPECT_EQ(dialog.Player()->StatusLabel()->text(), "This pad has no sound."); // the movie has none
    // What the player says is what a screen reader reads.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(dialog.Player()->StatusLabel())->text(QAccessible::Name),
              "This pad has no sound.");
    MakeWav(dir / "rain.wav", 2, 44100, 16, 44100);
    dialog.audioAnswer = QString::fromStdString((dir / "rain.wav").string());
    dialog.AudioButton()->click();
    ASSERT_TRUE(dialog.messages.empty());
    EXPECT_TRUE(dialog.Player()->StatusLabel()->text().isEmpty());
    EXPECT_NEAR(dialog.Player()->Duration(), 2.0, 1e-6); // the movie's length, not the sound's
    // The same when the window opens again on the pad.
    ScriptedMovieInformation again(commands);
    again.SetPad(0, 0, 3);
    EXPECT_TRUE(again.Player()->StatusLabel()->text().isEmpty());
}

TEST_F(MovieInformation, UnreadableMovieShowsThirtyAndZero) {
    card.card.AddFile("K72_0001.AVI", "RIFF but not much of one");
    card.PutMovie(0, 0, 0, "K72_0001.AVI");
    card.PutMovie(0, 0, 1, "K72_0009.AVI"); // not on the card at all
    Open();
    ScriptedMovieInformation dialog(commands);
    dialog.SetPad(0, 0, 0);
    EXPECT_EQ(dialog.InfoBox()->RateText(), "(30 fps)");
    EXPECT_EQ(dialog.InfoBox()->SizeText(), "SIZE:0.0MB (00min 00sec 00)");
    ScriptedMovieInformation missing(commands);
    missing.SetPad(0, 0, 1);
    EXPECT_EQ(missing.InfoBox()->NameText(), "K72_0009.AVI");
    EXPECT_EQ(missing.InfoBox()->SizeText(), "SIZE:0.0MB (00min 00sec 00)");
}

TEST_F(MovieInformation, AudioAttachesASoundAndRefusesOthers) {
    card.card.AddFile("K72_0001.AVI");
    card.PutMovie(0, 0, 2, "K72_0001.AVI");
    Open();
    ScriptedMovieInformation dialog(commands);
    dialog.SetPad(0, 0, 2);
    const std::string name = "twenty-one chars.wav";
    MakeWav(dir / (name + "x"));
    std::filesystem::rename(dir / (name + "x"), dir / ("x" + name));
    ASSERT_EQ(("x" + name).size(), 21u);
    dialog.audioAnswer = QString::fromStdString((dir / ("x" + name)).string());
    dialog.AudioButton()->click();
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(dialog.AudioDisplayText().toStdString(), "x" + name);
    EXPECT_EQ(dialog.AudioNameLabel()->text().toStdString(), ("x" + name).substr(0, 15) + "...");

    // A mono sound: the user is told why it cannot be used as it is and asked; declined, nothing
    // changes and no error follows.
    MakeWav(dir / "mono.wav", 1);
    dialog.audioAnswer = QString::fromStdString((dir / "mono.wav").string());
    dialog.AudioButton()->click();
    ASSERT_EQ(dialog.questions.size(), 1u);
    EXPECT_TRUE(dialog.questions[0].contains("it is mono, not stereo")) << dialog.questions[0].toStdString();
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(dialog.AudioDisplayText().toStdString(), "x" + name);
    // Agreed: converted into the device's form and attached under its 8.3 name; the sound it replaces,
    // which no pad names any more, is deleted when the user agrees to that too.
    const auto sounds = [this] {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(card.card.folder)) {
            count += entry.path().extension() == ".WAV" ? 1 : 0;
        }
        return count;
    };
    EXPECT_EQ(sounds(), 1);
    dialog.convertAnswer = true;
    dialog.AudioButton()->click();
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(dialog.AudioDisplayText().toStdString(), "MONO.WAV");
    ASSERT_EQ(dialog.questions.size(), 3u);
    EXPECT_TRUE(dialog.questions[2].startsWith("Pad 3 no longer uses the sound "))
        << dialog.questions[2].toStdString();
    EXPECT_EQ(sounds(), 1);
    EXPECT_EQ(CConversionManager::CheckPcmFile((card.card.folder / "MONO.WAV").string()), 0);
    // Something that holds no sound: the conversion fails with the format message.
    WriteFileBytes(dir / "notes.mp3", {'h', 'i'});
    dialog.audioAnswer = QString::fromStdString((dir / "notes.mp3").string());
    dialog.AudioButton()->click();
    ASSERT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(dialog.messages[0],
              "Failed to load the file.\nPlease select a file in a format supported by this converter.");
    EXPECT_EQ(dialog.AudioDisplayText().toStdString(), "MONO.WAV");

    dialog.audioAnswer.clear(); // Cancel in the file window
    dialog.AudioButton()->click();
    EXPECT_EQ(dialog.messages.size(), 1u);

    // The sound shows its name when the dialog opens again.
    ScriptedMovieInformation again(commands);
    again.SetPad(0, 0, 2);
    EXPECT_FALSE(again.AudioDisplayText().isEmpty());
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / again.AudioDisplayText().toStdString()));

    // The cross after its name takes it off: Cancel changes nothing, Yes deletes the file too.
    ASSERT_TRUE(again.RemoveSoundButton()->isVisibleTo(&again));
    EXPECT_EQ(again.RemoveSoundButton()->accessibleName(), "Remove Sound");
    const auto before = card.card.PadBytes();
    again.RemoveSoundButton()->click();
    ASSERT_EQ(again.questions.size(), 1u);
    EXPECT_TRUE(again.questions[0].startsWith("Take the sound MONO.WAV off pad 3?"))
        << again.questions[0].toStdString();
    EXPECT_EQ(card.card.PadBytes(), before);
    again.removeAnswer = QMessageBox::Yes;
    again.RemoveSoundButton()->click();
    EXPECT_TRUE(again.messages.empty());
    EXPECT_EQ(again.AudioDisplayText(), "");
    EXPECT_FALSE(again.RemoveSoundButton()->isVisibleTo(&again));
    EXPECT_TRUE(IsEmptyName(store.Entry(2)->movie->audioFileName));
    EXPECT_EQ(sounds(), 0);
}
