#include "ui/PadQueueOverlay.h"

#include "store/CPadBankStore.h"
#include "ui/FillQueue.h"
#include "ui/PadGeometry.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

namespace k72 {

PadQueueOverlay::PadQueueOverlay(FillQueue& fills, CPadBankStore& store, QWidget* grid)
    : QWidget(grid), fills_(fills), store_(store) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setGeometry(grid->rect());
    grid->installEventFilter(this);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, qOverload<>(&QWidget::update));
    timer->start(300);
    show();
}

QString PadQueueOverlay::PadText(int pad) const {
    if (!store_.IsCardOpen() || !store_.SelectionValid()) {
        return {};
    }
    const std::optional<double> progress = fills_.PadProgress({store_.Bank(), store_.Number(), pad});
    if (!progress) {
        return {};
    }
    return *progress <= 0 ? QStringLiteral("queued")
                          : QStringLiteral("%1 %").arg(static_cast<int>(*progress * 100));
}

bool PadQueueOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
    }
    return QWidget::eventFilter(watched, event);
}

void PadQueueOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The grid is drawn at its natural size, scaled to the control's.
    painter.scale(static_cast<double>(width()) / padgrid::kGridWidth,
                  static_cast<double>(height()) / padgrid::kGridHeight);
    QFont font = painter.font();
    font.setPixelSize(10);
    font.setBold(true);
    painter.setFont(font);
    for (int pad = 0; pad < padgrid::kPadCount; ++pad) {
        const QString text = PadText(pad);
        if (text.isEmpty()) {
            continue;
        }
        const padgrid::Point at = padgrid::CellPosition(pad);
        const QRect cell(at.x, at.y, padgrid::kCellWidth, padgrid::kCellHeight);
        painter.fillRect(cell, QColor(0, 0, 0, 150));
        painter.setPen(Qt::white);
        painter.drawText(cell, Qt::AlignCenter, text);
    }
}

} // namespace k72
