#include "ui/CDialogConversionInfo.h"

#include "ui/DialogUnits.h"
#include "ui/QtUserMessages.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace k72 {

CDialogConversionInfo::CDialogConversionInfo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QString::fromLatin1(QtUserMessages::kCaption));
    setFont(FormFont());
    setFixedSize(DluSize(228, 62));
    setModal(true);

    statusLabel = new QLabel(QStringLiteral("converting..."), this);
    PlaceControl(statusLabel, 7, 7, 145, 8);
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    PlaceControl(progressBar, 7, 21, 214, 14);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancelButton, 171, 41, 50, 14);
    cancelButton->setDefault(true);
    cancelButton->setFocus();
    statusLabel->setFocusPolicy(Qt::NoFocus);
    progressBar->setFocusPolicy(Qt::NoFocus);

    timer_.setInterval(kTickMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &CDialogConversionInfo::OnTick);
    connect(cancelButton, &QPushButton::clicked, this, &CDialogConversionInfo::OnCancel);
}

ConversionOutcome CDialogConversionInfo::Run(CConversionManager& manager) {
    model_ = ConversionProgressModel();
    manager_ = &manager;
    exec();
    manager_ = nullptr;
    ConversionOutcome outcome;
    outcome.endCode = model_.EndCode() == ConversionProgressModel::Completed ? 1 : 2;
    outcome.cancelled = model_.Cancelled();
    outcome.finalResult = model_.FinalResult();
    return outcome;
}

void CDialogConversionInfo::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the screen's work area, whatever window opened it.
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    model_.Start();
    ShowModel();
    cancelButton->setFocus();
    timer_.start();
}

void CDialogConversionInfo::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

void CDialogConversionInfo::reject() {
    timer_.stop();
    model_.Close();
    done(model_.EndCode());
}

void CDialogConversionInfo::Poll() {
    model_.Poll(manager_);
}

void CDialogConversionInfo::CancelConversion() {
    model_.Cancel(manager_);
}

void CDialogConversionInfo::OnTick() {
    Poll();
    ShowModel();
    if (model_.Closed()) {
        timer_.stop();
        done(model_.EndCode());
    }
}

void CDialogConversionInfo::OnCancel() {
    // The window stays open: the next tick finds the queue empty and closes it.
    CancelConversion();
}

void CDialogConversionInfo::ShowModel() {
    statusLabel->setText(QString::fromStdString(model_.StatusText()));
    progressBar->setValue(model_.BarPosition());
}

} // namespace k72
