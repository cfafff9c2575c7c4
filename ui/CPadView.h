#pragma once
// The picture of the device's block of twelve pads: which pads hold a movie (red), still images
// (blue) or nothing, and which one is selected (green frame). A passive control: it paints itself
// from its two images and its state, takes no focus, and lets mouse events through to the main form,
// which turns a click into a pad with its own hit test.

#include <QPixmap>
#include <QSize>
#include <QWidget>

#include <array>

namespace k72 {

class CPadView : public QWidget {
    Q_OBJECT
public:
    explicit CPadView(QWidget* parent = nullptr);

    // All pads empty, no selection.
    void Clear();
    // Kind 0 empty, 1 movie, 2 still images. False (and nothing changes) for a pad outside 0 … 11.
    bool SetPadState(int pad, int kind);
    void SetAllStates(const std::array<int, 12>& states);
    // The selected pad, or −1 for none.
    void SetSelection(int pad);

    int PadState(int pad) const;
    int Selection() const { return selectedPad; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<int, 12> padStates{};
    int selectedPad = -1;
    QPixmap backgroundImage; // the twelve empty pads, 225 × 150
    QPixmap cellStrip;       // 72 cells of 46 × 40
};

} // namespace k72
