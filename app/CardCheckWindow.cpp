#include "app/CardCheckWindow.h"

#include "store/CPadBankStore.h"
#include "ui/ReadOnlyCard.h"
#include "ui/WindowPlacement.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace k72 {

CardCheckWindow::CardCheckWindow(CPadBankStore& store, const QString& root, QWidget* parent)
    : QDialog(parent), store_(store), root_(root) {
    setWindowTitle(QStringLiteral("Check Card"));
    auto* layout = new QVBoxLayout(this);
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);
    problems_ = new QListWidget(this);
    problems_->setMinimumSize(460, 200);
    auto* buttons = new QDialogButtonBox(this);
    repairButton_ = buttons->addButton(QStringLiteral("Repair"), QDialogButtonBox::ActionRole);
    repairButton_->setToolTip(
        QStringLiteral("Clear records naming missing files and move unused files into "
                       "DCIM/000KAVLO/UNUSED (nothing is deleted; the pad file is copied "
                       "first)"));
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(summary_);
    layout->addWidget(problems_);
    layout->addWidget(buttons);
    connect(repairButton_, &QPushButton::clicked, this, &CardCheckWindow::Repair);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    Recheck();
}

void CardCheckWindow::Recheck() {
    report_ = CardCheck::Run(std::filesystem::path(root_.toStdString())).value;
    problems_->clear();
    for (const CardProblem& problem : report_.problems) {
        problems_->addItem(QString::fromStdString(problem.text) +
                           (problem.repairable ? QStringLiteral("  (repairable)") : QString()));
    }
    QString text;
    if (report_.Sound()) {
        text = QStringLiteral("The card is sound: nothing on it needs attention.");
    } else {
        text = QString::number(report_.problems.size()) + (report_.problems.size() == 1
                                                               ? QStringLiteral(" problem was found")
                                                               : QStringLiteral(" problems were found"));
        text += report_.Repairable() > 0 ? QStringLiteral("; ") + QString::number(report_.Repairable()) +
                                               QStringLiteral(" of them can be repaired.")
                                         : QStringLiteral(". None of them can be repaired here.");
    }
    if (!lastFailures_.isEmpty()) {
        text += QStringLiteral("\nThe repair was not complete: ") + lastFailures_;
    }
    summary_->setText(text);
    // A read-only card is checked, not repaired.
    EnableChange(repairButton_, report_.Repairable() > 0, store_.IsReadOnly());
}

void CardCheckWindow::Repair() {
    const StoreResult repaired = CardCheck::Repair(store_, report_);
    // One line of the summary for everything that could not be repaired.
    lastFailures_ = QString::fromStdString(repaired.text).replace(QLatin1Char('\n'), QStringLiteral("; "));
    emit Repaired();
    Recheck();
}

void CardCheckWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        PlaceOnParent(this);
    }
}

} // namespace k72
