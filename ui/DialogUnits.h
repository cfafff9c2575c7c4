#pragma once
// The forms are laid out in dialog units, as their templates give them. A dialog unit is a quarter of
// the form font's average character width across and an eighth of its height down; for Tahoma 8 at
// 96 dpi that is 1.5 px across and 1.625 px down, and the pad grid's hit test relies on the pixel
// geometry this gives. Qt scales the whole window for high-dpi screens.
//
// Tahoma is rarely installed on Linux. The forms use DejaVu Sans (always present) at sizes whose
// widths come closest to Tahoma's without overflowing the controls' fixed rectangles; the units stay
// those of Tahoma so that every control keeps its place.

#include <QFont>
#include <QPushButton>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

class QLabel;

namespace k72 {

enum class DialogFont {
    Tahoma8, // every form but the about box: 6 × 13 base units
    Tahoma9, // the about box: 6 × 14 base units
};

// Pixels of a horizontal or vertical length in dialog units, rounded as the dialog manager rounds
// (half away from zero).
int DluToPixelsX(int units, DialogFont font = DialogFont::Tahoma8);
int DluToPixelsY(int units, DialogFont font = DialogFont::Tahoma8);
QRect DluRect(int x, int y, int width, int height, DialogFont font = DialogFont::Tahoma8);
QSize DluSize(int width, int height, DialogFont font = DialogFont::Tahoma8);

// Places a control at its dialog-unit rectangle; a check box or radio button is widened to its text.
void PlaceControl(QWidget* control, int x, int y, int width, int height,
                  DialogFont font = DialogFont::Tahoma8);
// Places a text label at its dialog-unit rectangle, widened when the stand-in font needs a few pixels
// more than the rectangle has, so that no text is cut off.
void PlaceLabel(QWidget* label, int x, int y, int width, int height, DialogFont font = DialogFont::Tahoma8);

// A label of a dialog at its dialog-unit rectangle (placed as a control: it keeps that width).
QLabel* MakeDialogLabel(QWidget* parent, const QString& text, int x, int y, int width, int height);

// A 50 × 14 push button of a form at its dialog-unit position; it does not take the default role when
// it gets the focus (only the dialogs' own default buttons do).
template <typename Button = QPushButton>
Button* MakeFormButton(QWidget* parent, const QString& text, int x, int y) {
    auto* button = new Button(text, parent);
    PlaceControl(button, x, y, 50, 14);
    button->setAutoDefault(false);
    return button;
}

// The stand-in for the form font.
QFont FormFont(DialogFont font = DialogFont::Tahoma8);
// The bold list font of the information box and the still image rows (Tahoma bold, cell height 14).
QFont ListFont();

} // namespace k72
