#include "ui/CPadView.h"

#include "resources/Artwork.h"
#include "ui/PadGeometry.h"

#include <QPaintEvent>
#include <QPainter>

namespace k72 {

CPadView::CPadView(QWidget* parent)
    : QWidget(parent), backgroundImage(artwork::ResourcePath(artwork::kPadBackground)),
      cellStrip(artwork::ResourcePath(artwork::kPadCells)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    resize(sizeHint());
}

void CPadView::Clear() {
    padStates.fill(0);
    selectedPad = -1;
    update();
}

bool CPadView::SetPadState(int pad, int kind) {
    if (pad < 0 || pad >= padgrid::kPadCount) {
        return false;
    }
    padStates[static_cast<std::size_t>(pad)] = kind;
    update();
    return true;
}

void CPadView::SetAllStates(const std::array<int, 12>& states) {
    padStates = states;
    update();
}

void CPadView::SetSelection(int pad) {
    selectedPad = pad;
    update();
}

int CPadView::PadState(int pad) const {
    return (pad >= 0 && pad < padgrid::kPadCount) ? padStates[static_cast<std::size_t>(pad)] : 0;
}

QSize CPadView::sizeHint() const {
    return QSize(padgrid::kGridWidth, padgrid::kGridHeight);
}

void CPadView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setClipRect(QRect(0, 0, padgrid::kGridWidth, padgrid::kGridHeight));
    if (!backgroundImage.isNull()) {
        painter.drawPixmap(0, 0, backgroundImage);
    }
    if (cellStrip.isNull()) {
        return;
    }
    for (int pad = 0; pad < padgrid::kPadCount; ++pad) {
        // A kind the strip has no cells for shows as an empty pad.
        const int state = padStates[static_cast<std::size_t>(pad)];
        const int kind = (state >= 0 && state <= 2) ? state : 0;
        const bool selected = pad == selectedPad;
        // An empty pad that is not selected is already on the background.
        if (kind == 0 && !selected) {
            continue;
        }
        const int cell = padgrid::CellIndex(kind, pad, selected);
        const padgrid::Point at = padgrid::CellPosition(pad);
        painter.drawPixmap(at.x, at.y, cellStrip, 0, padgrid::kCellHeight * cell, padgrid::kCellWidth,
                           padgrid::kCellHeight);
    }
}

} // namespace k72
