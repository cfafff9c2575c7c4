#pragma once
// The progress window of a movie import. It polls the conversion manager every 200 ms (the worker
// never calls into it), shows the phase and a bar from 0 to 100, lets the user cancel, and closes by
// itself when the job has finished or failed: end code 1 when the conversion completed, 2 otherwise.

#include "engine/ConversionProgressModel.h"
#include "store/IConversionProgress.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace k72 {

class CConversionManager;

class CDialogConversionInfo : public QDialog, public IConversionProgress {
    Q_OBJECT
public:
    explicit CDialogConversionInfo(QWidget* parent = nullptr);

    // The manager to watch; without one the window does nothing on its ticks.
    void SetManager(CConversionManager* manager) { manager_ = manager; }

    // Watches one movie job that the caller has added to manager, modally, until it ends.
    ConversionOutcome Run(CConversionManager& manager) override;

    bool Cancelled() const { return model_.Cancelled(); }
    ResultCode FinalResult() const { return model_.FinalResult(); }

    QLabel* StatusLabel() const { return statusLabel; }
    QProgressBar* ProgressBar() const { return progressBar; }
    QPushButton* CancelButton() const { return cancelButton; }

    static constexpr int kTickMilliseconds = 200;

public slots:
    // Escape and the window's close request end the window at once with end code 2, without stopping
    // the conversion: the caller's destruction of the manager does that.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // One tick's reading of the manager into the model, and the Cancel button's request to it. The
    // tests replace them to play a conversion step by step.
    virtual void Poll();
    virtual void CancelConversion();
    ConversionProgressModel& Model() { return model_; }

private:
    void OnTick();
    void OnCancel();
    void ShowModel();

    CConversionManager* manager_ = nullptr;
    ConversionProgressModel model_;
    QTimer timer_;
    QLabel* statusLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* cancelButton = nullptr;
};

} // namespace k72
