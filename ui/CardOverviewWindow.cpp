#include "ui/CardOverviewWindow.h"

#include "ui/CardOverviewWidget.h"
#include "ui/WindowPlacement.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace k72 {

CardOverviewWindow::CardOverviewWindow(const std::filesystem::path& cardRoot, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kTitle));
    auto* layout = new QVBoxLayout(this);
    overview_ = new CardOverviewWidget(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    layout->addWidget(overview_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(overview_, &CardOverviewWidget::NumberChosen, this, [this](int bank, int number) {
        bank_ = bank;
        number_ = number;
        accept();
    });
    overview_->ShowCard(cardRoot);
}

void CardOverviewWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        PlaceOnParent(this);
    }
}

} // namespace k72
