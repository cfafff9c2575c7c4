#include "ui/CDialogConversionInfo.h"

#include "ui/DialogUnits.h"
#include "ui/QtUserMessages.h"
#include "ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace k72 {

CDialogConversionInfo::CDialogConversionInfo(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setWindowTitle(QString::fromLatin1(QtUserMessages::kCaption));
    setFont(FormFont());
    setFixedSize(DluSize(228, 72));
    setModal(true);

    fileLabel_ = new QLabel(this);
    PlaceControl(fileLabel_, 7, 7, 214, 8);
    fileLabel_->setFocusPolicy(Qt::NoFocus);
    statusLabel_ = new QLabel(QStringLiteral("converting..."), this);
    PlaceControl(statusLabel_, 7, 17, 214, 8);
    progressBar_ = new QProgressBar(this);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(QStringLiteral("Conversion progress"));
    PlaceControl(progressBar_, 7, 31, 214, 14);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancelButton_, 171, 51, 50, 14);
    cancelButton_->setDefault(true);
    cancelButton_->setFocus();
    statusLabel_->setFocusPolicy(Qt::NoFocus);
    progressBar_->setFocusPolicy(Qt::NoFocus);

    timer_.setInterval(kTickMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &CDialogConversionInfo::OnTick);
    connect(cancelButton_, &QPushButton::clicked, this, &CDialogConversionInfo::OnCancel);
}

void CDialogConversionInfo::SetFileName(const QString& name) {
    fileLabel_->setText(fileLabel_->fontMetrics().elidedText(name, Qt::ElideMiddle, fileLabel_->width()));
    fileLabel_->setToolTip(name);
}

QString CDialogConversionInfo::StatusLine(const std::string& phase, int barPosition, qint64 elapsedMs) {
    QString line = QString::fromStdString(phase);
    if (phase != "converting..." && phase != "interleaving...") {
        return line;
    }
    line += QStringLiteral("  %1%").arg(barPosition);
    if (barPosition >= 2 && barPosition < 100 && elapsedMs >= 2000) {
        const qint64 left = (elapsedMs * (100 - barPosition) / barPosition + 999) / 1000;
        line += QStringLiteral(", about %1:%2 left").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
    }
    return line;
}

ConversionOutcome CDialogConversionInfo::Run(CConversionManager& manager) {
    model_ = ConversionProgressModel();
    manager_ = &manager;
    exec();
    manager_ = nullptr;
    return model_.Outcome();
}

void CDialogConversionInfo::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Over the window that started the conversion (the screen's centre without one).
    PlaceOnParent(this);
    model_.Start();
    clock_.start();
    ShowModel();
    cancelButton_->setFocus();
    timer_.start();
}

void CDialogConversionInfo::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

void CDialogConversionInfo::reject() {
    timer_.stop();
    CancelConversion();
    model_.Close();
    done(static_cast<int>(model_.End()));
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
        done(static_cast<int>(model_.End()));
    }
}

void CDialogConversionInfo::OnCancel() {
    // The window stays open: the next tick finds the queue empty and closes it.
    CancelConversion();
}

void CDialogConversionInfo::ShowModel() {
    statusLabel_->setText(
        StatusLine(model_.StatusText(), model_.BarPosition(), clock_.isValid() ? clock_.elapsed() : 0));
    progressBar_->setValue(model_.BarPosition());
}

} // namespace k72
