#pragma once
// The progress window of a movie import. It polls the conversion manager every 200 ms (the worker
// never calls into it), shows the phase and a bar from 0 to 100, lets the user cancel, and closes by
// itself when the job has finished or failed: end code 1 when the conversion completed, 2 otherwise.

#include "engine/ConversionProgressModel.h"
#include "store/IConversionProgress.h"

#include <QDialog>
#include <QElapsedTimer>
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
    // The name of the file being converted, shown above the phase.
    void SetFileName(const QString& name);

    // Watches one movie job that the caller has added to manager, modally, until it ends.
    ConversionOutcome Run(CConversionManager& manager) override;

    bool Cancelled() const { return model_.Cancelled(); }
    ResultCode FinalResult() const { return model_.FinalResult(); }

    QLabel* StatusLabel() const { return statusLabel_; }
    QLabel* FileLabel() const { return fileLabel_; }
    QProgressBar* ProgressBar() const { return progressBar_; }
    QPushButton* CancelButton() const { return cancelButton_; }

    static constexpr int kTickMilliseconds = 200;

public slots:
    // Escape and the window's close request do what Cancel does, at once: the queue is emptied and the
    // conversion asked to stop, and the window ends with end code 2 as cancelled, so the import stops
    // without a failure message.
    void reject() override;

    // The line under the file name: the phase, and while converting the share done and an estimate
    // of the time left once one can be made (after two seconds and two percent).
    static QString StatusLine(const std::string& phase, int barPosition, qint64 elapsedMs);

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
    QElapsedTimer clock_;
    QLabel* fileLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

} // namespace k72
