#pragma once
// The desktop program's background conversions: a fill of a number from files and folders is planned
// at once, its conversions queued, and each pad saved as soon as its files are on the card, on the
// window's thread, while the user goes on browsing numbers and banks and queueing more. The queue
// panel shows and steers the jobs; the view redraws the pads when one is saved.

#include "engine/ConversionQueue.h"
#include "store/ApplyRun.h"
#include "store/PlainFileCopy.h"
#include "store/Settings.h"
#include "store/TemporaryWorkspace.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <list>
#include <memory>
#include <optional>
#include <vector>

namespace k72 {

class CPadBankStore;

class FillQueue : public QObject {
    Q_OBJECT
public:
    explicit FillQueue(CPadBankStore& store, QObject* parent = nullptr);
    ~FillQueue() override;

    // Fills the number from startPad (0 … 11) on; pads that hold something are skipped. What did not
    // fit and what was left aside come back as lines for the user; empty when all was queued.
    QStringList Fill(int bank, int number, int startPad, const QStringList& paths, const Settings& settings);

    ConversionQueue& Queue();
    // The queue's jobs; none before the first fill.
    std::vector<ConversionJobStatus> Jobs() const;
    // A job of the queue: the pad it is for and its source, as the panel shows them.
    QString PadOf(const ConversionJobStatus& job) const;
    // Jobs queued or running, or pads still to be saved.
    bool Busy() const;
    // The pads of this number waiting for a job, and how far it is (0 … 1).
    std::optional<double> PadProgress(const PadLocation& where) const;

signals:
    // A pad was saved or given up (text: why).
    void PadFinished(const QString& pad, bool ok, const QString& text);

private:
    void JobEnded(const ConversionJobStatus& status);
    const ApplyRun* RunOf(ConversionJobId id) const;

    CPadBankStore& store_;
    PlainFileCopy copy_;
    SourceRecord record_;
    std::list<ApplyRun> runs_;
    // Holds the queue's folder under this process's id, so that a later run removes it after a crash.
    std::unique_ptr<TemporaryWorkspace> workspace_;
    std::unique_ptr<ConversionQueue> queue_; // last: stopped before the runs go
};

} // namespace k72
