#include "ui/CPictureListBox.h"

#include "ui/DialogUnits.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>

namespace k72 {
namespace {

constexpr int kPictureRole = Qt::UserRole;
constexpr int kFileSizeRole = Qt::UserRole + 1;

const QColor kRowEdge(230, 230, 230);
const QColor kSelectedFill(34, 185, 244);
const QColor kRowFill(250, 250, 250);
const QColor kSelectedNumberBox(255, 255, 50);
const QColor kNumberBox(255, 255, 200);

class PictureRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return QSize(option.rect.width(), CPictureListBox::kRowHeight);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QRect row = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        painter->save();
        painter->setFont(ListFont());

        // Frame and fill.
        painter->fillRect(row, kRowEdge);
        const QColor fill = selected ? kSelectedFill : kRowFill;
        painter->fillRect(row.adjusted(1, 1, -1, -1), fill);
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.rect = row.adjusted(1, 1, -1, -1);
            focus.state |= QStyle::State_KeyboardFocusChange;
            focus.backgroundColor = fill;
            const QWidget* widget = option.widget;
            QStyle* style = widget != nullptr ? widget->style() : nullptr;
            if (style != nullptr) {
                style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
            }
        }

        // Number box: the row shrunk by 2, its right edge at x = 50 of the list.
        QRect numberBox = row.adjusted(2, 2, -2, -2);
        numberBox.setRight(50);
        painter->fillRect(numberBox, selected ? kSelectedNumberBox : kNumberBox);
        painter->setPen(Qt::black);
        painter->drawText(numberBox.adjusted(10, 30, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                          QString::asprintf("%03d", index.row() + 1));

        // Thumbnail: the whole picture squeezed into 96 × 76, without smoothing.
        const QImage picture = index.data(kPictureRole).value<QImage>();
        if (!picture.isNull()) {
            painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter->drawImage(QRect(row.left() + 52, row.top() + 2, 96, 76), picture);
        }

        // Name and size on the row's fill colour.
        const QString text = CPictureListBox::RowText(index.data(Qt::DisplayRole).toString(),
                                                      index.data(kFileSizeRole).toULongLong());
        QRect textArea = row.adjusted(20, 20, -20, -20);
        textArea.setLeft(textArea.left() + 165);
        const QRect measured =
            painter->boundingRect(textArea, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
        painter->setBackgroundMode(Qt::OpaqueMode);
        painter->setBackground(fill);
        painter->drawText(measured, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
        painter->restore();
    }
};

} // namespace

CPictureListBox::CPictureListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSortingEnabled(false);
    setFont(ListFont());
    setItemDelegate(new PictureRowDelegate(this));
    setAccessibleName(QStringLiteral("Pictures"));
    // Rows are dragged within the list only; pictures dragged in from outside go to the dialog.
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(true);
}

int CPictureListBox::InsertionRowAt(const QPoint& point) const {
    const QModelIndex index = indexAt(point);
    if (!index.isValid()) {
        return count();
    }
    const QRect row = visualRect(index);
    return point.y() > row.center().y() ? index.row() + 1 : index.row();
}

int CPictureListBox::MovedTo(int from, int insertBefore) {
    return insertBefore > from ? insertBefore - 1 : insertBefore;
}

void CPictureListBox::dropEvent(QDropEvent* event) {
    if (event->source() != this) {
        QListWidget::dropEvent(event);
        return;
    }
    const int from = currentRow();
    const int to = MovedTo(from, InsertionRowAt(event->position().toPoint()));
    // The rows move only once the card has: nothing is taken out of the list by the drag itself.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (from >= 0 && to != from) {
        emit RowMoveRequested(from, to);
    }
}

void CPictureListBox::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Delete && modifiers == Qt::NoModifier) {
        emit DeleteRequested();
        return;
    }
    if (modifiers == Qt::ControlModifier && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        if (event->key() == Qt::Key_Up) {
            emit UpRequested();
        } else {
            emit DownRequested();
        }
        return;
    }
    QListWidget::keyPressEvent(event);
}

void CPictureListBox::AddRow(const QString& name, const QImage& picture, std::uint64_t fileSize, int index) {
    auto* item = new QListWidgetItem(name);
    item->setData(kPictureRole, picture);
    item->setData(kFileSizeRole, QVariant::fromValue<qulonglong>(fileSize));
    item->setSizeHint(QSize(0, kRowHeight));
    item->setData(Qt::AccessibleDescriptionRole, RowText(QString(), fileSize).trimmed());
    if (index < 0 || index > count()) {
        addItem(item);
    } else {
        insertItem(index, item);
    }
}

QImage CPictureListBox::PictureOf(const QListWidgetItem* item) {
    return item != nullptr ? item->data(kPictureRole).value<QImage>() : QImage();
}

std::uint64_t CPictureListBox::FileSizeOf(const QListWidgetItem* item) {
    return item != nullptr ? item->data(kFileSizeRole).toULongLong() : 0;
}

QString CPictureListBox::RowText(const QString& name, std::uint64_t fileSize) {
    return name + QStringLiteral("\nSIZE:%1KB").arg(fileSize / 1024);
}

} // namespace k72
