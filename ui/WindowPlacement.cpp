#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace k72 {
namespace {

QPoint KeptInside(QPoint at, const QSize& size, const QRect& area) {
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - size.width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - size.height())));
    return at;
}

// Before a window is first on the screen its frame is not known, and a move places its inside. It will
// get the decorations of the window it belongs to: its frame is placed as if it had them already.
struct Frame {
    QSize size;
    QPoint insideOffset; // from the frame's corner to the inside's, for a window not on the screen yet
};
Frame FrameOf(const QWidget* window, const QWidget* like) {
    Frame frame{window->frameGeometry().size(), QPoint()};
    if (like != nullptr && window->frameGeometry() == window->geometry()) {
        const QRect outside = like->frameGeometry();
        const QRect inside = like->geometry();
        frame.insideOffset = inside.topLeft() - outside.topLeft();
        frame.size += outside.size() - inside.size();
    }
    return frame;
}

QRect AvailableArea(const QWidget* widget) {
    const QScreen* screen = widget != nullptr ? widget->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

} // namespace

QPoint CentredPosition(const QRect& parent, const QSize& size, const QRect& area) {
    const QRect around = parent.isEmpty() ? area : parent;
    const QPoint at(around.x() + (around.width() - size.width()) / 2,
                    around.y() + (around.height() - size.height()) / 2);
    return area.isEmpty() ? at : KeptInside(at, size, area);
}

QPoint BesidePosition(const QRect& parent, const QSize& size, const QRect& area) {
    const QPoint at(parent.right() + 1, parent.top());
    return area.isEmpty() ? at : KeptInside(at, size, area);
}

void PlaceOnParent(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    const QWidget* parent = window->parentWidget() != nullptr ? window->parentWidget()->window() : nullptr;
    // A parent that is not on the screen yet has no place of its own: its window still stands where
    // it was made, often the screen's corner.
    const bool onParent = parent != nullptr && parent->isVisible() && !parent->isMinimized();
    const QRect area = AvailableArea(onParent ? parent : window);
    const Frame frame = FrameOf(window, onParent ? parent : nullptr);
    window->move(CentredPosition(onParent ? parent->frameGeometry() : QRect(), frame.size, area) +
                 frame.insideOffset);
}

void PlaceBesideMainWindow(QWidget* dialog, const QWidget* mainWindow) {
    if (dialog == nullptr || mainWindow == nullptr) {
        return;
    }
    // Beside the main window as long as the screen has room there; otherwise as far right and up as
    // keeps the whole dialog on the screen (at a scale factor of 2 the list no longer fits beside it).
    const Frame frame = FrameOf(dialog, mainWindow);
    dialog->move(BesidePosition(mainWindow->frameGeometry(), frame.size, AvailableArea(mainWindow)) +
                 frame.insideOffset);
}

} // namespace k72
