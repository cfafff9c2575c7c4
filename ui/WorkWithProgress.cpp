#include "ui/WorkWithProgress.h"

#include "ui/QtUserMessages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <limits>
#include <thread>

namespace k72 {

void RunWithProgress(const ProgressWindow& window, const std::function<void()>& work,
                     std::atomic<bool>& cancel, const std::function<ProgressState()>& state) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished.store(true);
    });

    QProgressDialog dialog(window.owner);
    dialog.setObjectName(window.objectName);
    dialog.setWindowTitle(QString::fromLatin1(QtUserMessages::kCaption));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    // Shown by the poll below once the delay has passed, never by the dialog's own guess.
    dialog.setMinimumDuration(std::numeric_limits<int>::max());
    dialog.setRange(0, 1000);
    dialog.setLabelText(window.label);
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    QObject::connect(&dialog, &QProgressDialog::canceled, [&cancel] { cancel.store(true); });

    QEventLoop loop;
    bool shown = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(40);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished.load()) {
            loop.quit();
            return;
        }
        if (shown && (dialog.wasCanceled() || !dialog.isVisible())) { // Escape or the close button
            cancel.store(true);
        }
        if (cancel.load()) {
            return; // the window has closed; the work stops at its next step
        }
        if (state) {
            const ProgressState now = state();
            if (!now.label.isEmpty()) {
                dialog.setLabelText(now.label);
            }
            dialog.setValue(now.permille);
        }
        if (!shown && clock.elapsed() >= window.delayMs) {
            if (window.waitCursor) {
                loop.quit(); // out of the phase without input, into the window's own
            } else {
                dialog.show();
                shown = true;
            }
        }
    });
    poll.start();
    if (window.waitCursor) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (!finished.load()) {
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        QApplication::restoreOverrideCursor();
        if (!finished.load() && !cancel.load()) {
            dialog.show();
            shown = true;
        }
    }
    // The window is modal, so the window behind it takes no input meanwhile.
    if (!finished.load()) {
        loop.exec();
    }
    poll.stop();
    worker.join();
    dialog.reset();
    dialog.hide();
}

} // namespace k72
