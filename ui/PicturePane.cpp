#include "ui/PicturePane.h"

#include "base/DeviceFormat.h"

#include <QPainter>

namespace k72 {

PicturePane::PicturePane(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(device::kPictureWidth / 4, device::kPictureHeight / 4);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QImage PicturePane::ToImage(const RgbImage& picture) {
    if (picture.Empty()) {
        return {};
    }
    return QImage(picture.pixels.data(), static_cast<int>(picture.width), static_cast<int>(picture.height),
                  static_cast<qsizetype>(picture.width) * 3, QImage::Format_RGB888)
        .copy();
}

void PicturePane::SetPicture(const RgbImage& picture) {
    SetPicture(ToImage(picture));
}

void PicturePane::SetPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PicturePane::Clear() {
    picture_ = QImage();
    update();
}

QSize PicturePane::sizeHint() const {
    return {device::kPictureWidth, device::kPictureHeight};
}

void PicturePane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (picture_.isNull()) {
        return;
    }
    // The device's 4:3 screen, as large as the pane allows, in its middle.
    QSize screen(device::kPictureWidth, device::kPictureHeight);
    screen.scale(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - screen.width()) / 2, (height() - screen.height()) / 2), screen);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, screen != picture_.size());
    painter.drawImage(target, picture_);
}

} // namespace k72
