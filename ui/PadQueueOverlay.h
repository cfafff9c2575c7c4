#pragma once
// Drawn over the pad grid: each pad of the shown number that waits for a background conversion says
// "queued" or how far its conversion is. It lets every click through to the grid below.

#include <QWidget>

namespace k72 {

class CPadBankStore;
class FillQueue;

class PadQueueOverlay : public QWidget {
    Q_OBJECT
public:
    PadQueueOverlay(FillQueue& fills, CPadBankStore& store, QWidget* grid);

    // What pad 0 … 11 of the shown number says; empty when it waits for nothing.
    QString PadText(int pad) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FillQueue& fills_;
    CPadBankStore& store_;
};

} // namespace k72
