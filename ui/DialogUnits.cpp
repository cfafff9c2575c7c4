#include "ui/DialogUnits.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QRadioButton>
#include <QWidget>

#include <algorithm>

namespace k72 {
namespace {

struct BaseUnits {
    int x;
    int y;
};

BaseUnits UnitsOf(DialogFont font) {
    return font == DialogFont::Tahoma9 ? BaseUnits{6, 14} : BaseUnits{6, 13};
}

// value · numerator / denominator, rounded half away from zero.
int Scale(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    const long long rounded =
        product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
    return static_cast<int>(rounded);
}

QFont SansFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace

int DluToPixelsX(int units, DialogFont font) {
    return Scale(units, UnitsOf(font).x, 4);
}

int DluToPixelsY(int units, DialogFont font) {
    return Scale(units, UnitsOf(font).y, 8);
}

QRect DluRect(int x, int y, int width, int height, DialogFont font) {
    return QRect(DluToPixelsX(x, font), DluToPixelsY(y, font), DluToPixelsX(width, font),
                 DluToPixelsY(height, font));
}

QSize DluSize(int width, int height, DialogFont font) {
    return QSize(DluToPixelsX(width, font), DluToPixelsY(height, font));
}

void PlaceControl(QWidget* control, int x, int y, int width, int height, DialogFont font) {
    QRect rect = DluRect(x, y, width, height, font);
    // A check box or radio button of the style in use may need a few pixels more for its indicator
    // than the form gives it; its text must not be cut off.
    if (qobject_cast<QCheckBox*>(control) != nullptr || qobject_cast<QRadioButton*>(control) != nullptr) {
        rect.setWidth(std::max(rect.width(), control->sizeHint().width()));
    }
    control->setGeometry(rect);
}

QLabel* MakeDialogLabel(QWidget* parent, const QString& text, int x, int y, int width, int height) {
    auto* label = new QLabel(text, parent);
    PlaceControl(label, x, y, width, height);
    return label;
}

void PlaceLabel(QWidget* label, int x, int y, int width, int height, DialogFont font) {
    QRect rect = DluRect(x, y, width, height, font);
    if (const auto* text = qobject_cast<QLabel*>(label)) {
        const int needed = QFontMetrics(label->font()).horizontalAdvance(text->text()) + 1;
        if (needed > rect.width() && !(text->alignment() & Qt::AlignHCenter)) {
            rect.setWidth(needed);
        }
    }
    label->setGeometry(rect);
}

// DejaVu Sans runs about a tenth wider than Tahoma: at 10 px its texts are as wide as Tahoma's at
// 8 to 9 points, which keeps every text of the forms inside its control. The about box's Tahoma 9 gets
// the same size, as a larger one would run into its OK button.
QFont FormFont(DialogFont) {
    return SansFont(10, false);
}

QFont ListFont() {
    return SansFont(11, true);
}

} // namespace k72
