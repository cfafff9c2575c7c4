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
    setFixedSize(DluSize(228, 72));
    setModal(true);

    fileLabel = new QLabel(this);
    PlaceControl(fileLabel, 7, 7, 214, 8);
    fileLabel->setFocusPolicy(Qt::NoFocus);
    statusLabel = new QLabel(QStringLiteral("converting..."), this);
    PlaceControl(statusLabel, 7, 17, 214, 8);
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressBar->setAccessibleName(QStringLiteral("Conversion progress"));
    PlaceControl(progressBar, 7, 31, 214, 14);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancelButton, 171, 51, 50, 14);
    cancelButton->setDefault(true);
    cancelButton->setFocus();
    statusLabel->setFocusPolicy(Qt::NoFocus);
    progressBar->setFocusPolicy(Qt::NoFocus);

    timer_.setInterval(kTickMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &CDialogConversionInfo::OnTick);
    connect(cancelButton, &QPushButton::clicked, this, &CDialogConversionInfo::OnCancel);
}

void CDialogConversionInfo::SetFileName(const QString& name) {
    fileLabel->setText(fileLabel->fontMetrics().elidedText(name, Qt::ElideMiddle, fileLabel->width()));
    fileLabel->setToolTip(name);
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
    // Centred on the screen's work area, whatever window opened it.
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    model_.Start();
    clock_.start();
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
    statusLabel->setText(
        StatusLine(model_.StatusText(), model_.BarPosition(), clock_.isValid() ? clock_.elapsed() : 0));
    progressBar->setValue(model_.BarPosition());
}

} // namespace k72
