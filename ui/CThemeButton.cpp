#include "ui/CThemeButton.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>

namespace k72 {
namespace {

QPixmap PixmapOf(const QIcon& icon) {
    if (icon.isNull()) {
        return {};
    }
    const QList<QSize> sizes = icon.availableSizes();
    const QSize size = sizes.isEmpty() ? QSize(32, 32) : sizes.first();
    return icon.pixmap(size);
}

} // namespace

CThemeButton::CThemeButton(QWidget* parent) : QPushButton(parent) {
    setMouseTracking(true);
}

CThemeButton::CThemeButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setMouseTracking(true);
}

void CThemeButton::SetIcons(const QIcon& normal, const QIcon& disabled) {
    normalIcon_ = normal;
    disabledIcon_ = disabled;
    update();
}

void CThemeButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The caption (an arrow character) stands in for the icon only where no icon can be drawn.
    option.text.clear();
    option.icon = QIcon();
    option.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_HasFocus);
    const bool enabled = isEnabled();
    if (!enabled) {
        option.state &= ~QStyle::State_Enabled;
    } else if (isDown()) {
        option.state |= QStyle::State_Sunken;
    } else if (hovering_) {
        option.state |= QStyle::State_MouseOver;
    }
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);

    const QPixmap icon = PixmapOf(enabled ? normalIcon_ : disabledIcon_);
    if (!icon.isNull()) {
        painter.drawPixmap(kIconLeft, kIconTop, icon);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        // Drawn whenever the button has the focus, not only after keyboard navigation.
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.rect = rect().adjusted(4, 4, -4, -4);
        focus.backgroundColor = palette().color(QPalette::Button);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void CThemeButton::enterEvent(QEnterEvent* event) {
    if (!hovering_) {
        hovering_ = true;
        update();
    }
    QPushButton::enterEvent(event);
}

void CThemeButton::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QPushButton::leaveEvent(event);
}

void CThemeButton::mouseMoveEvent(QMouseEvent* event) {
    // A move inside the button after a press elsewhere, or before the enter event arrives.
    if (!hovering_ && rect().contains(event->position().toPoint())) {
        hovering_ = true;
        update();
    }
    QPushButton::mouseMoveEvent(event);
}

} // namespace k72
