#pragma once
// Shows one picture as the device's screen would: the whole picture, scaled to the pane with its 4:3
// shape kept, on black. Paints only the picture it holds.

#include "engine/RgbImage.h"

#include <QImage>
#include <QWidget>

namespace k72 {

class PicturePane : public QWidget {
    Q_OBJECT
public:
    explicit PicturePane(QWidget* parent = nullptr);

    void SetPicture(const RgbImage& picture);
    void SetPicture(const QImage& picture);
    void Clear();
    const QImage& Picture() const { return picture_; }

    // The picture as a QImage (a deep copy).
    static QImage ToImage(const RgbImage& picture);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

} // namespace k72
