#pragma once
// Helpers of the widget tests: rendering a widget and reading its pixels.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>

#include <string>

namespace k72test {

// The widget as it paints itself, at one image pixel per widget pixel.
inline QImage Render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// "(r,g,b)" of a pixel, so that a failing comparison says what it saw.
inline std::string Rgb(const QColor& colour) {
    return "(" + std::to_string(colour.red()) + "," + std::to_string(colour.green()) + "," +
           std::to_string(colour.blue()) + ")";
}
inline std::string PixelAt(const QImage& image, int x, int y) {
    return Rgb(image.pixelColor(x, y));
}

} // namespace k72test
