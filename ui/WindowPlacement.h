#pragma once
// Where the program's windows open: a dialog or progress window centred on the window it belongs to,
// the information windows beside the main window; either way whole on the screen, so that no title bar
// ends up off-screen where it cannot be grabbed.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace k72 {

// The top-left corner of a window of the given (frame) size centred on parent, or on area when parent
// is empty, moved as little as keeps it inside area (its top-left corner in area when it is larger).
QPoint CentredPosition(const QRect& parent, const QSize& size, const QRect& area);
// The top-left corner of a window of the given size at the parent's top-right corner, moved as little
// as keeps it inside area.
QPoint BesidePosition(const QRect& parent, const QSize& size, const QRect& area);

// Moves a window, keeping its size, to the centre of the window it belongs to; without one (or while
// that one is not shown) to the centre of the screen. Called when the window is shown, when its size
// is known.
void PlaceOnParent(QWidget* window);
// Moves a dialog, keeping its size, so that its top-left corner lies at the main window's top-right
// corner, as far as the screen allows.
void PlaceBesideMainWindow(QWidget* dialog, const QWidget* mainWindow);

} // namespace k72
