#include "ui/PadGeometry.h"

namespace k72::padgrid {

Point CellPosition(int pad) {
    const int column = pad % 4;
    const int row = 2 - pad / 4;
    return Point{5 + 56 * column + (column >= 2 ? 1 : 0), 5 + 50 * row};
}

int CellIndex(int kind, int pad, bool selected) {
    if (kind < 0 || kind > 2 || pad < 0 || pad >= kPadCount) {
        return -1;
    }
    return kind * 12 + pad + (selected ? 36 : 0);
}

int HitTestGrid(int x, int y) {
    int row = -1;
    for (int r = 0; r < 3; ++r) {
        if (y >= 5 + 50 * r && y < 45 + 50 * r) {
            row = r;
        }
    }
    int column = -1;
    for (int j = 0; j < 4; ++j) {
        if (x >= 5 + 56 * j && x < 51 + 56 * j) {
            column = j;
        }
    }
    if (row < 0 || column < 0) {
        return -1;
    }
    return column + 4 * (2 - row);
}

int HitTestPad(int x, int y) {
    if (x < 30 || x > 255 || y < 75 || y > 225) {
        return -1;
    }
    for (int r = 0; r < 3; ++r) {
        if (y < 75 + 50 * r || y >= 115 + 50 * r) {
            continue;
        }
        for (int c = 0; c < 4; ++c) {
            if (x >= 30 + 56 * c && x < 76 + 56 * c) {
                const int hit = r * 4 + c;
                // Top row of the raster is pads 8 … 11, the bottom row pads 0 … 3.
                if (hit < 4) {
                    return hit + 8;
                }
                if (hit >= 8) {
                    return hit - 8;
                }
                return hit;
            }
        }
    }
    return -1;
}

} // namespace k72::padgrid
