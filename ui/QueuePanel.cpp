#include "ui/QueuePanel.h"

#include "ui/FillQueue.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace k72 {
namespace {

enum Column { kSource, kPad, kState, kProgress, kLeft, kColumns };

QString TimeLeft(const ConversionJobStatus& job) {
    if (job.state != ConversionJobState::Running || !job.secondsLeft) {
        return {};
    }
    const int seconds = static_cast<int>(*job.secondsLeft + 0.5);
    return seconds >= 60 ? QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60)
                         : QStringLiteral("%1 s").arg(seconds);
}

QString StateText(const ConversionJobStatus& job) {
    QString state = QString::fromUtf8(ConversionJobStateWord(job.state).data(),
                                      static_cast<qsizetype>(ConversionJobStateWord(job.state).size()));
    if (job.state == ConversionJobState::Failed && !job.cause.empty()) {
        state += QStringLiteral(": ") + QString::fromStdString(job.cause);
    }
    return state;
}

} // namespace

QueuePanel::QueuePanel(FillQueue& fills, QWidget* parent) : QWidget(parent), fills_(fills) {
    setWindowTitle(QStringLiteral("Conversion Queue"));
    table_ = new QTableWidget(0, kColumns, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Source"), QStringLiteral("Pad"),
                                       QStringLiteral("State"), QStringLiteral("Progress"),
                                       QStringLiteral("Time left")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(kSource, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(kState, QHeaderView::Stretch);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelAll_ = new QPushButton(QStringLiteral("Cancel All"), this);
    retry_ = new QPushButton(QStringLiteral("Retry"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancel_);
    buttons->addWidget(cancelAll_);
    buttons->addStretch();
    buttons->addWidget(retry_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(640, 300);

    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (const auto id = ChosenJob()) {
            fills_.Queue().Cancel(id);
        }
        Refresh();
    });
    connect(cancelAll_, &QPushButton::clicked, this, [this] {
        fills_.Queue().CancelAll();
        Refresh();
    });
    connect(retry_, &QPushButton::clicked, this, [this] {
        if (const auto id = ChosenJob()) {
            fills_.Queue().Retry(id);
        }
        Refresh();
    });
    connect(table_, &QTableWidget::itemSelectionChanged, this, &QueuePanel::Refresh);
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &QueuePanel::Refresh);
    timer_->start(250);
    Refresh();
}

unsigned long long QueuePanel::ChosenJob() const {
    const auto rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return 0;
    }
    const QTableWidgetItem* item = table_->item(rows.front().row(), kSource);
    return item != nullptr ? item->data(Qt::UserRole).toULongLong() : 0;
}

void QueuePanel::Refresh() {
    const auto chosen = ChosenJob();
    const std::vector<ConversionJobStatus> jobs = fills_.Jobs();
    const QSignalBlocker quiet(table_);
    table_->setRowCount(static_cast<int>(jobs.size()));
    std::optional<ConversionJobStatus> chosenJob;
    for (int row = 0; row < static_cast<int>(jobs.size()); ++row) {
        const ConversionJobStatus& job = jobs[static_cast<std::size_t>(row)];
        QString source =
            job.sources.empty() ? QString() : QString::fromStdString(job.sources.front().filename().string());
        if (job.sources.size() > 1) {
            source += QStringLiteral(" +%1").arg(job.sources.size() - 1);
        }
        const QStringList cells = {source, fills_.PadOf(job), StateText(job),
                                   QStringLiteral("%1 %").arg(static_cast<int>(job.progress * 100)),
                                   TimeLeft(job)};
        for (int column = 0; column < kColumns; ++column) {
            QTableWidgetItem* item = table_->item(row, column);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                table_->setItem(row, column, item);
            }
            item->setText(cells[column]);
            item->setToolTip(column == kState ? cells[column] : QString());
        }
        table_->item(row, kSource)->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(job.id));
        if (job.id == chosen) {
            table_->selectRow(row);
            chosenJob = job;
        }
    }
    cancel_->setEnabled(chosenJob && !chosenJob->Finished());
    retry_->setEnabled(chosenJob && (chosenJob->state == ConversionJobState::Failed ||
                                     chosenJob->state == ConversionJobState::Cancelled));
    cancelAll_->setEnabled(fills_.Busy());
}

} // namespace k72
