#include "ui/FillQueue.h"

#include "store/CPadBankStore.h"
#include "store/FillPlanner.h"

#include <QMetaObject>

namespace k72 {
namespace {

std::filesystem::path CardRootOf(const CPadBankStore& store) {
    // The card folder is DCIM/000KAVLO below the card's root.
    return store.CardFolder().parent_path().parent_path();
}

} // namespace

FillQueue::FillQueue(CPadBankStore& store, QObject* parent) : QObject(parent), store_(store) {}

ConversionQueue& FillQueue::Queue() {
    if (!queue_) {
        // Made with the first fill, so that a program that fills nothing leaves no folder at all.
        workspace_ = std::make_unique<TemporaryWorkspace>(store_.TemporaryFolder());
        ConversionQueue::Options options;
        options.parentFolder = workspace_->Ok() ? workspace_->Path() : store_.TemporaryFolder();
        // On a worker thread: handed to the window's thread, which owns the card.
        options.completion = [this](const ConversionJobStatus& status) {
            QMetaObject::invokeMethod(
                this, [this, status] { JobEnded(status); }, Qt::QueuedConnection);
        };
        queue_ = std::make_unique<ConversionQueue>(std::move(options));
    }
    return *queue_;
}

std::vector<ConversionJobStatus> FillQueue::Jobs() const {
    return queue_ ? queue_->Jobs() : std::vector<ConversionJobStatus>{};
}

FillQueue::~FillQueue() {
    queue_.reset();
}

QStringList FillQueue::Fill(int bank, int number, int startPad, const QStringList& paths,
                            const Settings& settings) {
    QStringList lines;
    FillRequest request;
    for (const QString& path : paths) {
        request.paths.emplace_back(path.toStdString());
    }
    request.startPad = startPad;
    for (int pad = 0; pad < padlayout::kPads; ++pad) {
        const std::optional<PadEntry> entry = store_.EntryAt({bank, number, pad});
        // A pad already waiting for an earlier fill counts as taken too.
        request.occupied[static_cast<std::size_t>(pad)] =
            (entry && entry->Kind() != PadKindEmpty) || PadProgress({bank, number, pad}).has_value();
    }
    const FillPlan fill = PlanFill(request);
    for (const FillLeftOver& item : fill.leftOver) {
        lines << QStringLiteral("%1: no free pad left")
                     .arg(QString::fromStdString(item.source.filename().string()));
    }
    for (const FillIgnored& item : fill.ignored) {
        lines << QStringLiteral("%1: %2").arg(
            QString::fromStdString(item.path.filename().string()),
            QString::fromStdString(std::string(FillIgnoreText(item.reason))));
    }
    if (fill.placements.empty()) {
        return lines;
    }
    const std::filesystem::path root = CardRootOf(store_);
    if (runs_.empty()) {
        // One record for every run at work, each entry saved as it is made.
        record_ = SourceRecord::Load(root);
    }
    SourceProbe probe;
    ApplySchedule schedule = ScheduleApply(PlanOfFill(fill, bank, number), settings, CardPadFiles(store_),
                                           record_, ListCardFileStamps(store_.CardFolder()), probe);
    for (const PadProblem& problem : schedule.problems) {
        lines << QString::fromStdString(problem.text);
    }
    ApplyRun& run = runs_.emplace_back(store_, copy_, root, record_, std::move(schedule), false);
    run.onPad = [this](const ApplyPadOutcome& outcome) {
        emit PadFinished(QString::fromStdString(outcome.where.Text()), outcome.ok,
                         QString::fromStdString(outcome.text));
    };
    run.Start(Queue());
    return lines;
}

void FillQueue::JobEnded(const ConversionJobStatus& status) {
    for (ApplyRun& run : runs_) {
        if (run.JobEnded(status)) {
            break;
        }
    }
    // Runs whose pads are all saved and whose jobs all worked are done with; one with a failed job stays
    // for its retry.
    runs_.remove_if([this](const ApplyRun& run) {
        if (!run.Finished()) {
            return false;
        }
        for (const ConversionJobStatus& job : Jobs()) {
            if (run.Owns(job.id) && job.state != ConversionJobState::Done) {
                return false;
            }
        }
        return true;
    });
}

const ApplyRun* FillQueue::RunOf(ConversionJobId id) const {
    for (const ApplyRun& run : runs_) {
        if (run.Owns(id)) {
            return &run;
        }
    }
    return nullptr;
}

QString FillQueue::PadOf(const ConversionJobStatus& job) const {
    const ApplyRun* run = RunOf(job.id);
    if (run == nullptr || job.tag >= run->Schedule().conversions.size()) {
        return {};
    }
    QStringList pads;
    for (const PadLocation& where : run->Schedule().conversions[job.tag].pads) {
        pads << QString::fromStdString(where.Text());
    }
    return pads.join(QStringLiteral(", "));
}

bool FillQueue::Busy() const {
    // A pad whose conversion has ended is still to be saved until its completion has come round.
    for (const ApplyRun& run : runs_) {
        if (!run.Finished()) {
            return true;
        }
    }
    for (const ConversionJobStatus& job : Jobs()) {
        if (!job.Finished()) {
            return true;
        }
    }
    return false;
}

std::optional<double> FillQueue::PadProgress(const PadLocation& where) const {
    std::optional<double> progress;
    for (const ConversionJobStatus& job : Jobs()) {
        const ApplyRun* run = RunOf(job.id);
        if (job.Finished() || run == nullptr || job.tag >= run->Schedule().conversions.size()) {
            continue;
        }
        const auto& pads = run->Schedule().conversions[job.tag].pads;
        if (std::find(pads.begin(), pads.end(), where) != pads.end()) {
            progress = std::min(progress.value_or(1.0), job.progress);
        }
    }
    return progress;
}

} // namespace k72
