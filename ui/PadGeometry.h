#pragma once
// Geometry of the pad block: where each pad's cell is drawn, which cell of the strip shows it, and
// which pad a mouse point hits. Plain functions, so that they can be checked without a window.
//
// Pad index i (0 … 11, shown as i + 1) sits in column i mod 4 and in row 2 − i / 4 counted from the
// top: pads 1 … 4 are the bottom row, 9 … 12 the top row, each row numbered from left to right.

namespace k72::padgrid {

inline constexpr int kPadCount = 12;
inline constexpr int kGridWidth = 225; // the control's natural size, the background's size
inline constexpr int kGridHeight = 150;
inline constexpr int kCellWidth = 46;
inline constexpr int kCellHeight = 40;
inline constexpr int kCellCount = 72; // three kinds, plain and selected, twelve pads each
inline constexpr int kGridLeft = 25;  // where the main form puts the control, in its client pixels
inline constexpr int kGridTop = 70;

struct Point {
    int x = 0;
    int y = 0;
};

// Top-left corner of a pad's drawn cell in the control. The two right columns are drawn one pixel
// further right than the plain 56-pixel pitch: left edges 5, 61, 118 and 174; top edges 5, 55, 105.
Point CellPosition(int pad);

// Cell of the strip that shows a pad of the given kind (0 empty, 1 movie, 2 still images):
// kind · 12 + pad, plus 36 when the pad is selected; −1 for a kind or pad out of range.
int CellIndex(int kind, int pad, bool selected);

// The pad under a point in the control's coordinates, or −1. The hit rectangles keep the plain
// 56-pixel pitch, so in the two right columns they sit one pixel left of the drawn cells.
int HitTestGrid(int x, int y);

// The pad under a point in the main form's client pixels (the control sits at (25, 70)), or −1:
// a 3 × 4 raster of 46 × 40 rectangles, 56 pixels apart across and 50 down, from (30, 75).
int HitTestPad(int x, int y);

} // namespace k72::padgrid
