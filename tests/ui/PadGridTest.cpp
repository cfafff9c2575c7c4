// The pad block: its geometry and hit test, the artwork it is drawn from, the pixels of CPadView and
// what it tells screen readers.
#include "UiTestSupport.h"
#include "resources/Artwork.h"
#include "ui/CPadView.h"
#include "ui/PadGeometry.h"

#include <QAccessible>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <array>

using namespace k72;
using k72test::PixelAt;
using k72test::Render;

namespace {

const std::string kField = "(137,137,137)";
const std::string kOutline = "(85,80,79)";
const std::string kDarkEdge = "(34,24,21)";
const std::string kEmptyRim = "(230,230,231)";
const std::string kMovieRim = "(246,0,0)";
const std::string kStillRim = "(0,169,247)";
const std::array<std::string, 3> kRings = {"(207,255,191)", "(64,255,0)", "(24,95,0)"};

QImage Region(const QImage& image, int x, int y) {
    return image.copy(x, y, padgrid::kCellWidth, padgrid::kCellHeight).convertToFormat(QImage::Format_RGB32);
}

QImage StripCell(int cell) {
    const QImage strip(artwork::ResourcePath(artwork::kPadCells));
    return Region(strip, 0, padgrid::kCellHeight * cell);
}

QImage Background() {
    return QImage(artwork::ResourcePath(artwork::kPadBackground)).convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(PadGeometry, HitTestInControlCoordinates) {
    EXPECT_EQ(padgrid::HitTestGrid(5, 5), 8);
    EXPECT_EQ(padgrid::HitTestGrid(5, 105), 0);
    EXPECT_EQ(padgrid::HitTestGrid(218, 144), 3);
    EXPECT_EQ(padgrid::HitTestGrid(51, 20), -1);
    EXPECT_EQ(padgrid::HitTestGrid(30, 50), -1);
    EXPECT_EQ(padgrid::HitTestGrid(117, 10), 10);
    // Column 163 is drawn as part of pad 11 but lies outside its hit rectangle.
    EXPECT_EQ(padgrid::HitTestGrid(163, 10), -1);
    EXPECT_EQ(padgrid::HitTestGrid(4, 5), -1);
    EXPECT_EQ(padgrid::HitTestGrid(5, 145), -1);
    EXPECT_EQ(padgrid::HitTestGrid(-1, -1), -1);
}

TEST(PadGeometry, HitTestInFormPixels) {
    EXPECT_EQ(padgrid::HitTestPad(30, 175), 0);  // bottom left
    EXPECT_EQ(padgrid::HitTestPad(255, 75), -1); // column 3 ends before x = 244
    EXPECT_EQ(padgrid::HitTestPad(198, 75), 11); // top right
    EXPECT_EQ(padgrid::HitTestPad(243, 75), 11);
    EXPECT_EQ(padgrid::HitTestPad(244, 75), -1);
    EXPECT_EQ(padgrid::HitTestPad(30, 125), 4);  // middle row keeps its numbers
    EXPECT_EQ(padgrid::HitTestPad(80, 90), -1);  // gap between columns 0 and 1
    EXPECT_EQ(padgrid::HitTestPad(40, 120), -1); // gap between the top and middle rows
    EXPECT_EQ(padgrid::HitTestPad(29, 100), -1);
    EXPECT_EQ(padgrid::HitTestPad(100, 226), -1);
}

// The main form's raster is the grid's own rule moved by the grid's place in the form; a click must
// select the same pad under either rule, everywhere.
TEST(PadGeometry, FormRasterIsTheGridRuleAtTheGridsPlace) {
    int hits = 0;
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 300; ++x) {
            const int pad = padgrid::HitTestPad(x, y);
            ASSERT_EQ(pad, padgrid::HitTestGrid(x - padgrid::kGridLeft, y - padgrid::kGridTop))
                << "at " << x << "," << y;
            hits += pad >= 0;
        }
    }
    EXPECT_EQ(hits, 12 * 46 * 40);
}

TEST(PadGeometry, CellsAndTheirPlaces) {
    EXPECT_EQ(padgrid::CellPosition(0).x, 5);
    EXPECT_EQ(padgrid::CellPosition(0).y, 105);
    EXPECT_EQ(padgrid::CellPosition(5).x, 61);
    EXPECT_EQ(padgrid::CellPosition(5).y, 55);
    EXPECT_EQ(padgrid::CellPosition(10).x, 118);
    EXPECT_EQ(padgrid::CellPosition(11).x, 174);
    EXPECT_EQ(padgrid::CellPosition(11).y, 5);
    EXPECT_EQ(padgrid::CellIndex(1, 5, true), 53);
    EXPECT_EQ(padgrid::CellIndex(0, 0, false), 0);
    EXPECT_EQ(padgrid::CellIndex(2, 11, true), 71);
    EXPECT_EQ(padgrid::CellIndex(3, 0, false), -1);
    EXPECT_EQ(padgrid::CellIndex(1, 12, false), -1);
}

TEST(PadArtwork, SizesAndKeyColours) {
    const QImage background = Background();
    ASSERT_EQ(background.size(), QSize(225, 150));
    const QImage strip(artwork::ResourcePath(artwork::kPadCells));
    ASSERT_EQ(strip.size(), QSize(46, 2880));

    EXPECT_EQ(PixelAt(background, 0, 0), kField);
    EXPECT_EQ(PixelAt(background, 224, 149), kField);
    for (int pad = 0; pad < 12; ++pad) {
        const auto at = padgrid::CellPosition(pad);
        EXPECT_EQ(PixelAt(background, at.x, at.y + 20), kOutline) << "pad " << pad;
        EXPECT_EQ(PixelAt(background, at.x + 1, at.y + 20), kDarkEdge) << "pad " << pad;
        EXPECT_EQ(PixelAt(background, at.x + 2, at.y + 20), kEmptyRim) << "pad " << pad;
        EXPECT_EQ(PixelAt(background, at.x - 1, at.y + 20), kField) << "pad " << pad;
        // The background's empty pads are the strip's first band.
        EXPECT_EQ(Region(background, at.x, at.y), StripCell(pad)) << "pad " << pad;
    }
    const std::array<std::string, 3> rims = {kEmptyRim, kMovieRim, kStillRim};
    for (int cell = 0; cell < 72; ++cell) {
        const bool selected = cell >= 36;
        const int top = 40 * cell;
        const std::string& rim = rims[static_cast<std::size_t>((cell % 36) / 12)];
        EXPECT_EQ(PixelAt(strip, 0, top + 20), kOutline) << "cell " << cell;
        EXPECT_EQ(PixelAt(strip, 45, top + 39), kOutline) << "cell " << cell;
        EXPECT_EQ(PixelAt(strip, 1, top + 20), kDarkEdge) << "cell " << cell;
        if (selected) {
            for (int ring = 0; ring < 3; ++ring) {
                EXPECT_EQ(PixelAt(strip, 2 + ring, top + 20), kRings[static_cast<std::size_t>(ring)])
                    << "cell " << cell;
                EXPECT_EQ(PixelAt(strip, 23, top + 37 - ring), kRings[static_cast<std::size_t>(ring)])
                    << "cell " << cell;
            }
            EXPECT_EQ(PixelAt(strip, 5, top + 20), rim) << "cell " << cell;
        } else {
            EXPECT_EQ(PixelAt(strip, 2, top + 20), rim) << "cell " << cell;
        }
        // The face grows lighter towards the centre, where the number is printed in black.
        const QColor edge = strip.pixelColor(selected ? 5 : 2, top + 20);
        const QColor inner = strip.pixelColor(selected ? 10 : 8, top + 20);
        EXPECT_GT(inner.lightness(), edge.lightness()) << "cell " << cell;
        bool dark = false;
        for (int y = top + 12; y < top + 28; ++y) {
            for (int x = 14; x < 32; ++x) {
                dark = dark || strip.pixelColor(x, y).lightness() < 60;
            }
        }
        EXPECT_TRUE(dark) << "cell " << cell << " has no number";
    }
}

TEST(PadArtwork, ArrowIconsHoldOneTriangleInTheirBox) {
    struct Arrow {
        const char* name;
        QColor colour;
        bool up;
    };
    const std::array<Arrow, 4> arrows = {Arrow{artwork::kArrowUp, QColor(0, 0, 0), true},
                                         Arrow{artwork::kArrowUpDisabled, QColor(192, 192, 192), true},
                                         Arrow{artwork::kArrowDown, QColor(0, 0, 0), false},
                                         Arrow{artwork::kArrowDownDisabled, QColor(192, 192, 192), false}};
    for (const Arrow& arrow : arrows) {
        const QImage image = QImage(artwork::ResourcePath(arrow.name)).convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(32, 32)) << arrow.name;
        int left = 32, right = -1, top = 32, bottom = -1;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() == 0) {
                    continue;
                }
                ASSERT_EQ(pixel.alpha(), 255) << arrow.name;
                ASSERT_EQ(pixel.rgb(), arrow.colour.rgb()) << arrow.name << " at " << x << "," << y;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        EXPECT_EQ(left, 8) << arrow.name;
        EXPECT_EQ(right, 22) << arrow.name;
        EXPECT_EQ(top, 9) << arrow.name;
        EXPECT_EQ(bottom, 21) << arrow.name;
        // The wide base is at the bottom of an up arrow and at the top of a down arrow.
        const int baseRow = arrow.up ? 21 : 9;
        const int tipRow = arrow.up ? 9 : 21;
        EXPECT_EQ(image.pixelColor(8, baseRow).alpha(), 255) << arrow.name;
        EXPECT_EQ(image.pixelColor(8, tipRow).alpha(), 0) << arrow.name;
        EXPECT_EQ(image.pixelColor(15, tipRow).alpha(), 255) << arrow.name;
    }
    for (const int size : artwork::kAppIconSizes) {
        EXPECT_EQ(QImage(artwork::AppIconPath(size)).size(), QSize(size, size));
    }
}

TEST(CPadView, NewControlShowsTheBackgroundOnly) {
    CPadView view;
    EXPECT_EQ(view.sizeHint(), QSize(225, 150));
    EXPECT_EQ(view.size(), QSize(225, 150));
    EXPECT_EQ(view.Selection(), -1);
    // It takes the keyboard focus and dropped files; clicks pass on to the form.
    EXPECT_EQ(view.focusPolicy(), Qt::StrongFocus);
    EXPECT_TRUE(view.acceptDrops());
    EXPECT_EQ(Render(view), Background());
}

TEST(CPadView, KindsAreDrawnFromTheirCells) {
    CPadView view;
    EXPECT_TRUE(view.SetPadState(0, 1));  // movie, bottom left
    EXPECT_TRUE(view.SetPadState(10, 2)); // still images, top row third column
    const QImage image = Render(view);
    EXPECT_EQ(PixelAt(image, 7, 125), kMovieRim);
    EXPECT_EQ(Region(image, 5, 105), StripCell(12));
    // The third column is drawn one pixel right of the plain pitch.
    EXPECT_EQ(PixelAt(image, 117, 25), kField);
    EXPECT_EQ(PixelAt(image, 118, 25), kOutline);
    EXPECT_EQ(PixelAt(image, 120, 25), kStillRim);
    EXPECT_EQ(Region(image, 118, 5), StripCell(24 + 10));
    // Untouched pads stay as the background draws them.
    EXPECT_EQ(Region(image, 61, 55), Region(Background(), 61, 55));
    EXPECT_EQ(view.PadState(0), 1);
    EXPECT_EQ(view.PadState(10), 2);
}

TEST(CPadView, SelectedMovieOnPadSixIsCellFiftyThree) {
    CPadView view;
    view.SetPadState(5, 1);
    view.SetSelection(5);
    const QImage image = Render(view);
    EXPECT_EQ(Region(image, 61, 55), StripCell(53));
    for (int ring = 0; ring < 3; ++ring) {
        EXPECT_EQ(PixelAt(image, 61 + 2 + ring, 75), kRings[static_cast<std::size_t>(ring)]);
    }
    EXPECT_EQ(PixelAt(image, 61 + 5, 75), kMovieRim);
}

TEST(CPadView, SelectingAnEmptyPadFramesItAndDeselectingRestoresIt) {
    CPadView view;
    view.SetSelection(3);
    QImage image = Render(view);
    EXPECT_EQ(Region(image, 174, 105), StripCell(36 + 3));
    EXPECT_EQ(PixelAt(image, 176, 125), kRings[0]);
    view.SetSelection(-1);
    EXPECT_EQ(Render(view), Background());
}

TEST(CPadView, AllStatesAndClear) {
    CPadView view;
    std::array<int, 12> states{};
    for (int pad = 0; pad < 12; ++pad) {
        states[static_cast<std::size_t>(pad)] = pad % 3;
    }
    view.SetSelection(4);
    view.SetAllStates(states);
    QImage image = Render(view);
    for (int pad = 0; pad < 12; ++pad) {
        const auto at = padgrid::CellPosition(pad);
        EXPECT_EQ(Region(image, at.x, at.y), StripCell(padgrid::CellIndex(pad % 3, pad, pad == 4)))
            << "pad " << pad;
    }
    // A new bank keeps the selection.
    view.SetAllStates({});
    EXPECT_EQ(view.Selection(), 4);
    view.Clear();
    EXPECT_EQ(view.Selection(), -1);
    EXPECT_EQ(Render(view), Background());
}

TEST(CPadView, PadOutOfRangeChangesNothing) {
    CPadView view;
    view.SetPadState(2, 2);
    const QImage before = Render(view);
    EXPECT_FALSE(view.SetPadState(12, 1));
    EXPECT_FALSE(view.SetPadState(-1, 1));
    EXPECT_EQ(Render(view), before);
    // A kind the artwork has no cell for shows as empty rather than reading past the strip.
    EXPECT_TRUE(view.SetPadState(7, 9));
    view.SetSelection(7);
    const auto at = padgrid::CellPosition(7);
    EXPECT_EQ(Region(Render(view), at.x, at.y), StripCell(36 + 7));
}

// A pad reached with Tab (or the arrows) is the focused object for screen readers: its state says
// focused while the grid has the keyboard, and it is the grid's focused child. (The focus events that
// tell a running screen reader need the desktop's accessibility bus, which the offscreen platform has
// not; they were checked through AT-SPI.)
TEST(CPadView, TheSelectedPadHasTheFocusForScreenReaders) {
    QWidget window;
    auto* before = new QPushButton(QStringLiteral("Before"), &window);
    auto* grid = new CPadView(&window);
    grid->move(0, 30);
    grid->SetSelection(5);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) {
        GTEST_SKIP() << "the platform gives no window the focus";
    }
    before->setFocus();
    QAccessibleInterface* pads = QAccessible::queryAccessibleInterface(grid);
    ASSERT_NE(pads, nullptr);
    EXPECT_FALSE(pads->child(5)->state().focused);
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(grid->hasFocus());
    EXPECT_TRUE(pads->child(5)->state().focused);
    EXPECT_FALSE(pads->child(4)->state().focused);
    EXPECT_EQ(pads->focusChild(), pads->child(5));
    QTest::keyClick(grid, Qt::Key_Right); // the host selects the pad the grid asks for
    grid->SetSelection(6);
    EXPECT_TRUE(pads->child(6)->state().focused);
    EXPECT_FALSE(pads->child(5)->state().focused);
    before->setFocus();
    EXPECT_FALSE(pads->child(6)->state().focused);
    EXPECT_EQ(pads->focusChild(), nullptr);
}
