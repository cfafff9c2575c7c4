#pragma once
// Names of the artwork the program draws with. The pictures are made at build time by
// k72-make-artwork and compiled into the program under the resource prefix ":/k72/".

#include <QString>

namespace k72::artwork {

// The pad block with its twelve empty pads, 225 × 150.
inline constexpr const char* kPadBackground = "pad_background.png";
// 72 pad cells of 46 × 40 stacked from the top: empty, movie, still images, then the same three
// bands with the selection frame; each band holds pads 1 … 12 in order.
inline constexpr const char* kPadCells = "pad_cells.png";
// 32 × 32 arrows of the still image list's up and down buttons, black and greyed out.
inline constexpr const char* kArrowUp = "arrow_up.png";
inline constexpr const char* kArrowUpDisabled = "arrow_up_disabled.png";
inline constexpr const char* kArrowDown = "arrow_down.png";
inline constexpr const char* kArrowDownDisabled = "arrow_down_disabled.png";
// The application icon, one file per size ("app_icon_<size>.png").
inline constexpr int kAppIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// Resource path of a picture, e.g. ":/k72/pad_cells.png".
QString ResourcePath(const char* name);
// Resource path of the application icon of the given size.
QString AppIconPath(int size);

} // namespace k72::artwork
