// Converting a sound for a pad from the information dialogs: the conversion runs beside the window,
// whose event loop goes on and whose own buttons wait behind the progress window; Cancel or a failure
// leaves the card and the temporary folder as they were and says so; a finished conversion attaches the
// very WAV the converter writes.

#include "UiTestSupport.h"
#include "codecs/SoundConverter.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "store/ShortName.h"
#include "ui/CDialogMovieInformation.h"
#include "ui/CDialogPictureInformation.h"
#include "ui/QtPadQuestions.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>

using namespace k72;
using namespace k72test;

namespace {

using FilesByPath = std::map<std::string, std::vector<std::uint8_t>>;

// Every file under root with its bytes, by its path below root.
FilesByPath FilesUnder(const std::filesystem::path& root) {
    FilesByPath files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        files[std::filesystem::relative(entry.path(), root).string()] =
            entry.is_regular_file() ? ReadFileBytes(entry.path()) : std::vector<std::uint8_t>{};
    }
    return files;
}

std::size_t FolderEntryCount(const std::filesystem::path& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

// Qt's temporary folders go into a folder of the test while this lives.
class TemporaryFolderOfTest {
public:
    explicit TemporaryFolderOfTest(const std::filesystem::path& folder)
        : had_(qEnvironmentVariableIsSet("TMPDIR")), old_(qgetenv("TMPDIR")) {
        qputenv("TMPDIR", QByteArray::fromStdString(folder.string()));
    }
    ~TemporaryFolderOfTest() {
        if (had_) {
            qputenv("TMPDIR", old_);
        } else {
            qunsetenv("TMPDIR");
        }
    }
    TemporaryFolderOfTest(const TemporaryFolderOfTest&) = delete;
    TemporaryFolderOfTest& operator=(const TemporaryFolderOfTest&) = delete;

private:
    bool had_;
    QByteArray old_;
};

// Counts the window's timer ticks and reads the sound's progress window at each while it is up.
class SoundProgressWatch {
public:
    SoundProgressWatch() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            ++ticks;
            auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (progress == nullptr || !progress->isVisible() ||
                progress->objectName() != QLatin1String(QtPadQuestions::kProgressName)) {
                return;
            }
            if (!shownAtTick) {
                shownAtTick = ticks;
                label = progress->labelText();
            }
            values.push_back(progress->value());
            if (onTick) {
                onTick(*progress);
            }
        });
        timer_.start();
    }

    int ticks = 0;
    std::optional<int> shownAtTick;
    QString label;
    std::vector<int> values;
    std::function<void(QProgressDialog&)> onTick;

private:
    QTimer timer_;
};

void ExpectNeverFalling(const std::vector<int>& values) {
    for (std::size_t i = 1; i < values.size(); ++i) {
        EXPECT_GE(values[i], values[i - 1]) << "at reading " << i;
    }
}

class SoundScriptedMovie : public CDialogMovieInformation {
public:
    using CDialogMovieInformation::CDialogMovieInformation;
    QString audioAnswer;
    int audioQuestions = 0;
    std::vector<QString> messages;

protected:
    QString AskAudioFile() override {
        ++audioQuestions;
        return audioAnswer;
    }
    bool AskConvertSound(const QString&) override { return true; }
    void ShowMessage(const QString& text) override { messages.push_back(text); }
    void OpenWithDesktop(const std::filesystem::path&) override {}
};

class SoundScriptedPictures : public CDialogPictureInformation {
public:
    using CDialogPictureInformation::CDialogPictureInformation;
    QString audioAnswer;
    std::vector<QString> messages;

protected:
    QString AskAudioFile() override { return audioAnswer; }
    bool AskConvertSound(const QString&) override { return true; }
    void ShowMessage(const QString& text, bool) override { messages.push_back(text); }
    void OpenWithDesktop(const std::filesystem::path&) override {}
};

// A click on the button as the window system delivers it, to its window: a window behind a modal one
// takes none.
void ClickThroughWindow(QWidget& window, QWidget& button) {
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                      button.mapTo(&window, button.rect().center()));
}

class SoundConversionWindow : public ::testing::Test {
protected:
    TempDir dir;
    TempDir temporary;
    PadCard card{dir.Path()};
    CPadBankStore store;
    PadCommands commands{store};

    // A movie pad (bank A, number 1, pad 3) with the sound RAIN.WAV, and a picture pad (pad 4).
    void SetUp() override {
        card.card.AddFile("K72_0001.AVI");
        MakeWav(card.card.folder / "RAIN.WAV");
        card.PutMovie(0, 0, 2, "K72_0001.AVI", "RAIN.WAV");
        card.AddPicture("K72_0002.JPG", Qt::red);
        card.PutStills(0, 0, 3, {"K72_0002.JPG"});
        OpenCard();
    }
    void OpenCard() {
        ASSERT_TRUE(store.OpenCardRoot(card.card.root));
        store.SelectBank(0);
        store.SelectNumber(0);
    }
    // The card as the next open finds it, pad file included; the store is closed to write it out, then
    // opened again.
    void ReadCardAsStored(FilesByPath& files) {
        store.Close();
        files = FilesUnder(card.card.root);
        OpenCard();
    }
    // Picks source as the movie pad's sound in a dialog of its own, checks that the pad kept its sound
    // and returns what the dialog said.
    std::vector<QString> MessagesOfAFailedConversion(const std::filesystem::path& source) {
        SoundScriptedMovie dialog(commands);
        dialog.SetPad(0, 0, 2);
        dialog.audioAnswer = QString::fromStdString(source.string());
        dialog.AudioButton()->click();
        EXPECT_EQ(dialog.AudioDisplayText(), "RAIN.WAV") << "the pad's sound changed";
        return dialog.messages;
    }
    // Minutes of an 8 kHz mono tone: a WAV the device cannot play, made quickly, and converted into
    // about 10 MB of the device's form per minute.
    std::filesystem::path Tone(const std::string& name, int minutes) {
        const auto path = dir / name;
        EXPECT_TRUE(MakeMedia(path, "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=" +
                                        std::to_string(minutes * 60) + " -c:a pcm_s16le"));
        return path;
    }
};

} // namespace

TEST_F(SoundConversionWindow, CancelStopsALongConversionAndLeavesTheCardAsItWas) {
    // Forty minutes: seconds of converting on any machine, far longer than the test waits to cancel.
    const auto source = Tone("long talk.wav", 40);
    FilesByPath before;
    ASSERT_NO_FATAL_FAILURE(ReadCardAsStored(before));

    TemporaryFolderOfTest inTest(temporary.Path());
    SoundScriptedMovie dialog(commands);
    dialog.SetPad(0, 0, 2);
    dialog.show();
    ASSERT_EQ(dialog.AudioDisplayText(), "RAIN.WAV");
    dialog.audioAnswer = QString::fromStdString(source.string());

    SoundProgressWatch watch;
    bool clickedBehind = false;
    std::size_t temporaryEntriesWhileConverting = 0;
    watch.onTick = [&](QProgressDialog& progress) {
        if (!clickedBehind) {
            // The dialog behind the progress window takes no click: no second sound is asked for.
            clickedBehind = true;
            ClickThroughWindow(dialog, *dialog.AudioButton());
            temporaryEntriesWhileConverting = FolderEntryCount(temporary.Path());
            return;
        }
        // Cancel once the bar has moved and the window's loop has run a while beside the conversion.
        if (progress.value() > 0 && watch.ticks - *watch.shownAtTick >= 10) {
            progress.findChild<QPushButton*>()->click();
        }
    };
    const int ticksBefore = watch.ticks;
    dialog.AudioButton()->click();
    const int ticksWhileConverting = watch.ticks - ticksBefore;

    ASSERT_TRUE(watch.shownAtTick.has_value()) << "no progress window";
    EXPECT_EQ(watch.label.toStdString(), "Converting \"long talk.wav\" into the K-72's WAV form...");
    // Ten ticks with the progress window up, and more before it appeared.
    EXPECT_GE(ticksWhileConverting, 12) << "the window's timers stood still while converting";
    ASSERT_FALSE(watch.values.empty());
    ExpectNeverFalling(watch.values);
    EXPECT_GT(watch.values.back(), 0);
    EXPECT_LT(watch.values.back(), 1000) << "the conversion finished before the cancel";
    EXPECT_TRUE(clickedBehind);
    EXPECT_EQ(dialog.audioQuestions, 1);
    EXPECT_EQ(temporaryEntriesWhileConverting, 1u) << "the conversion writes into the temporary folder";

    ASSERT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(dialog.messages[0].toStdString(),
              "The conversion of \"long talk.wav\" was cancelled.\nThe pad's sound has not changed.");
    EXPECT_EQ(dialog.AudioDisplayText(), "RAIN.WAV");
    EXPECT_EQ(FolderEntryCount(temporary.Path()), 0u)
        << "the half-written WAV is left in the temporary folder";
    store.Close();
    EXPECT_TRUE(FilesUnder(card.card.root) == before) << "the card changed";

    // The same click, with no progress window in front, does reach the dialog.
    dialog.audioAnswer.clear();
    ClickThroughWindow(dialog, *dialog.AudioButton());
    EXPECT_EQ(dialog.audioQuestions, 2);
}

TEST_F(SoundConversionWindow, AFinishedConversionAttachesTheConvertersWav) {
    const auto source = Tone("Evening Song.wav", 5);
    const auto expected = dir / "EXPECTED.WAV";
    ASSERT_EQ(ConvertSoundToDeviceWav(source.string(), expected.string()), 0);

    TemporaryFolderOfTest inTest(temporary.Path());
    SoundScriptedPictures dialog(commands);
    dialog.SetPad(0, 0, 3);
    dialog.show();
    dialog.audioAnswer = QString::fromStdString(source.string());
    SoundProgressWatch watch;
    const int ticksBefore = watch.ticks;
    dialog.AudioButton()->click();

    EXPECT_GT(watch.ticks - ticksBefore, 0) << "the window's timers stood still while converting";
    ExpectNeverFalling(watch.values);
    EXPECT_TRUE(dialog.messages.empty()) << dialog.messages[0].toStdString();
    const std::string name = ConvertedSoundName(source);
    ASSERT_EQ(name, "EVENIN~1.WAV");
    EXPECT_EQ(dialog.AudioDisplayText().toStdString(), name);
    ASSERT_TRUE(std::filesystem::exists(card.card.folder / name));
    EXPECT_TRUE(ReadFileBytes(card.card.folder / name) == ReadFileBytes(expected)) << "a different WAV";
    EXPECT_EQ(FolderEntryCount(temporary.Path()), 0u) << "the converted WAV is left in the temporary folder";

    // The pad file names it, as the next dialog on the pad shows.
    SoundScriptedPictures again(commands);
    again.SetPad(0, 0, 3);
    EXPECT_EQ(again.AudioDisplayText().toStdString(), name);
}

TEST_F(SoundConversionWindow, AFailedConversionSaysWhyAndLeavesTheCardAsItWas) {
    MakeWav(dir / "mono.wav", 1);
    WriteFileBytes(dir / "notes.mp3", {'n', 'o', 't', 'e', 's'});
    FilesByPath before;
    ASSERT_NO_FATAL_FAILURE(ReadCardAsStored(before));
    {
        // Nothing in it can be decoded.
        TemporaryFolderOfTest inTest(temporary.Path());
        const auto messages = MessagesOfAFailedConversion(dir / "notes.mp3");
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].toStdString(),
                  "Failed to load the file.\nPlease select a file in a format supported by this converter.");
        EXPECT_EQ(FolderEntryCount(temporary.Path()), 0u);
    }
    {
        // A sound that converts, but no temporary folder to convert it in (a file stands where it should
        // be): that is what the user hears, not that the sound's format is unknown.
        const auto missing = temporary / "not a folder";
        WriteFileBytes(missing, {'x'});
        TemporaryFolderOfTest inTest(missing);
        const auto messages = MessagesOfAFailedConversion(dir / "mono.wav");
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].startsWith(QStringLiteral("The temporary folder %1 cannot be used")
                                               .arg(QString::fromStdString(missing.string()))))
            << messages[0].toStdString();
        EXPECT_EQ(FolderEntryCount(temporary.Path()), 1u);
    }
    store.Close();
    EXPECT_TRUE(FilesUnder(card.card.root) == before) << "the card changed";
}
