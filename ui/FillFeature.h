#pragma once
// Filling a number in the desktop program: File → "Fill Number from Folder…", and several movies or
// folders dropped on a pad, fill the shown number from that pad on (dropping only pictures keeps its
// meaning: one still image pad). The conversions run in the background; the queue panel lists them, the
// grid shows which pads wait, and the pads are redrawn as each is saved. Closing the program while jobs
// run asks first.

#include <QObject>
#include <QStringList>

class QAction;
class QMenu;
class QWidget;

namespace k72 {

class CConvertToolView;
class FillQueue;
class PadCommands;
class PadQueueOverlay;
class QueuePanel;

// A drop a fill takes: a folder, or more than one movie.
bool IsFillDrop(const QStringList& paths);

class FillFeature : public QObject {
    Q_OBJECT
public:
    // The action goes into the menu before `before` (at its end when null).
    FillFeature(PadCommands& commands, CConvertToolView& view, QMenu* menu, QAction* before, QWidget* window);
    ~FillFeature() override;

    // True when the program may close: no job runs, or the user agreed to stop them.
    bool MayClose();

    QAction* FillAction() const { return fillAction_; }
    QueuePanel* Panel() const { return panel_; }
    FillQueue& Fills() { return *fills_; }
    PadQueueOverlay* Overlay() const { return overlay_; }
    // Fills the shown number from pad 0 … 11 on; the panel is shown.
    void Fill(int pad, const QStringList& paths);

private:
    void FillFromFolder();

    PadCommands& commands_;
    CConvertToolView& view_;
    QWidget* window_;
    FillQueue* fills_ = nullptr;
    QueuePanel* panel_ = nullptr;
    PadQueueOverlay* overlay_ = nullptr;
    QAction* fillAction_ = nullptr;
};

} // namespace k72
