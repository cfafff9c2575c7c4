#include "ui/CPadView.h"

#include "resources/Artwork.h"
#include "ui/PadGeometry.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <algorithm>

namespace k72 {
namespace {

QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    return paths;
}

// One pad as a screen reader sees it: its name says the pad and its content, its state whether it is
// the selected one.
class PadAccessible : public QAccessibleInterface {
public:
    PadAccessible(CPadView* grid, int pad) : grid_(grid), pad_(pad) {}

    bool isValid() const override { return grid_ != nullptr; }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(grid_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        if (grid_ == nullptr) {
            return {};
        }
        if (t == QAccessible::Name) {
            return grid_->PadDescription(pad_);
        }
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (grid_ == nullptr) {
            return {};
        }
        const QRect local = grid_->ShownPadRect(pad_);
        return QRect(grid_->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.selectable = true;
        state.focusable = true;
        if (grid_ != nullptr) {
            state.selected = grid_->Selection() == pad_;
            state.focused = state.selected && grid_->hasFocus();
            state.invisible = !grid_->isVisible();
        }
        return state;
    }

private:
    QPointer<CPadView> grid_;
    int pad_;
};

// The grid: a list of twelve pads, numbered in the device's order (pad 1 first).
class PadGridAccessible : public QAccessibleWidget {
public:
    explicit PadGridAccessible(CPadView* grid) : QAccessibleWidget(grid, QAccessible::List) { ids_.fill(0); }
    ~PadGridAccessible() override {
        for (const QAccessible::Id id : ids_) {
            if (id != 0) {
                QAccessible::deleteAccessibleInterface(id);
            }
        }
    }
    PadGridAccessible(const PadGridAccessible&) = delete;
    PadGridAccessible& operator=(const PadGridAccessible&) = delete;

    int childCount() const override { return padgrid::kPadCount; }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= padgrid::kPadCount) {
            return nullptr;
        }
        QAccessible::Id& id = ids_[static_cast<std::size_t>(index)];
        if (id == 0) {
            id = QAccessible::registerAccessibleInterface(new PadAccessible(Grid(), index));
        }
        return QAccessible::accessibleInterface(id);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < padgrid::kPadCount; ++i) {
            if (ids_[static_cast<std::size_t>(i)] != 0 &&
                QAccessible::accessibleInterface(ids_[static_cast<std::size_t>(i)]) == child) {
                return i;
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint local = Grid()->mapFromGlobal(QPoint(x, y));
        const int pad = Grid()->PadAt(local);
        return pad >= 0 ? child(pad) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const int pad = Grid()->Selection();
        return (Grid()->hasFocus() && pad >= 0) ? child(pad) : nullptr;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            return QStringLiteral("Pads");
        }
        return QAccessibleWidget::text(t);
    }

private:
    CPadView* Grid() const { return static_cast<CPadView*>(widget()); }
    mutable std::array<QAccessible::Id, padgrid::kPadCount> ids_{};
};

QAccessibleInterface* PadGridFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("k72::CPadView") && object != nullptr && object->isWidgetType()) {
        return new PadGridAccessible(static_cast<CPadView*>(object));
    }
    return nullptr;
}

// A pad with a sound: an eighth note, black on a white tag, in the face's corner.
void DrawSoundMark(QPainter& painter, const QRect& tag) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(tag, Qt::white);
    painter.setPen(QColor(34, 24, 21));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(tag.adjusted(0, 0, -1, -1));
    painter.setBrush(Qt::black);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRect(tag.x() + 2, tag.y() + 5, 4, 3));         // the head
    painter.fillRect(QRect(tag.x() + 5, tag.y() + 2, 1, 5), Qt::black); // the stem
    painter.fillRect(QRect(tag.x() + 6, tag.y() + 2, 2, 1), Qt::black); // the flag
    painter.restore();
}

} // namespace

CPadView::CPadView(QWidget* parent)
    : QWidget(parent), backgroundImage_(artwork::ResourcePath(artwork::kPadBackground)),
      cellStrip_(artwork::ResourcePath(artwork::kPadCells)) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(PadGridFactory);
        return true;
    }();
    (void)factoryInstalled;
    // Clicks are not handled here: they reach the main form, whose hit test picks the pad.
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    setAccessibleName(QStringLiteral("Pads"));
    resize(sizeHint());
}

void CPadView::Clear() {
    padStates_.fill(0);
    pictures_.fill(QImage());
    descriptions_.fill(QString());
    sounds_.fill(QString());
    selectedPad_ = -1;
    update();
}

bool CPadView::SetPadState(int pad, int kind) {
    if (pad < 0 || pad >= padgrid::kPadCount) {
        return false;
    }
    padStates_[static_cast<std::size_t>(pad)] = kind;
    update();
    return true;
}

void CPadView::SetAllStates(const std::array<int, 12>& states) {
    padStates_ = states;
    update();
}

void CPadView::SetSelection(int pad) {
    const int before = selectedPad_;
    selectedPad_ = pad;
    update();
    if (before != pad && QAccessible::isActive() && pad >= 0 && pad < padgrid::kPadCount) {
        if (QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(this)) {
            QAccessibleEvent selection(grid->child(pad), QAccessible::Selection);
            QAccessible::updateAccessibility(&selection);
            AnnounceFocusedPad();
        }
    }
}

void CPadView::SetPadContent(int pad, const QImage& picture, const QString& description,
                             const QString& sound) {
    if (pad < 0 || pad >= padgrid::kPadCount) {
        return;
    }
    pictures_[static_cast<std::size_t>(pad)] = picture;
    descriptions_[static_cast<std::size_t>(pad)] = description;
    sounds_[static_cast<std::size_t>(pad)] = sound;
    update();
}

QString CPadView::PadSound(int pad) const {
    return (pad >= 0 && pad < padgrid::kPadCount) ? sounds_[static_cast<std::size_t>(pad)] : QString();
}

QRect CPadView::SoundMarkRect(int pad) {
    const QRect cell = PadRect(pad);
    return QRect(cell.x() + 33, cell.y() + 26, 10, 10);
}

int CPadView::PadState(int pad) const {
    return (pad >= 0 && pad < padgrid::kPadCount) ? padStates_[static_cast<std::size_t>(pad)] : 0;
}

QString CPadView::PadDescription(int pad) const {
    if (pad < 0 || pad >= padgrid::kPadCount) {
        return {};
    }
    const QString& text = descriptions_[static_cast<std::size_t>(pad)];
    return text.isEmpty() ? QStringLiteral("Pad %1: empty").arg(pad + 1) : text;
}

bool CPadView::HasPicture(int pad) const {
    return pad >= 0 && pad < padgrid::kPadCount && !pictures_[static_cast<std::size_t>(pad)].isNull();
}

QRect CPadView::PadRect(int pad) {
    const padgrid::Point at = padgrid::CellPosition(pad);
    return QRect(at.x, at.y, padgrid::kCellWidth, padgrid::kCellHeight);
}

int CPadView::PadAfterKey(int pad, int key) {
    if (pad < 0 || pad >= padgrid::kPadCount) {
        return 8; // the top left pad, where reading starts
    }
    const int column = pad % 4;
    switch (key) {
    case Qt::Key_Left:
        return column > 0 ? pad - 1 : pad;
    case Qt::Key_Right:
        return column < 3 ? pad + 1 : pad;
    case Qt::Key_Up: // pads 9 … 12 are the top row
        return pad + 4 < padgrid::kPadCount ? pad + 4 : pad;
    case Qt::Key_Down:
        return pad - 4 >= 0 ? pad - 4 : pad;
    default:
        return pad;
    }
}

double CPadView::Scale() const {
    return std::max(1.0, std::min(width() / static_cast<double>(padgrid::kGridWidth),
                                  height() / static_cast<double>(padgrid::kGridHeight)));
}

QRect CPadView::ShownPadRect(int pad) const {
    const QRect artwork = PadRect(pad);
    const double scale = Scale();
    return QRectF(artwork.x() * scale, artwork.y() * scale, artwork.width() * scale, artwork.height() * scale)
        .toAlignedRect();
}

int CPadView::PadAt(const QPoint& point) const {
    const double scale = Scale();
    return padgrid::HitTestGrid(static_cast<int>(point.x() / scale), static_cast<int>(point.y() / scale));
}

QSize CPadView::sizeHint() const {
    return QSize(padgrid::kGridWidth, padgrid::kGridHeight);
}

bool CPadView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int pad = PadAt(help->pos());
        if (pad >= 0) {
            QToolTip::showText(help->globalPos(), PadDescription(pad), this, ShownPadRect(pad));
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // The grid's own keys win over the menu's shortcuts while it has the focus.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            switch (key->key()) {
            case Qt::Key_Delete:
            case Qt::Key_Return:
            case Qt::Key_Enter:
                event->accept();
                return true;
            default:
                break;
            }
        }
    }
    return QWidget::event(event);
}

void CPadView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        emit PadChosen(PadAfterKey(selectedPad_, event->key()));
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit OpenRequested();
        return;
    case Qt::Key_Delete:
        emit DeleteRequested();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void CPadView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
    // The grid's own focus is told to screen readers after this handler: the selected pad is told
    // after that, so that a screen reader lands on the pad, not on the block of twelve.
    QTimer::singleShot(0, this, &CPadView::AnnounceFocusedPad);
}

void CPadView::AnnounceFocusedPad() {
    if (!QAccessible::isActive() || !hasFocus() || selectedPad_ < 0 || selectedPad_ >= padgrid::kPadCount) {
        return;
    }
    if (QAccessibleInterface* grid = QAccessible::queryAccessibleInterface(this)) {
        QAccessibleEvent focus(grid->child(selectedPad_), QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
}

void CPadView::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void CPadView::SetDropTarget(int pad) {
    if (pad != dropPad_) {
        dropPad_ = pad;
        update();
    }
}

void CPadView::dragEnterEvent(QDragEnterEvent* event) {
    if (LocalFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    SetDropTarget(PadAt(event->position().toPoint()));
}

void CPadView::dragMoveEvent(QDragMoveEvent* event) {
    const int pad = PadAt(event->position().toPoint());
    SetDropTarget(pad);
    if (pad >= 0 && !LocalFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CPadView::dragLeaveEvent(QDragLeaveEvent* event) {
    SetDropTarget(-1);
    QWidget::dragLeaveEvent(event);
}

void CPadView::dropEvent(QDropEvent* event) {
    const int pad = PadAt(event->position().toPoint());
    const QStringList paths = LocalFiles(event->mimeData());
    SetDropTarget(-1);
    if (pad < 0 || paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit FilesDropped(pad, paths);
}

void CPadView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The artwork is drawn at its own size, scaled to the grid's (a window grown, or maximized).
    const double scale = Scale();
    if (scale != 1.0) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(scale, scale);
    }
    painter.setClipRect(QRect(0, 0, padgrid::kGridWidth, padgrid::kGridHeight));
    if (!backgroundImage_.isNull()) {
        painter.drawPixmap(0, 0, backgroundImage_);
    }
    if (cellStrip_.isNull()) {
        return;
    }
    for (int pad = 0; pad < padgrid::kPadCount; ++pad) {
        // A kind the strip has no cells for shows as an empty pad.
        const int state = padStates_[static_cast<std::size_t>(pad)];
        const int kind = (state >= 0 && state <= 2) ? state : 0;
        const bool selected = pad == selectedPad_;
        const QRect cellRect = PadRect(pad);
        // An empty pad that is not selected is already on the background.
        if (kind != 0 || selected) {
            const int cell = padgrid::CellIndex(kind, pad, selected);
            painter.drawPixmap(cellRect.x(), cellRect.y(), cellStrip_, 0, padgrid::kCellHeight * cell,
                               padgrid::kCellWidth, padgrid::kCellHeight);
        }
        // The content's picture sits inside the face, leaving the coloured rim and the selection
        // frame in view; the pad's number stays readable in its corner.
        const QImage& picture = pictures_[static_cast<std::size_t>(pad)];
        if (kind != 0 && !picture.isNull()) {
            const QRect inner(cellRect.x() + 7, cellRect.y() + 8, 32, 24);
            painter.drawImage(inner, picture);
            painter.setPen(QColor(34, 24, 21));
            painter.drawRect(inner.adjusted(0, 0, -1, -1));
            QFont small = font();
            small.setPixelSize(8);
            small.setBold(true);
            painter.setFont(small);
            const QString number = QString::number(pad + 1);
            const QRect tag(inner.x(), inner.y(), QFontMetrics(small).horizontalAdvance(number) + 3, 10);
            painter.fillRect(tag, Qt::white);
            painter.setPen(Qt::black);
            painter.drawText(tag, Qt::AlignCenter, number);
        }
        if (kind != 0 && !sounds_[static_cast<std::size_t>(pad)].isEmpty()) {
            DrawSoundMark(painter, SoundMarkRect(pad));
        }
    }
    if (dropPad_ >= 0 && dropPad_ < padgrid::kPadCount) {
        // Where the dragged files would land.
        QPen pen(QColor(255, 200, 0));
        pen.setWidth(3);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(PadRect(dropPad_).adjusted(1, 1, -2, -2));
    }
    if (hasFocus()) {
        // A dotted frame around the selected pad (or the whole block while none is), whatever the style.
        QPen dotted(Qt::black);
        dotted.setStyle(Qt::DotLine);
        painter.setPen(dotted);
        painter.setBrush(Qt::NoBrush);
        const QRect around = selectedPad_ >= 0
                                 ? PadRect(selectedPad_).adjusted(-3, -3, 2, 2)
                                 : QRect(1, 1, padgrid::kGridWidth - 3, padgrid::kGridHeight - 3);
        painter.drawRect(around);
    }
}

} // namespace k72
