#include "ui/QtPadQuestions.h"

#include "ui/ProgressWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <thread>

namespace k72 {
namespace {

QString Name(const NameField& field) {
    return QString::fromLatin1(NameText(field).c_str());
}

} // namespace

QtPadQuestions::QtPadQuestions(QWidget* owner, Ask ask) : owner_(owner), ask_(std::move(ask)) {}

QString QtPadQuestions::ContentText(const PadEntry& entry) {
    QString text;
    QString sound;
    if (entry.Kind() == PadKindMovie && entry.movie) {
        text = QStringLiteral("the movie ") + Name(entry.movie->fileName);
        sound = Name(entry.movie->audioFileName);
    } else if (entry.Kind() == PadKindStill && entry.stills) {
        const std::size_t count = entry.stills->UsableCount();
        QStringList names;
        for (std::size_t i = 0; i < count && i < 5; ++i) {
            names << Name(entry.stills->stillNames[i]);
        }
        if (count > 5) {
            names << QStringLiteral("…");
        }
        text = count == 1
                   ? QStringLiteral("the picture ") + names.value(0)
                   : QStringLiteral("%1 pictures (%2)").arg(count).arg(names.join(QStringLiteral(", ")));
        sound = Name(entry.stills->audioFileName);
    }
    if (!sound.isEmpty()) {
        text += QStringLiteral(" and the sound ") + sound;
    }
    return text;
}

bool QtPadQuestions::ReplacePad(int pad, const PadEntry& current) {
    const bool several =
        current.Kind() == PadKindStill && current.stills && current.stills->UsableCount() > 1;
    return ask_(QStringLiteral("Pad %1 holds %2. Replace %3?")
                    .arg(pad + 1)
                    .arg(ContentText(current))
                    .arg(several ? QStringLiteral("them") : QStringLiteral("it")));
}

bool QtPadQuestions::DeleteReplacedFiles(int pad, const PadEntry& replaced) {
    return ask_(QStringLiteral("Pad %1 no longer uses %2.\nDelete the replaced files from the card?")
                    .arg(pad + 1)
                    .arg(ContentText(replaced)));
}

bool QtPadQuestions::ConvertSound(const std::string& question) {
    return ask_(QString::fromStdString(question));
}

SoundConversionRun QtPadQuestions::RunSoundConversion(const std::string& shownName,
                                                      const SoundConversionJob& job) {
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<int> permille{0};
    SoundConversionControl control;
    control.progress = [&permille](int value) { permille.store(value); };
    control.cancel = &cancel;
    ResultCode result = rc::Error; // read only after the worker has been joined
    std::thread worker([&] {
        result = job(control);
        finished.store(true);
    });

    // Shown by the poll below once the delay has passed.
    ProgressWindow dialog(owner_);
    dialog.setObjectName(QString::fromLatin1(kProgressName));
    dialog.setLabelText(QStringLiteral("Converting \"%1\" into the K-72's WAV form...")
                            .arg(QString::fromStdString(shownName)));

    QEventLoop loop;
    bool shown = false;
    QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [&] {
        cancel.store(true);
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(40);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished.load() || cancel.load()) {
            loop.quit();
        } else if (shown) {
            if (dialog.wasCanceled() || !dialog.isVisible()) { // Escape or the window's close button
                cancel.store(true);
                loop.quit();
            } else {
                dialog.setValue(permille.load());
            }
        } else if (clock.elapsed() >= kProgressDelayMs) {
            loop.quit(); // time for the progress window
        }
    });
    poll.start();
    // A short conversion runs under the wait cursor: the window paints and its timers run, and what
    // the user types or clicks meanwhile waits until it is over.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!finished.load()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    QApplication::restoreOverrideCursor();
    // A longer one shows its progress; the window is modal, so the dialog behind it takes no input.
    if (!finished.load() && !cancel.load()) {
        dialog.setValue(permille.load());
        dialog.show();
        shown = true;
        loop.exec();
    }
    poll.stop();
    worker.join(); // after a cancel, the converter stops at its next packet
    dialog.hide();
    return {result, cancel.load()};
}

} // namespace k72
