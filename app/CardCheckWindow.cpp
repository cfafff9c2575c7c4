#include "app/CardCheckWindow.h"

#include "store/CPadBankStore.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace k72 {

CardCheckWindow::CardCheckWindow(CPadBankStore& store, const QString& root, QWidget* parent)
    : QDialog(parent), store(store), root(root) {
    setWindowTitle(QStringLiteral("Check Card"));
    auto* layout = new QVBoxLayout(this);
    summary = new QLabel(this);
    summary->setWordWrap(true);
    problems = new QListWidget(this);
    problems->setMinimumSize(460, 200);
    auto* buttons = new QDialogButtonBox(this);
    repairButton = buttons->addButton(QStringLiteral("Repair"), QDialogButtonBox::ActionRole);
    repairButton->setToolTip(
        QStringLiteral("Clear records naming missing files and move unused files into "
                       "DCIM/000KAVLO/UNUSED (nothing is deleted; the pad file is copied "
                       "first)"));
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(summary);
    layout->addWidget(problems);
    layout->addWidget(buttons);
    connect(repairButton, &QPushButton::clicked, this, &CardCheckWindow::Repair);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    Recheck();
}

void CardCheckWindow::Recheck() {
    report = CardCheck::Run(std::filesystem::path(root.toStdString()));
    problems->clear();
    for (const CardProblem& problem : report.problems) {
        problems->addItem(QString::fromStdString(problem.text) +
                          (problem.repairable ? QStringLiteral("  (repairable)") : QString()));
    }
    QString text;
    if (report.Sound()) {
        text = QStringLiteral("The card is sound: nothing on it needs attention.");
    } else {
        text = QString::number(report.problems.size()) + (report.problems.size() == 1
                                                              ? QStringLiteral(" problem was found")
                                                              : QStringLiteral(" problems were found"));
        text += report.Repairable() > 0 ? QStringLiteral("; ") + QString::number(report.Repairable()) +
                                              QStringLiteral(" of them can be repaired.")
                                        : QStringLiteral(". None of them can be repaired here.");
    }
    if (!lastFailures.isEmpty()) {
        text += QStringLiteral("\nThe repair was not complete: ") + lastFailures;
    }
    summary->setText(text);
    repairButton->setEnabled(report.Repairable() > 0);
}

void CardCheckWindow::Repair() {
    std::vector<std::string> failures;
    CardCheck::Repair(store, report, failures);
    lastFailures.clear();
    for (const std::string& failure : failures) {
        lastFailures +=
            (lastFailures.isEmpty() ? QString() : QStringLiteral("; ")) + QString::fromStdString(failure);
    }
    emit Repaired();
    Recheck();
}

} // namespace k72
