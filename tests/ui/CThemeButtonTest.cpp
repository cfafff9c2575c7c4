// The themed arrow button in its four states, under the style the program uses and under the
// classic one.
#include "ui/CThemeButton.h"
#include "UiTestSupport.h"
#include "resources/Artwork.h"

#include <QApplication>
#include <QEnterEvent>
#include <QStyle>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <memory>

using namespace k72;
using namespace k72test;

namespace {

const std::string kBlack = "(0,0,0)";
const std::string kGrey = "(192,192,192)";

// A point of the triangle (its middle column, well inside) and one beside it on the button face.
constexpr int kTriangleX = CThemeButton::kIconLeft + 15;
constexpr int kTriangleY = CThemeButton::kIconTop + 18;
constexpr int kFaceX = 12;
constexpr int kFaceY = 11;

std::unique_ptr<CThemeButton> MakeUpButton() {
    auto button = std::make_unique<CThemeButton>(QString::fromUtf8("\u25b2"));
    button->setGeometry(0, 0, 75, 23);
    button->SetIcons(QIcon(artwork::ResourcePath(artwork::kArrowUp)),
                     QIcon(artwork::ResourcePath(artwork::kArrowUpDisabled)));
    return button;
}

void Enter(QWidget& widget) {
    QEnterEvent event(QPointF(30, 10), QPointF(30, 10), QPointF(30, 10));
    QApplication::sendEvent(&widget, &event);
}

void Leave(QWidget& widget) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&widget, &event);
}

} // namespace

TEST(CThemeButton, TriangleSitsWhereTheIconPutsIt) {
    auto button = MakeUpButton();
    const QImage image = Render(*button);
    // The icon's triangle covers columns 29 … 43 and rows 5 … 17 of the button.
    EXPECT_EQ(PixelAt(image, 29, 17), kBlack);
    EXPECT_EQ(PixelAt(image, 43, 17), kBlack);
    EXPECT_EQ(PixelAt(image, 36, 5), kBlack);
    EXPECT_NE(PixelAt(image, 28, 17), kBlack);
    EXPECT_NE(PixelAt(image, 44, 17), kBlack);
    EXPECT_NE(PixelAt(image, 36, 4), kBlack);
    EXPECT_NE(PixelAt(image, 36, 18), kBlack);
    // The caption is never drawn: the only black on the button is the triangle.
    int black = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            black += image.pixelColor(x, y) == QColor(0, 0, 0);
        }
    }
    const QImage icon =
        QImage(artwork::ResourcePath(artwork::kArrowUp)).convertToFormat(QImage::Format_ARGB32);
    int iconBlack = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            iconBlack += icon.pixelColor(x, y) == QColor(0, 0, 0);
        }
    }
    EXPECT_EQ(iconBlack, 105);
    EXPECT_EQ(black, iconBlack);
}

TEST(CThemeButton, HotWhileTheMouseIsOver) {
    auto button = MakeUpButton();
    const QImage normal = Render(*button);
    Enter(*button);
    EXPECT_TRUE(button->IsHovering());
    const QImage hot = Render(*button);
    EXPECT_NE(PixelAt(hot, kFaceX, kFaceY), PixelAt(normal, kFaceX, kFaceY));
    EXPECT_EQ(PixelAt(hot, kTriangleX, kTriangleY), kBlack);
    Leave(*button);
    EXPECT_FALSE(button->IsHovering());
    EXPECT_EQ(Render(*button), normal);
}

TEST(CThemeButton, PressedShowsThePressedBackgroundAndTheBlackTriangle) {
    auto button = MakeUpButton();
    const QImage normal = Render(*button);
    Enter(*button);
    const QImage hot = Render(*button);
    button->setDown(true);
    const QImage pressed = Render(*button);
    EXPECT_NE(PixelAt(pressed, kFaceX, kFaceY), PixelAt(normal, kFaceX, kFaceY));
    EXPECT_NE(PixelAt(pressed, kFaceX, kFaceY), PixelAt(hot, kFaceX, kFaceY));
    EXPECT_EQ(PixelAt(pressed, kTriangleX, kTriangleY), kBlack);
    EXPECT_EQ(PixelAt(pressed, 29, 17), kBlack);
}

TEST(CThemeButton, DisabledShowsTheGreyTriangleEvenWhenHovered) {
    auto button = MakeUpButton();
    const QImage normal = Render(*button);
    button->setEnabled(false);
    const QImage disabled = Render(*button);
    EXPECT_EQ(PixelAt(disabled, kTriangleX, kTriangleY), kGrey);
    EXPECT_EQ(PixelAt(disabled, 29, 17), kGrey);
    Enter(*button);
    EXPECT_EQ(Render(*button), disabled);
    button->setDown(true);
    EXPECT_EQ(PixelAt(Render(*button), kTriangleX, kTriangleY), kGrey);
    button->setEnabled(true);
    button->setDown(false);
    Leave(*button);
    EXPECT_EQ(Render(*button), normal);
}

TEST(CThemeButton, FocusRectangleIsShrunkByFour) {
    auto button = MakeUpButton();
    const QImage plain = Render(*button);
    button->show();
    QApplication::setActiveWindow(button.get());
    button->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(button->hasFocus());
    const QImage focused = Render(*button);
    // Something is drawn on the ring four pixels inside the edge, and nothing changes outside it.
    bool ring = false;
    for (int x = 4; x <= 70; ++x) {
        ring = ring || focused.pixel(x, 4) != plain.pixel(x, 4);
    }
    EXPECT_TRUE(ring);
    for (int x = 0; x < 75; ++x) {
        EXPECT_EQ(focused.pixel(x, 2), plain.pixel(x, 2)) << x;
    }
    button->hide();
}

TEST(CThemeButton, ClassicStyleDisabledShowsGreyTriangle) {
    std::unique_ptr<QStyle> classic(QStyleFactory::create(QStringLiteral("Windows")));
    ASSERT_NE(classic, nullptr);
    auto button = MakeUpButton();
    button->setStyle(classic.get());
    const QImage enabled = Render(*button);
    EXPECT_EQ(PixelAt(enabled, kTriangleX, kTriangleY), kBlack);
    button->setEnabled(false);
    Enter(*button);
    const QImage disabled = Render(*button);
    EXPECT_EQ(PixelAt(disabled, kTriangleX, kTriangleY), kGrey);
    button->setEnabled(true);
    button->setDown(true);
    const QImage pressed = Render(*button);
    // The classic frame is drawn sunk: its top-left edge darkens.
    EXPECT_NE(PixelAt(pressed, 1, 1), PixelAt(enabled, 1, 1));
    EXPECT_EQ(PixelAt(pressed, kTriangleX, kTriangleY), kBlack);
    button->setStyle(nullptr);
}
