#pragma once
// The result window of File → "Check Card…": what the check found on the open card, one line each, and
// a Repair button for the part that can be put right without losing anything (records naming missing
// files cleared, unused files moved into DCIM/000KAVLO/UNUSED/ after a copy of the pad file).

#include "store/CardCheck.h"

#include <QDialog>

class QLabel;
class QListWidget;
class QPushButton;

namespace k72 {

class CPadBankStore;

class CardCheckWindow : public QDialog {
    Q_OBJECT
public:
    // root: the card's root; store: the store that has that card open (the repair goes through it).
    CardCheckWindow(CPadBankStore& store, const QString& root, QWidget* parent = nullptr);

    const CardCheckReport& Report() const { return report_; }
    QLabel* Summary() const { return summary_; }
    QListWidget* Problems() const { return problems_; }
    QPushButton* RepairButton() const { return repairButton_; }

    // Checks the card again and shows what was found.
    void Recheck();
    // Repairs what can be repaired, then checks again.
    void Repair();

signals:
    // The pad file was changed by a repair.
    void Repaired();

protected:
    void showEvent(QShowEvent* event) override; // opens centred on the window it belongs to

private:
    CPadBankStore& store_;
    QString root_;
    CardCheckReport report_;
    QLabel* summary_ = nullptr;
    QListWidget* problems_ = nullptr;
    QPushButton* repairButton_ = nullptr;
    QString lastFailures_;
};

} // namespace k72
