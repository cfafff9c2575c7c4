#pragma once
// A push button that shows an icon instead of its caption and follows the current style: normal, hot
// while the mouse is over it, pressed, and disabled. The still image list uses two of them for its
// up and down arrows.

#include <QIcon>
#include <QPushButton>

namespace k72 {

class CThemeButton : public QPushButton {
    Q_OBJECT
public:
    explicit CThemeButton(QWidget* parent = nullptr);
    explicit CThemeButton(const QString& caption, QWidget* parent = nullptr);

    // normal is drawn in every state but disabled; disabled while the button is disabled.
    void SetIcons(const QIcon& normal, const QIcon& disabled);

    bool IsHovering() const { return hovering_; }

    // Where the icon's top-left corner sits relative to the button: a 32 × 32 icon is then centred on
    // a button of 75 × 23 pixels (50 × 14 dialog units).
    static constexpr int kIconLeft = 21;
    static constexpr int kIconTop = -4;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool hovering_ = false;
    QIcon normalIcon_;
    QIcon disabledIcon_;
};

} // namespace k72
