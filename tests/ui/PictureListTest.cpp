// The still image list: its rows as drawn, and the dialog on a real card through the real store: the
// buttons, keys and drags that change the list, the preview before pictures are added, and the
// slideshow beside the list.
#include "UiTestSupport.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "ui/CDialogPictureInformation.h"
#include "ui/CPictureListBox.h"
#include "ui/CThemeButton.h"
#include "ui/DialogUnits.h"
#include "ui/PadHeader.h"
#include "ui/PicturePane.h"
#include "ui/PlayerWidget.h"

#include <QLabel>
#include <QPushButton>

#include <QAccessible>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <optional>

using namespace k72;
using namespace k72test;

namespace {

class ScriptedPictures : public CDialogPictureInformation {
public:
    using CDialogPictureInformation::CDialogPictureInformation;

    QStringList imageAnswer;
    QString audioAnswer;
    bool previewAnswer = true;         // Convert
    std::optional<FitMode> previewFit; // the fit chosen for every picture, if any
    std::vector<QStringList> previews;
    int deleteAnswer = QMessageBox::Cancel;
    int imageQuestions = 0;
    std::vector<QString> deleteQuestions;
    std::vector<QString> messages;
    std::vector<QString> soundQuestions;
    std::vector<std::filesystem::path> opened;

protected:
    QStringList AskImageFiles() override {
        ++imageQuestions;
        return imageAnswer;
    }
    QString AskAudioFile() override { return audioAnswer; }
    bool AskPreview(const QStringList& paths, std::vector<FitMode>& fits) override {
        previews.push_back(paths);
        if (previewFit) {
            fits.assign(fits.size(), *previewFit);
        }
        return previewAnswer;
    }
    bool AskConvertSound(const QString& question) override {
        soundQuestions.push_back(question);
        return true;
    }
    int AskDeleteFiles(const QString& text) override {
        deleteQuestions.push_back(text);
        return deleteAnswer;
    }
    void ShowMessage(const QString& text, bool) override { messages.push_back(text); }
    void OpenWithDesktop(const std::filesystem::path& path) override { opened.push_back(path); }
};

// The rows as shown: the card name, then the name the picture had before when the card knows it.
std::vector<std::string> RowTexts(const CPictureListBox& list) {
    std::vector<std::string> texts;
    for (int i = 0; i < list.count(); ++i) {
        texts.push_back(list.item(i)->text().toStdString());
    }
    return texts;
}

// The card names of the rows.
std::vector<std::string> RowNames(const CPictureListBox& list) {
    std::vector<std::string> names = RowTexts(list);
    for (std::string& name : names) {
        name = name.substr(0, name.find(" \u2014 "));
    }
    return names;
}

std::vector<std::string> StoredStills(const TestCard& card, int bank, int number, int pad) {
    const auto bytes = card.PadBytes();
    const std::size_t record = RecordAt(bank, number, pad);
    std::vector<std::string> names;
    const std::uint32_t count = GetLE32(bytes, record + 1308);
    for (std::uint32_t i = 0; i < count && i < 100; ++i) {
        names.push_back(GetName(bytes, record + 8 + 13 * i));
    }
    return names;
}

// The colour of a row's thumbnail, sampled in its middle.
QColor ThumbnailColour(CPictureListBox& list, int row) {
    const QRect rect = list.visualItemRect(list.item(row));
    const QImage image = list.viewport()->grab().toImage();
    return image.pixelColor(rect.left() + 100, rect.top() + 40);
}

class PictureList : public CardWithCommands {
protected:
    void SetUp() override {
        card.AddPicture("K72_0001.JPG", QColor(255, 0, 0));
        card.AddPicture("K72_0002.JPG", QColor(0, 255, 0));
        card.AddPicture("K72_0003.JPG", QColor(0, 0, 255));
        card.PutStills(1, 2, 3, {"K72_0001.JPG", "K72_0002.JPG", "K72_0003.JPG"});
        ASSERT_TRUE(store.OpenCardRoot(card.card.root));
        store.SelectBank(1);
        store.SelectNumber(2);
    }
};

} // namespace

TEST(PictureRows, DrawnAsTheRowRulesSay) {
    CPictureListBox list;
    list.resize(347, 270);
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    list.AddRow("K72_0001.JPG", picture, 1536000);
    list.AddRow("K72_0002.JPG", picture, 1023);
    list.AddRow("K72_0003.JPG", QImage(), 0, 1); // inserted between the two
    EXPECT_EQ(list.item(1)->text(), "K72_0003.JPG");
    EXPECT_EQ(CPictureListBox::RowText("K72_0001.JPG", 1536000), "K72_0001.JPG\nSIZE:1500KB");
    EXPECT_EQ(CPictureListBox::RowText("K72_0002.JPG", 1023), "K72_0002.JPG\nSIZE:0KB");
    list.setCurrentRow(2);
    list.show();
    const QImage image = list.viewport()->grab().toImage();
    const QRect first = list.visualItemRect(list.item(0));
    const QRect third = list.visualItemRect(list.item(2));
    EXPECT_EQ(first.height(), 80);
    EXPECT_EQ(third.top(), 160);
    EXPECT_EQ(PixelAt(image, first.left(), first.top() + 40), "(230,230,230)");     // edge
    EXPECT_EQ(PixelAt(image, first.right() - 5, first.top() + 5), "(250,250,250)"); // face
    EXPECT_EQ(PixelAt(image, third.right() - 5, third.top() + 5), "(34,185,244)");  // selected face
    EXPECT_EQ(PixelAt(image, 10, first.top() + 10), "(255,255,200)");               // number box
    EXPECT_EQ(PixelAt(image, 10, third.top() + 10), "(255,255,50)");
    EXPECT_EQ(PixelAt(image, 51, first.top() + 10), "(250,250,250)"); // box ends at x = 50
    EXPECT_EQ(PixelAt(image, 100, first.top() + 40), "(10,200,30)");  // thumbnail
    EXPECT_EQ(PixelAt(image, 52, first.top() + 2), "(10,200,30)");
    EXPECT_EQ(PixelAt(image, 147, first.top() + 77), "(10,200,30)");
    EXPECT_NE(PixelAt(image, 148, first.top() + 40), "(10,200,30)");
    // The number and the text are printed in black.
    const auto inked = [&](int left, int top, int width, int height) {
        int dark = 0;
        for (int y = top; y < top + height; ++y) {
            for (int x = left; x < left + width; ++x) {
                dark += image.pixelColor(x, y).lightness() < 80;
            }
        }
        return dark;
    };
    EXPECT_GT(inked(12, first.top() + 32, 36, 14), 10);
    EXPECT_GT(inked(185, first.top() + 20, 100, 30), 30);
}

// Where a dragged row lands: before the row whose upper half it is dropped on, after the one whose
// lower half; and where that puts it once it has left its own place.
TEST(PictureRows, WhereADraggedRowLands) {
    CPictureListBox list;
    list.resize(347, 400);
    for (int i = 0; i < 3; ++i) {
        list.AddRow(QStringLiteral("K72_000%1.JPG").arg(i + 1), QImage(), 0);
    }
    list.show();
    struct Drop {
        int y;
        int insertBefore;
    };
    for (const Drop& d : {Drop{10, 0}, Drop{70, 1}, Drop{90, 1}, Drop{230, 3}, Drop{300, 3}}) {
        EXPECT_EQ(list.InsertionRowAt(QPoint(100, d.y)), d.insertBefore) << "y " << d.y;
    }
    struct Move {
        int from;
        int insertBefore;
        int to;
    };
    for (const Move& m :
         {Move{0, 0, 0}, Move{0, 1, 0}, Move{0, 3, 2}, Move{2, 0, 0}, Move{2, 2, 2}, Move{1, 3, 2}}) {
        EXPECT_EQ(CPictureListBox::MovedTo(m.from, m.insertBefore), m.to)
            << m.from << " before " << m.insertBefore;
    }
    EXPECT_EQ(list.accessibleName(), "Pictures");
}

TEST(PadHeaderTexts, LabelsAndShortening) {
    EXPECT_EQ(BankLabelText(0, 0), "BANK:A- 1");
    EXPECT_EQ(BankLabelText(5, 11), "BANK:F-12");
    EXPECT_EQ(BankLabelText(6, 0), "BANK: - 1");
    EXPECT_EQ(BankLabelText(-1, 9), "BANK: -10");
    EXPECT_EQ(PadLabelText(11), "PAD:12");
    const QString thirty(30, QLatin1Char('a'));
    EXPECT_EQ(ShortenedName(thirty, 30, 25), thirty);
    EXPECT_EQ(ShortenedName(thirty + "b", 30, 25), QString(25, QLatin1Char('a')) + "...");
    EXPECT_EQ(ShortenedName(QString(20, QLatin1Char('x')), 20, 15), QString(20, QLatin1Char('x')));
    EXPECT_EQ(ShortenedName(QString(21, QLatin1Char('x')), 20, 15), QString(15, QLatin1Char('x')) + "...");
    EXPECT_EQ(ShortenedName(QString(), 20, 15), QString());
}

TEST_F(PictureList, OpensWithTheStoredOrderAndBothArrowsDisabled) {
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    EXPECT_EQ(dialog.windowTitle(), "Still Image List");
    EXPECT_EQ(RowNames(*dialog.List()),
              (std::vector<std::string>{"K72_0001.JPG", "K72_0002.JPG", "K72_0003.JPG"}));
    EXPECT_EQ(dialog.BankLabel()->text(), "BANK:B- 3");
    EXPECT_EQ(dialog.PadLabel()->text(), "PAD:4");
    EXPECT_EQ(dialog.AudioNameLabel()->text(), "");
    EXPECT_FALSE(dialog.UpButton()->isEnabled());
    EXPECT_FALSE(dialog.DownButton()->isEnabled());
    EXPECT_EQ(ThumbnailColour(*dialog.List(), 2).blue(), 254);
    dialog.List()->setCurrentRow(0);
    EXPECT_FALSE(dialog.UpButton()->isEnabled());
    EXPECT_TRUE(dialog.DownButton()->isEnabled());
    dialog.List()->setCurrentRow(1);
    EXPECT_TRUE(dialog.UpButton()->isEnabled());
    EXPECT_TRUE(dialog.DownButton()->isEnabled());
    dialog.List()->setCurrentRow(2);
    EXPECT_TRUE(dialog.UpButton()->isEnabled());
    EXPECT_FALSE(dialog.DownButton()->isEnabled());
}

TEST_F(PictureList, UpAndDownMoveTheEntriesOnTheCard) {
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    dialog.List()->setCurrentRow(1);
    dialog.UpButton()->click();
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3),
              (std::vector<std::string>{"K72_0002.JPG", "K72_0001.JPG", "K72_0003.JPG"}));
    EXPECT_EQ(RowNames(*dialog.List()), StoredStills(card.card, 1, 2, 3));
    EXPECT_EQ(dialog.List()->currentRow(), 0);
    EXPECT_EQ(ThumbnailColour(*dialog.List(), 0).green(), 255); // the moved picture is row 001
    EXPECT_FALSE(dialog.UpButton()->isEnabled());
    EXPECT_TRUE(dialog.DownButton()->isEnabled());

    dialog.UpButton()->click(); // at the top: nothing
    dialog.List()->setCurrentRow(2);
    dialog.DownButton()->click(); // at the bottom: nothing
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3),
              (std::vector<std::string>{"K72_0002.JPG", "K72_0001.JPG", "K72_0003.JPG"}));

    dialog.List()->setCurrentRow(1);
    dialog.DownButton()->click();
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3),
              (std::vector<std::string>{"K72_0002.JPG", "K72_0003.JPG", "K72_0001.JPG"}));
    EXPECT_EQ(RowNames(*dialog.List()), StoredStills(card.card, 1, 2, 3));
    EXPECT_EQ(dialog.List()->currentRow(), 2);
}

// The keyboard and the mouse do what the buttons do: Ctrl+Up and Ctrl+Down move the selected picture,
// Delete asks to remove it, and a row dragged to another place takes its picture there on the card.
TEST_F(PictureList, KeysAndDragsChangeTheCardLikeTheButtons) {
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    CPictureListBox& list = *dialog.List();
    list.setCurrentRow(0);
    QTest::keyClick(&list, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3),
              (std::vector<std::string>{"K72_0002.JPG", "K72_0001.JPG", "K72_0003.JPG"}));
    EXPECT_EQ(list.currentRow(), 1);
    QTest::keyClick(&list, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3),
              (std::vector<std::string>{"K72_0001.JPG", "K72_0002.JPG", "K72_0003.JPG"}));
    QTest::keyClick(&list, Qt::Key_Up, Qt::ControlModifier); // at the top: nothing
    EXPECT_EQ(list.currentRow(), 0);

    // The first picture dragged below the last.
    emit list.RowMoveRequested(0, 2);
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3),
              (std::vector<std::string>{"K72_0002.JPG", "K72_0003.JPG", "K72_0001.JPG"}));
    EXPECT_EQ(RowNames(list), StoredStills(card.card, 1, 2, 3));
    EXPECT_EQ(list.currentRow(), 2);
    EXPECT_EQ(ThumbnailColour(list, 2).red(), 254); // the red picture went with its row
    EXPECT_TRUE(dialog.UpButton()->isEnabled());
    EXPECT_FALSE(dialog.DownButton()->isEnabled());

    dialog.deleteAnswer = QMessageBox::No;
    QTest::keyClick(&list, Qt::Key_Delete);
    ASSERT_EQ(dialog.deleteQuestions.size(), 1u);
    EXPECT_TRUE(dialog.deleteQuestions[0].contains("K72_0001.JPG"))
        << dialog.deleteQuestions[0].toStdString();
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3), (std::vector<std::string>{"K72_0002.JPG", "K72_0003.JPG"}));
    EXPECT_EQ(RowNames(list), StoredStills(card.card, 1, 2, 3));
}

// Beside the list the pad's pictures play as a slideshow with its sound; the picture chosen in the list
// is the one shown, and the slideshow follows every change of the list.
TEST_F(PictureList, TheSlideshowFollowsTheList) {
    MakeWav(card.card.folder / "RAIN.WAV", 2, 44100, 16, 9 * 44100);
    store.Close();
    card.PutStills(1, 2, 3, {"K72_0001.JPG", "K72_0002.JPG", "K72_0003.JPG"}, "RAIN.WAV");
    ASSERT_TRUE(store.OpenCardRoot(card.card.root));
    store.SelectBank(1);
    store.SelectNumber(2);
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    PlayerWidget& player = *dialog.Player();
    EXPECT_TRUE(player.PlayButton()->isEnabled());
    EXPECT_NEAR(player.Duration(), 9.0, 1e-6); // the sound outlasts three pictures of 2 s
    EXPECT_TRUE(player.StatusLabel()->text().isEmpty());
    const auto shownColour = [&player] {
        const QImage& picture = player.Pane()->Picture();
        return picture.isNull() ? QColor() : picture.pixelColor(picture.width() / 2, picture.height() / 2);
    };
    EXPECT_GT(shownColour().red(), 200);
    dialog.List()->setCurrentRow(2);
    EXPECT_GT(shownColour().blue(), 200);
    EXPECT_NEAR(player.Position(), 2 * CDialogPictureInformation::kSecondsPerPicture, 1e-9);
    // Moved up, the blue picture is the second one of the slideshow, and still the one shown.
    dialog.UpButton()->click();
    EXPECT_NEAR(player.Position(), CDialogPictureInformation::kSecondsPerPicture, 1e-9);
    EXPECT_GT(shownColour().blue(), 200);
    player.SeekTo(2 * CDialogPictureInformation::kSecondsPerPicture);
    EXPECT_GT(shownColour().green(), 200);
    // A pad whose files are all gone offers nothing to play.
    for (const char* name : {"K72_0001.JPG", "K72_0002.JPG", "K72_0003.JPG"}) {
        std::filesystem::remove(card.card.folder / name);
    }
    ScriptedPictures empty(commands);
    empty.SetPad(1, 2, 3);
    EXPECT_FALSE(empty.Player()->PlayButton()->isEnabled());
    EXPECT_EQ(empty.Player()->StatusLabel()->text(), "This pad's files cannot be played.");
}

// Pictures added in the list are first shown in the preview, when the preferences ask for one: nothing
// is converted without Convert, and each picture gets the fit chosen for it there.
TEST_F(PictureList, PicturesAddedThroughThePreview) {
    QImage wide(320, 180, QImage::Format_RGB32);
    wide.fill(QColor(250, 0, 0));
    ASSERT_TRUE(wide.save(QString::fromStdString((dir / "wide.png").string())));
    const QStringList chosen{QString::fromStdString((dir / "wide.png").string())};
    struct Case {
        const char* what;
        bool preview;
        bool convert;
        std::optional<FitMode> fit;
        std::size_t previews;
        bool added;
        bool barsAtTheTop; // letterboxed: black above the picture
    };
    // The pictures the pad had come without a name of their own; each added one shows its file's.
    const std::size_t unnamed = StoredStills(card.card, 1, 2, 3).size();
    for (const Case& c :
         {Case{"preview off: converted with the settings' stretch", false, true, {}, 0, true, false},
          Case{"preview, Cancel: nothing converted", true, false, {}, 1, false, false},
          Case{"preview, letterbox chosen", true, true, FitMode::Letterbox, 1, true, true},
          Case{"preview, stretch kept", true, true, {}, 1, true, false}}) {
        Settings settings = commands.GetSettings();
        settings.fit = FitMode::Stretch;
        settings.previewBeforeConverting = c.preview;
        commands.SetSettings(settings);
        ScriptedPictures dialog(commands);
        dialog.SetPad(1, 2, 3);
        dialog.imageAnswer = chosen;
        dialog.previewAnswer = c.convert;
        dialog.previewFit = c.fit;
        const std::size_t before = StoredStills(card.card, 1, 2, 3).size();
        dialog.ImportButton()->click();
        EXPECT_EQ(dialog.previews.size(), c.previews) << c.what;
        const auto stills = StoredStills(card.card, 1, 2, 3);
        ASSERT_EQ(stills.size(), before + (c.added ? 1 : 0)) << c.what;
        std::vector<std::string> rows = stills;
        for (std::size_t i = unnamed; i < rows.size(); ++i) {
            rows[i] += " \u2014 wide.png";
        }
        EXPECT_EQ(RowTexts(*dialog.List()), rows) << c.what;
        EXPECT_EQ(commands.GetSettings().fit, FitMode::Stretch) << c.what << ": the user's own fit again";
        if (c.added) {
            const QImage made(QString::fromStdString((card.card.folder / stills.back()).string()));
            EXPECT_EQ(made.pixelColor(320, 10).red() < 40, c.barsAtTheTop) << c.what;
        }
    }
}

TEST_F(PictureList, RowsStayInStepWithPicturesThatCannotBeShown) {
    // A picture that is missing and one that cannot be decoded still get their rows, so that every
    // row acts on its own picture.
    std::filesystem::remove(card.card.folder / "K72_0002.JPG");
    card.card.AddFile("K72_0001.JPG", "not a picture");
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    EXPECT_EQ(RowNames(*dialog.List()),
              (std::vector<std::string>{"K72_0001.JPG", "K72_0002.JPG", "K72_0003.JPG"}));
    dialog.List()->setCurrentRow(2);
    dialog.deleteAnswer = QMessageBox::Yes;
    dialog.DeleteButton()->click();
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3), (std::vector<std::string>{"K72_0001.JPG", "K72_0002.JPG"}));
    EXPECT_FALSE(std::filesystem::exists(card.card.folder / "K72_0003.JPG"));
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / "K72_0001.JPG"));
}

TEST_F(PictureList, DeleteWithNoKeepsTheFileAndCancelChangesNothing) {
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    dialog.DeleteButton()->click(); // no row selected: nothing
    dialog.List()->setCurrentRow(0);
    dialog.deleteAnswer = QMessageBox::Cancel;
    dialog.DeleteButton()->click();
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3).size(), 3u);
    EXPECT_EQ(dialog.List()->count(), 3);
    dialog.deleteAnswer = QMessageBox::No;
    dialog.DeleteButton()->click();
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3), (std::vector<std::string>{"K72_0002.JPG", "K72_0003.JPG"}));
    EXPECT_EQ(RowNames(*dialog.List()), StoredStills(card.card, 1, 2, 3));
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / "K72_0001.JPG"));
}

// After a picture is removed nothing is selected: the arrows are off and a second Delete does nothing
// until the user picks a row. The question names the picture and the pad.
TEST_F(PictureList, DeleteLeavesNoRowSelectedAndNamesThePicture) {
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    dialog.show();
    dialog.List()->setCurrentRow(1);
    dialog.deleteAnswer = QMessageBox::No;
    dialog.DeleteButton()->click();
    ASSERT_EQ(dialog.deleteQuestions.size(), 1u);
    EXPECT_TRUE(dialog.deleteQuestions[0].startsWith("Remove picture 2, K72_0002.JPG, from pad 4?"))
        << dialog.deleteQuestions[0].toStdString();
    EXPECT_TRUE(dialog.deleteQuestions[0].contains("Delete file as well?"));
    EXPECT_EQ(RowNames(*dialog.List()), (std::vector<std::string>{"K72_0001.JPG", "K72_0003.JPG"}));
    EXPECT_EQ(dialog.List()->currentRow(), -1);
    EXPECT_TRUE(dialog.List()->selectedItems().isEmpty());
    EXPECT_FALSE(dialog.UpButton()->isEnabled());
    EXPECT_FALSE(dialog.DownButton()->isEnabled());
    dialog.DeleteButton()->click();
    EXPECT_EQ(dialog.deleteQuestions.size(), 1u);
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3), (std::vector<std::string>{"K72_0001.JPG", "K72_0003.JPG"}));
    dialog.UpButton()->click();
    dialog.DownButton()->click();
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3), (std::vector<std::string>{"K72_0001.JPG", "K72_0003.JPG"}));
    EXPECT_EQ(dialog.UpButton()->accessibleName(), "Move up");
    EXPECT_EQ(dialog.DownButton()->accessibleName(), "Move down");
}

// The real question: its default (Enter) is the safe Cancel, which changes nothing.
TEST_F(PictureList, TheDeleteQuestionDefaultsToCancel) {
    CDialogPictureInformation dialog(commands);
    dialog.SetPad(1, 2, 3);
    dialog.List()->setCurrentRow(0);
    ModalAnswerer enter = ModalAnswerer::PressingEnter(QMessageBox::Cancel);
    dialog.DeleteButton()->click();
    ASSERT_EQ(enter.texts.size(), 1u);
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3).size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / "K72_0001.JPG"));
}

// Pictures dropped on the list join the pad, converted, in the order dropped; anything else is refused.
TEST_F(PictureList, DroppedPicturesAreAdded) {
    for (const char* name : {"x.png", "y.JPG"}) {
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        ASSERT_TRUE(picture.save(QString::fromStdString((dir / name).string()), "PNG"));
    }
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    EXPECT_TRUE(dialog.acceptDrops());
    const auto drop = [&dialog](const std::vector<std::filesystem::path>& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto& file : files) {
            urls << QUrl::fromLocalFile(QString::fromStdString(file.string()));
        }
        data.setUrls(urls);
        const QPoint at = dialog.List()->geometry().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &enter);
        const bool accepted = enter.isAccepted();
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &dropped);
        return accepted;
    };
    EXPECT_FALSE(drop({dir / "x.png", dir / "clip.mp4"}));
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3).size(), 3u);
    EXPECT_TRUE(drop({dir / "x.png", dir / "y.JPG"}));
    const auto stills = StoredStills(card.card, 1, 2, 3);
    ASSERT_EQ(stills.size(), 5u);
    EXPECT_EQ(RowNames(*dialog.List()), stills);
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / stills[3]));
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / stills[4]));
    EXPECT_TRUE(dialog.messages.empty());
}

TEST_F(PictureList, ImportStopsAtOneHundredPictures) {
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i) {
        names.push_back("K72_0001.JPG");
    }
    store.Close();
    card.PutStills(1, 2, 4, names);
    ASSERT_TRUE(store.OpenCardRoot(card.card.root));
    store.SelectBank(1);
    store.SelectNumber(2);
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 4);
    EXPECT_EQ(dialog.List()->count(), 100);
    EXPECT_EQ(dialog.List()->item(99)->text(), "K72_0001.JPG");
    dialog.ImportButton()->click();
    ASSERT_EQ(dialog.messages.size(), 1u);
    EXPECT_EQ(dialog.messages[0], "No more than 100 still images can be assigned to one pad.");
    EXPECT_EQ(dialog.imageQuestions, 0);
}

TEST_F(PictureList, AudioAndPreview) {
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    const std::string longName = "a sound with a long name ok.wav"; // 31 characters
    ASSERT_EQ(longName.size(), 31u);
    MakeWav(dir / longName);
    dialog.audioAnswer = QString::fromStdString((dir / longName).string());
    dialog.AudioButton()->click();
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(dialog.AudioDisplayText().toStdString(), longName);
    EXPECT_EQ(dialog.AudioNameLabel()->text().toStdString(), longName.substr(0, 25) + "...");
    EXPECT_TRUE(dialog.soundQuestions.empty()) << "a WAV the device plays is used as it is";
    // A file that is no sound at all: offered for conversion, which fails; refused with the format
    // message, and the name stays.
    WriteFileBytes(dir / "bad.wav", {1, 2, 3});
    dialog.audioAnswer = QString::fromStdString((dir / "bad.wav").string());
    dialog.AudioButton()->click();
    ASSERT_EQ(dialog.soundQuestions.size(), 1u);
    EXPECT_TRUE(dialog.soundQuestions[0].contains("it is not a WAV file"))
        << dialog.soundQuestions[0].toStdString();
    ASSERT_EQ(dialog.messages.size(), 1u);
    EXPECT_TRUE(dialog.messages[0].startsWith("Failed to load the file."));
    EXPECT_EQ(dialog.AudioDisplayText().toStdString(), longName);

    dialog.PreviewButton()->click(); // nothing selected
    EXPECT_TRUE(dialog.opened.empty());
    dialog.List()->setCurrentRow(1);
    dialog.PreviewButton()->click();
    ASSERT_EQ(dialog.opened.size(), 1u);
    EXPECT_EQ(dialog.opened[0].filename(), "K72_0002.JPG");

    // Opened again, the pad names its sound by the short name the copy got.
    ScriptedPictures again(commands);
    again.SetPad(1, 2, 3);
    EXPECT_FALSE(again.AudioDisplayText().isEmpty());
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / again.AudioDisplayText().toStdString()));

    // The cross takes the sound off; with No its file stays on the card.
    const std::filesystem::path soundFile = card.card.folder / again.AudioDisplayText().toStdString();
    ASSERT_TRUE(again.RemoveSoundButton()->isVisibleTo(&again));
    again.deleteAnswer = QMessageBox::No;
    again.RemoveSoundButton()->click();
    ASSERT_EQ(again.deleteQuestions.size(), 1u);
    EXPECT_TRUE(again.deleteQuestions[0].startsWith("Take the sound "))
        << again.deleteQuestions[0].toStdString();
    EXPECT_EQ(again.AudioDisplayText(), "");
    EXPECT_FALSE(again.RemoveSoundButton()->isVisibleTo(&again));
    EXPECT_TRUE(IsEmptyName(store.Entry(3)->stills->audioFileName));
    EXPECT_TRUE(std::filesystem::exists(soundFile));
}

// A picture the card's record of sources knows shows the name it had before, after its card name.
TEST_F(PictureList, RowsNameThePicturesOriginals) {
    card.RecordOriginalName("K72_0002.JPG", "Green Field.png");
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    EXPECT_EQ(
        RowTexts(*dialog.List()),
        (std::vector<std::string>{"K72_0001.JPG", "K72_0002.JPG \u2014 Green Field.png", "K72_0003.JPG"}));
    // The list itself has a name on the accessibility tree.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(dialog.List())->text(QAccessible::Name), "Pictures");
}

TEST_F(PictureList, OnlyTheHeightCanChange) {
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    dialog.show(); // a hidden window takes its new size only when shown
    const QSize initial = dialog.InitialSize();
    // The form's size, and the player's column beside it.
    EXPECT_EQ(initial.height(), DluSize(232, 274).height());
    EXPECT_EQ(initial.width(), DluSize(232, 274).width() + CDialogPictureInformation::kPlayerWidth + 16);
    EXPECT_LE(dialog.CloseButton()->geometry().right(), DluSize(232, 274).width());
    EXPECT_GE(dialog.Player()->x(), DluSize(232, 274).width());
    const int listWidth = dialog.List()->width();
    const QPoint closeAt = dialog.CloseButton()->pos();
    dialog.resize(initial.width() + 100, initial.height() - 50);
    EXPECT_EQ(dialog.size(), initial);
    dialog.resize(initial.width(), initial.height() + 120);
    EXPECT_EQ(dialog.height(), initial.height() + 120);
    EXPECT_EQ(dialog.List()->height(), initial.height() + 120 - 80);
    EXPECT_EQ(dialog.List()->width(), listWidth);
    EXPECT_EQ(dialog.CloseButton()->pos(), closeAt + QPoint(0, 120));
    EXPECT_EQ(dialog.UpButton()->pos(), QPoint(0, initial.height() + 120 - 55));
    EXPECT_EQ(dialog.DownButton()->pos(), QPoint(0, initial.height() + 120 - 45 + 23));
}

TEST_F(PictureList, ImportAppendsTheConvertedPicture) {
    ScriptedPictures dialog(commands);
    dialog.SetPad(1, 2, 3);
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.fill(QColor(250, 200, 0));
    ASSERT_TRUE(picture.save(QString::fromStdString((dir / "sun.png").string())));
    dialog.imageAnswer = QStringList{QString::fromStdString((dir / "sun.png").string())};
    dialog.ImportButton()->click();
    EXPECT_EQ(dialog.imageQuestions, 1);
    EXPECT_EQ(RowNames(*dialog.List()),
              (std::vector<std::string>{"K72_0001.JPG", "K72_0002.JPG", "K72_0003.JPG", "K72_0004.JPG"}));
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3), RowNames(*dialog.List()));
    EXPECT_GT(CPictureListBox::FileSizeOf(dialog.List()->item(3)), 0u);
    const QImage thumbnail = CPictureListBox::PictureOf(dialog.List()->item(3));
    EXPECT_EQ(thumbnail.size(), QSize(640, 480)); // the device's picture, as converted

    // A file that is no picture adds nothing (the store reports the failure).
    WriteFileBytes(dir / "broken.png", {1, 2, 3, 4});
    dialog.imageAnswer = QStringList{QString::fromStdString((dir / "broken.png").string())};
    dialog.ImportButton()->click();
    EXPECT_EQ(dialog.List()->count(), 4);
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3).size(), 4u);

    // Several pictures picked at once are added in the order given.
    ASSERT_TRUE(picture.save(QString::fromStdString((dir / "moon.bmp").string())));
    dialog.imageAnswer = QStringList{QString::fromStdString((dir / "moon.bmp").string()),
                                     QString::fromStdString((dir / "sun.png").string())};
    dialog.ImportButton()->click();
    EXPECT_EQ(dialog.List()->count(), 6);
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3), RowNames(*dialog.List()));
    EXPECT_EQ(StoredStills(card.card, 1, 2, 3).back(), "K72_0006.JPG");
}
