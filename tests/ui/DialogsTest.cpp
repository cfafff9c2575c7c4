// The dialog-unit conversion, the preferences' read-back, the about box, the movie information box and
// where windows open.
#include "UiTestSupport.h"
#include "store/Settings.h"
#include "ui/CAboutDlg.h"
#include "ui/CDialogConversionInfo.h"
#include "ui/CDialogPreference.h"
#include "ui/CMovieInfoBox.h"
#include "ui/DialogUnits.h"
#include "ui/PictureBatchWindow.h"
#include "ui/ProgressDialog.h"
#include "ui/WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

using namespace k72;
using k72test::PixelAt;
using k72test::Render;

TEST(DialogUnits, RoundLikeTheDialogManager) {
    EXPECT_EQ(DluToPixelsX(50), 75);
    EXPECT_EQ(DluToPixelsY(14), 23);  // 22.75
    EXPECT_EQ(DluToPixelsX(7), 11);   // 10.5 rounds up
    EXPECT_EQ(DluToPixelsY(35), 57);  // 56.875
    EXPECT_EQ(DluToPixelsY(4), 7);    // 6.5 rounds up
    EXPECT_EQ(DluToPixelsX(-7), -11); // and away from zero below it
    EXPECT_EQ(DluRect(185, 0, 185, 198), QRect(278, 0, 278, 322));
    EXPECT_EQ(DluSize(242, 174), QSize(363, 283));
    EXPECT_EQ(DluSize(235, 55, DialogFont::Tahoma9), QSize(353, 96));
}

TEST(DialogUnits, FormTextsFitTheirControls) {
    // The stand-in font must keep the longest texts of the forms inside their fixed rectangles.
    const QFontMetrics metrics(FormFont());
    EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Information")) + 8, DluToPixelsX(50));
    EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("K-72 Drive :")), DluToPixelsX(39));
    EXPECT_LE(metrics.height(), DluToPixelsY(8));
    EXPECT_LE(QFontMetrics(ListFont()).height(), 14);
}

TEST(CDialogPreference, ShowsTheStoredValues) {
    CDialogPreference dialog;
    EXPECT_EQ(dialog.windowTitle(), "Preference");
    EXPECT_EQ(dialog.size(), DluSize(242, 246));
    EXPECT_EQ(dialog.NtscButton()->geometry().topLeft(), DluRect(41, 20, 69, 10).topLeft());
    EXPECT_EQ(dialog.QualitySlider()->geometry(), DluRect(10, 62, 221, 26));
    EXPECT_EQ(dialog.OkButton()->geometry(), DluRect(123, 225, 50, 14));
    EXPECT_EQ(dialog.FitList()->count(), 4);
    EXPECT_GE(dialog.FitList()->width(), dialog.FitList()->sizeHint().width());
    EXPECT_TRUE(dialog.OkButton()->isDefault());
    // The style's indicators may need more than the form's width: the texts are never cut off, and
    // the two radio buttons do not overlap.
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             dialog.NtscButton(), dialog.PalButton(), dialog.DeinterlaceBox(), dialog.PreviewBox()}) {
        EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
    }
    EXPECT_LT(dialog.NtscButton()->geometry().right(), dialog.PalButton()->geometry().left());
    EXPECT_EQ(dialog.QualitySlider()->minimum(), 0);
    EXPECT_EQ(dialog.QualitySlider()->maximum(), 4);
    EXPECT_EQ(dialog.QualitySlider()->tickPosition(), QSlider::TicksBothSides);

    dialog.SetSettings(Settings{1, 0, 0});
    EXPECT_TRUE(dialog.PalButton()->isChecked());
    EXPECT_FALSE(dialog.NtscButton()->isChecked());
    EXPECT_EQ(dialog.QualitySlider()->value(), 0);
    EXPECT_FALSE(dialog.DeinterlaceBox()->isChecked());

    // Out-of-range values: fps 2 is NTSC, quality 7 is Middle, deinterlace 2 is off.
    dialog.SetSettings(Settings{2, 7, 2});
    EXPECT_TRUE(dialog.NtscButton()->isChecked());
    EXPECT_FALSE(dialog.PalButton()->isChecked());
    EXPECT_EQ(dialog.QualitySlider()->value(), 2);
    EXPECT_FALSE(dialog.DeinterlaceBox()->isChecked());

    dialog.SetSettings(Settings{});
    EXPECT_TRUE(dialog.NtscButton()->isChecked());
    EXPECT_EQ(dialog.QualitySlider()->value(), 4);
    EXPECT_TRUE(dialog.DeinterlaceBox()->isChecked());
    EXPECT_TRUE(dialog.PreviewBox()->isChecked()); // the preview is on until it is turned off
    EXPECT_EQ(dialog.FitList()->currentIndex(), 0);
    Settings cropped;
    cropped.fit = FitMode::Crop;
    dialog.SetSettings(cropped);
    EXPECT_EQ(dialog.FitList()->currentText(), "Crop: fill the screen, cut the edges");
}

TEST(CDialogPreference, CancelReadsNothingBack) {
    CDialogPreference dialog;
    dialog.SetSettings(Settings{2, 7, 1});
    dialog.PalButton()->click();
    dialog.QualitySlider()->setValue(0);
    dialog.DeinterlaceBox()->setChecked(false);
    dialog.FitList()->setCurrentIndex(2);
    dialog.PreviewBox()->setChecked(false);
    dialog.CancelButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    const Settings kept = dialog.GetSettings();
    EXPECT_EQ(kept.fps, 2);
    EXPECT_EQ(kept.quality, 7);
    EXPECT_EQ(kept.deinterlace, 1);
    EXPECT_EQ(kept.fit, FitMode::Stretch);
    EXPECT_TRUE(kept.previewBeforeConverting);
}

TEST(CDialogPreference, OkReadsTheControlsBack) {
    CDialogPreference dialog;
    dialog.SetSettings(Settings{2, 7, 2});
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    // Confirming replaces what the controls showed for the out-of-range values.
    Settings read = dialog.GetSettings();
    EXPECT_EQ(read.fps, 0);
    EXPECT_EQ(read.quality, 2);
    EXPECT_EQ(read.deinterlace, 0);

    dialog.SetSettings(Settings{});
    dialog.PalButton()->click();
    dialog.QualitySlider()->setFocus();
    QTest::keyClick(dialog.QualitySlider(), Qt::Key_Left);
    dialog.DeinterlaceBox()->click();
    dialog.FitList()->setCurrentIndex(1);
    dialog.PreviewBox()->click();
    dialog.OkButton()->click();
    read = dialog.GetSettings();
    EXPECT_EQ(read.fps, 1);
    EXPECT_EQ(read.quality, 3);
    EXPECT_EQ(read.deinterlace, 0);
    EXPECT_EQ(read.fit, FitMode::Letterbox);
    EXPECT_FALSE(read.previewBeforeConverting);
    dialog.FitList()->setCurrentIndex(3);
    dialog.OkButton()->click();
    EXPECT_EQ(dialog.GetSettings().fit, FitMode::Auto);
}

TEST(CAboutDlg, TitleTextAndIcon) {
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), "About...");
    EXPECT_EQ(about.TextLabel()->text(), "K-72 IMAGE CONVERTER Version 1.03");
    EXPECT_EQ(about.IconLabel()->pixmap().size(), QSize(32, 32));
    EXPECT_TRUE(about.OkButton()->isDefault());
    // The text is not cut off and does not run into the OK button.
    const QRect text = about.TextLabel()->geometry();
    EXPECT_GE(text.width(),
              QFontMetrics(about.TextLabel()->font()).horizontalAdvance(about.TextLabel()->text()));
    EXPECT_LT(text.right(), about.OkButton()->geometry().left());
    about.OkButton()->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(CMovieInfoBox, DrawsItsThreeTextsOnWhite) {
    CMovieInfoBox box;
    box.resize(DluSize(178, 45));
    const QImage empty = Render(box);
    EXPECT_EQ(PixelAt(empty, 0, 0), "(255,255,255)");
    EXPECT_EQ(box.RateText(), "(30 fps)");
    EXPECT_EQ(box.SizeText(), "SIZE:0.0MB (00min 00sec 00)");

    box.SetMovie("K72_0013.AVI", 5500000, ComputeRunningTime(1800, 29.97));
    EXPECT_EQ(box.NameText(), "K72_0013.AVI");
    EXPECT_EQ(box.SizeText(), "SIZE:5.0MB (01min 00sec 02)");
    EXPECT_EQ(box.RateText(), "(29.97 fps)");
    const QImage image = Render(box);
    const auto inked = [&](int left, int top, int width, int height) {
        int dark = 0;
        for (int y = top; y < top + height; ++y) {
            for (int x = left; x < left + width; ++x) {
                dark += image.pixelColor(x, y).lightness() < 100;
            }
        }
        return dark;
    };
    EXPECT_GT(inked(15, 20, 90, 14), 20);  // name
    EXPECT_GT(inked(15, 35, 200, 14), 50); // size and running time
    EXPECT_GT(inked(120, 20, 80, 14), 20); // rate
    EXPECT_EQ(inked(0, 0, image.width(), 19), 0);
    EXPECT_EQ(inked(0, 0, 14, image.height()), 0);
}

// Where windows open: centred on the window they belong to, the information windows beside the main
// window, and always whole on the screen, title bar included.
TEST(WindowPlacement, CentredOrBesideAndAlwaysOnTheScreen) {
    const QRect area(0, 0, 1280, 800);
    struct Case {
        const char* what;
        QRect parent;
        QSize size;
        QPoint centred;
        QPoint beside;
    };
    for (const Case& c : {
             Case{"room everywhere", {400, 200, 300, 380}, {200, 100}, {450, 340}, {700, 200}},
             Case{"parent at the screen's corner", {0, 0, 300, 380}, {500, 400}, {0, 0}, {300, 0}},
             Case{"parent at the right and bottom edge",
                  {1100, 600, 180, 200},
                  {400, 300},
                  {880, 500},
                  {880, 500}},
             Case{"parent partly off the top left", {-200, -100, 300, 380}, {200, 100}, {0, 40}, {100, 0}},
             Case{"window larger than the screen", {400, 200, 300, 380}, {1400, 900}, {0, 0}, {0, 0}},
             Case{"no parent: the screen's centre", {}, {200, 100}, {540, 350}, {0, 0}},
         }) {
        EXPECT_EQ(CentredPosition(c.parent, c.size, area), c.centred) << c.what;
        if (!c.parent.isEmpty()) {
            EXPECT_EQ(BesidePosition(c.parent, c.size, area), c.beside) << c.what;
        }
    }
}

// The program's own windows use it: the progress windows and the conversion window open over their owner,
// and over the screen's centre while the owner is not shown.
TEST(WindowPlacement, ProgressWindowsOpenOverTheirOwner) {
    QWidget owner;
    owner.resize(300, 380);
    const QRect area = owner.screen()->availableGeometry();
    owner.move(area.left() + 20, area.top() + 30);
    for (const bool ownerShown : {true, false}) {
        owner.setVisible(ownerShown);
        ProgressDialog progress(&owner);
        CDialogConversionInfo conversion(&owner);
        PictureBatchWindow batch(&owner, 0, 3); // shows itself
        auto* pictures = owner.findChild<QWidget*>(QString::fromLatin1(PictureBatchWindow::kObjectName));
        ASSERT_NE(pictures, nullptr);
        for (QWidget* window : std::initializer_list<QWidget*>{&progress, &conversion, pictures}) {
            window->show();
            const QRect around = ownerShown ? owner.frameGeometry() : area;
            EXPECT_LE((window->frameGeometry().center() - around.center()).manhattanLength(), 2)
                << window->metaObject()->className() << (ownerShown ? " over its owner" : " alone");
            window->hide();
        }
    }
}
