#pragma once
// The picture of the device's block of twelve pads: which pads hold a movie (red), still images
// (blue) or nothing, and which one is selected (green frame), each holding pad with a small picture of
// its content. Mouse clicks pass through to the main form, which turns them into a pad with its own
// hit test; the grid itself takes the keyboard focus (arrows move the selection, Enter opens the pad,
// Delete deletes it), takes files dropped on a pad, and describes each pad to tooltips and screen
// readers.

#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>

namespace k72 {

class CPadView : public QWidget {
    Q_OBJECT
public:
    explicit CPadView(QWidget* parent = nullptr);

    // All pads empty, no selection, no pictures or descriptions.
    void Clear();
    // Kind 0 empty, 1 movie, 2 still images. False (and nothing changes) for a pad outside 0 … 11.
    bool SetPadState(int pad, int kind);
    void SetAllStates(const std::array<int, 12>& states);
    // The selected pad, or −1 for none.
    void SetSelection(int pad);
    // What a pad shows inside its artwork (a null picture: none), the words that describe it
    // ("Pad 4: movie K72_0008.AVI, 1:30"; an empty description reads "Pad n: empty") and the name of
    // its sound file (empty: none), which a small note on the pad marks.
    void SetPadContent(int pad, const QImage& picture, const QString& description,
                       const QString& sound = QString());

    int PadState(int pad) const;
    int Selection() const { return selectedPad_; }
    QString PadDescription(int pad) const;
    bool HasPicture(int pad) const;
    QString PadSound(int pad) const;
    // Where the note of a pad with a sound is drawn, in the grid's artwork coordinates: the face's
    // bottom right corner, clear of the pad's number.
    static QRect SoundMarkRect(int pad);
    // The pad under the cursor while files are dragged over the grid, or −1.
    int DropTarget() const { return dropPad_; }
    // The rectangle a pad is drawn in, in the grid's artwork coordinates (225 × 150).
    static QRect PadRect(int pad);
    // The grid grows with its window: the artwork is drawn at this scale (1 at the natural size).
    double Scale() const;
    // A pad's rectangle and the pad under a point, in the widget's own (scaled) coordinates.
    QRect ShownPadRect(int pad) const;
    int PadAt(const QPoint& point) const;
    // The pad an arrow key moves to from pad (−1: none selected yet), or pad itself at the edge.
    static int PadAfterKey(int pad, int key);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void PadChosen(int pad); // an arrow key moved the selection
    void OpenRequested();    // Enter
    void DeleteRequested();  // Delete
    void FilesDropped(int pad, const QStringList& paths);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void SetDropTarget(int pad);
    // Tells screen readers that the selected pad has the keyboard focus, while the grid has it.
    void AnnounceFocusedPad();

    std::array<int, 12> padStates_{};
    std::array<QImage, 12> pictures_;
    std::array<QString, 12> descriptions_;
    std::array<QString, 12> sounds_;
    int selectedPad_ = -1;
    int dropPad_ = -1;
    QPixmap backgroundImage_; // the twelve empty pads, 225 × 150
    QPixmap cellStrip_;       // 72 cells of 46 × 40
};

} // namespace k72
