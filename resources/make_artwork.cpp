// Draws the program's artwork into the folder given as the argument: the pad block background, the
// strip of pad cells, the arrows of the still image list and the application icon. The build runs it
// and compiles its pictures into the program, so the repository holds no binary pictures.
//
// The pads follow the device's look: a grey field, pads with a thin outline and a dark edge, a face
// that grows lighter towards its centre (white for empty, red for a movie, blue for still images),
// the pad number in black bold, and three green rings inside the dark edge for the selected pad.
#include "resources/Artwork.h"

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRect>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kCellWidth = 46;
constexpr int kCellHeight = 40;
constexpr int kCellCount = 72;

const QColor kField(137, 137, 137);
const QColor kOutline(85, 80, 79);
const QColor kDarkEdge(34, 24, 21);
const std::array<QColor, 3> kSelectionRings = {QColor(207, 255, 191), QColor(64, 255, 0), QColor(24, 95, 0)};

struct FaceColours {
    QColor rim;
    QColor centre;
};
// Empty, movie, still images: the rim colour is the one the device shows; the centre is lighter so
// that the black number stays readable.
const std::array<FaceColours, 3> kFaces = {
    FaceColours{QColor(230, 230, 231), QColor(255, 255, 255)},
    FaceColours{QColor(246, 0, 0), QColor(255, 178, 178)},
    FaceColours{QColor(0, 169, 247), QColor(186, 232, 255)},
};

int Mix(int from, int to, double t) {
    return static_cast<int>(std::lround(from + (to - from) * t));
}

void DrawRing(QPainter& painter, const QRect& outer, int inset, const QColor& colour) {
    const QRect ring = outer.adjusted(inset, inset, -inset, -inset);
    painter.fillRect(QRect(ring.left(), ring.top(), ring.width(), 1), colour);
    painter.fillRect(QRect(ring.left(), ring.bottom(), ring.width(), 1), colour);
    painter.fillRect(QRect(ring.left(), ring.top(), 1, ring.height()), colour);
    painter.fillRect(QRect(ring.right(), ring.top(), 1, ring.height()), colour);
}

// The face's shading: a rounded (superelliptic) gradient whose outermost pixels carry the rim colour
// exactly, growing lighter towards the centre.
void DrawFace(QImage& image, const QRect& face, const FaceColours& colours) {
    const double cx = (face.left() + face.right()) / 2.0;
    const double cy = (face.top() + face.bottom()) / 2.0;
    const double hx = (face.right() - face.left()) / 2.0;
    const double hy = (face.bottom() - face.top()) / 2.0;
    for (int y = face.top(); y <= face.bottom(); ++y) {
        for (int x = face.left(); x <= face.right(); ++x) {
            const double u = std::abs(x - cx) / hx;
            const double v = std::abs(y - cy) / hy;
            const double r = std::min(1.0, std::pow(std::pow(u, 4.0) + std::pow(v, 4.0), 0.25));
            const double t = std::sqrt(1.0 - r);
            image.setPixelColor(x, y,
                                QColor(Mix(colours.rim.red(), colours.centre.red(), t),
                                       Mix(colours.rim.green(), colours.centre.green(), t),
                                       Mix(colours.rim.blue(), colours.centre.blue(), t)));
        }
    }
}

QFont NumberFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(15);
    return font;
}

// One 46 × 40 pad cell with its top-left corner at origin.
void DrawCell(QImage& image, QPoint origin, int kind, bool selected, int number) {
    const QRect cell(origin, QSize(kCellWidth, kCellHeight));
    {
        QPainter painter(&image);
        DrawRing(painter, cell, 0, kOutline);
        DrawRing(painter, cell, 1, kDarkEdge);
        if (selected) {
            for (int ring = 0; ring < 3; ++ring) {
                DrawRing(painter, cell, 2 + ring, kSelectionRings[static_cast<std::size_t>(ring)]);
            }
        }
    }
    const int inset = selected ? 5 : 2;
    DrawFace(image, cell.adjusted(inset, inset, -inset, -inset), kFaces[static_cast<std::size_t>(kind)]);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(NumberFont());
    painter.setPen(Qt::black);
    painter.drawText(cell, Qt::AlignCenter, QString::number(number));
}

// The cell of pad index i sits in column i mod 4 and in row 2 − i / 4 from the top; the two right
// columns are one pixel further right than a plain 56-pixel pitch.
QPoint CellPosition(int pad) {
    const int column = pad % 4;
    const int row = 2 - pad / 4;
    return QPoint(5 + 56 * column + (column >= 2 ? 1 : 0), 5 + 50 * row);
}

QImage MakeBackground() {
    QImage image(225, 150, QImage::Format_RGB32);
    image.fill(kField);
    for (int pad = 0; pad < 12; ++pad) {
        DrawCell(image, CellPosition(pad), 0, false, pad + 1);
    }
    return image;
}

QImage MakeCellStrip() {
    QImage image(kCellWidth, kCellHeight * kCellCount, QImage::Format_RGB32);
    image.fill(kField);
    for (int cell = 0; cell < kCellCount; ++cell) {
        const bool selected = cell >= 36;
        const int kind = (cell % 36) / 12;
        DrawCell(image, QPoint(0, kCellHeight * cell), kind, selected, cell % 12 + 1);
    }
    return image;
}

// A solid triangle 15 pixels wide and 13 high in columns 8 … 22 and rows 9 … 21 of a transparent
// 32 × 32 picture, drawn pixel by pixel so that its colour is exact.
QImage MakeArrow(bool pointingUp, const QColor& colour) {
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int row = 0; row < 13; ++row) {
        const int widthRow = pointingUp ? row : 12 - row;
        const int half = (widthRow * 7 + 6) / 12; // 0 at the tip, 7 at the base
        for (int x = 15 - half; x <= 15 + half; ++x) {
            image.setPixelColor(x, 9 + row, colour);
        }
    }
    return image;
}

// The application icon: the device's pad block on a dark rounded body, drawn at 256 pixels.
QImage MakeAppIcon() {
    constexpr int size = 256;
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath body;
    body.addRoundedRect(QRectF(8, 24, 240, 208), 28, 28);
    painter.fillPath(body, QColor(58, 58, 62));
    painter.setPen(QPen(QColor(20, 20, 22), 6));
    painter.drawPath(body);

    // Empty, movie, still images; the middle row's second pad is the selected one.
    constexpr std::array<std::array<int, 4>, 3> kinds = {{{1, 0, 2, 1}, {2, 1, 0, 2}, {0, 2, 1, 0}}};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            const QRectF pad(28 + 52 * column, 48 + 58 * row, 44, 46);
            const auto& face = kFaces[static_cast<std::size_t>(
                kinds[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)])];
            QRadialGradient gradient(pad.center(), 30);
            gradient.setColorAt(0.0, face.centre);
            gradient.setColorAt(1.0, face.rim);
            painter.setPen(QPen(kDarkEdge, 3));
            painter.setBrush(gradient);
            painter.drawRoundedRect(pad, 5, 5);
            if (row == 1 && column == 1) {
                painter.setBrush(Qt::NoBrush);
                painter.setPen(QPen(kSelectionRings[1], 5));
                painter.drawRoundedRect(pad.adjusted(5, 5, -5, -5), 3, 3);
            }
        }
    }
    return image;
}

bool Save(const QImage& image, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name);
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "k72-make-artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // The build runs this without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: k72-make-artwork OUTPUT_FOLDER\n");
        return 2;
    }
    QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "k72-make-artwork: cannot create %s\n", argv[1]);
        return 1;
    }
    using namespace k72::artwork;
    const QColor black(0, 0, 0);
    const QColor grey(192, 192, 192);
    bool ok = Save(MakeBackground().convertToFormat(QImage::Format_RGB888), folder, kPadBackground);
    ok = Save(MakeCellStrip().convertToFormat(QImage::Format_RGB888), folder, kPadCells) && ok;
    ok = Save(MakeArrow(true, black), folder, kArrowUp) && ok;
    ok = Save(MakeArrow(true, grey), folder, kArrowUpDisabled) && ok;
    ok = Save(MakeArrow(false, black), folder, kArrowDown) && ok;
    ok = Save(MakeArrow(false, grey), folder, kArrowDownDisabled) && ok;
    const QImage icon = MakeAppIcon();
    for (const int size : kAppIconSizes) {
        const QImage scaled = size == icon.width()
                                  ? icon
                                  : icon.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        ok = Save(scaled, folder, QStringLiteral("app_icon_%1.png").arg(size)) && ok;
    }
    return ok ? 0 : 1;
}
