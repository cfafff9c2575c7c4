#pragma once
// The queue panel: every background job with its source, pad, state, progress and time left, a failed
// one with its reason; Cancel for the chosen job, Cancel All, and Retry for a failed or cancelled one.
// It reads the queue a few times a second, so that the window never waits for a conversion.

#include <QWidget>

class QPushButton;
class QTableWidget;
class QTimer;

namespace k72 {

class FillQueue;

class QueuePanel : public QWidget {
    Q_OBJECT
public:
    explicit QueuePanel(FillQueue& fills, QWidget* parent = nullptr);

    QTableWidget* Table() const { return table_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* CancelAllButton() const { return cancelAll_; }
    QPushButton* RetryButton() const { return retry_; }
    // Reads the jobs again.
    void Refresh();

private:
    // The job of the chosen row; 0 when none is chosen.
    unsigned long long ChosenJob() const;

    FillQueue& fills_;
    QTableWidget* table_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* cancelAll_ = nullptr;
    QPushButton* retry_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace k72
