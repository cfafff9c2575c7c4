#include "ui/SoundForPad.h"

#include "ui/SoundFileProblem.h"

#include "codecs/SoundConverter.h"
#include "engine/CConversionManager.h"
#include "store/CPadBankStore.h"
#include "store/ShortName.h"
#include "store/StoreMessages.h"
#include "ui/ProgressWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <system_error>
#include <thread>

namespace k72 {

SoundForPad::SoundForPad(QWidget* owner) : owner_(owner) {}

QString SoundForPad::Reason(int code) {
    switch (code) {
    case rc::PcmOpenFailed:
        return QStringLiteral("it cannot be opened");
    case rc::PcmBadRiff:
        return QStringLiteral("it is not a WAV file");
    case rc::PcmBadFmtSize:
        return QStringLiteral("its WAV header is damaged");
    case rc::PcmNotPcm:
        return QStringLiteral("its sound is compressed or stored as floating point");
    case rc::PcmBadChannels:
        return QStringLiteral("it is not stereo");
    case rc::PcmBadSampleRate:
        return QStringLiteral("its sample rate is not 44,100 Hz");
    case rc::PcmBadByteRate:
    case rc::PcmBadBlockAlign:
        return QStringLiteral("its WAV header does not match its sound");
    case rc::PcmBadBitsPerSample:
        return QStringLiteral("its samples are not 16 bits");
    case rc::PcmNoData:
        return QStringLiteral("it holds no complete sound data");
    default:
        return QStringLiteral("the K-72 cannot play it");
    }
}

SoundForPad::Outcome SoundForPad::Fail(const QString& problem) {
    folder_.reset(); // takes whatever was written in it along
    file_.clear();
    name_.clear();
    problem_ = problem;
    return Outcome::Failed;
}

SoundForPad::Outcome SoundForPad::Prepare(const QString& path, const Ask& ask) {
    const std::filesystem::path source(path.toStdString());
    const QString shownName = QFileInfo(path).fileName();
    const ResultCode check = CConversionManager::CheckPcmFile(source.string());
    if (Succeeded(check)) {
        file_ = source;
        name_ = shownName.toStdString();
        return Outcome::UseAsIs;
    }
    if (check == rc::PcmOpenFailed) {
        return Fail(QString::fromLatin1(messages::kLoadFailed));
    }
    // Every way the header differs from the device's form, where it tells; else what the check found.
    QString why = SoundFileProblem(path);
    if (why.isEmpty()) {
        why = Reason(check);
    }
    const QString question =
        QStringLiteral("\"%1\" cannot be used as it is: %2.\n"
                       "The K-72 plays only WAV files of 16-bit PCM, 44,100 Hz, stereo.\n\n"
                       "Convert it into that form?")
            .arg(shownName, why);
    if (!ask(question)) {
        return Outcome::Declined;
    }
    folder_ = std::make_unique<QTemporaryDir>();
    if (!folder_->isValid()) {
        return Fail(QString::fromStdString(messages::TemporaryFolderUnusable(
            QDir::toNativeSeparators(QDir::tempPath()).toStdString(), "no folder can be made in it")));
    }
    name_ = ConvertedSoundName(source);
    file_ = std::filesystem::path(folder_->path().toStdString()) / name_;
    bool cancelled = false;
    const ResultCode converted = Convert(source, shownName, cancelled);
    if (cancelled) {
        // Whatever the converter got to, even a finished file, goes with the folder.
        Fail(QStringLiteral("The conversion of \"%1\" was cancelled.\nThe pad's sound has not changed.")
                 .arg(shownName));
        return Outcome::Cancelled;
    }
    if (converted == rc::FileError) {
        return Fail(QString::fromStdString(
            messages::TemporaryFolderUnusable(QDir::toNativeSeparators(QDir::tempPath()).toStdString(),
                                              "the converted sound could not be written to it")));
    }
    if (converted == rc::FileSizeOverLimit) {
        return Fail(QStringLiteral("\"%1\" is too long for the K-72: as a WAV file of 16-bit PCM, 44,100 Hz, "
                                   "stereo it would be larger than 4 GB.")
                        .arg(shownName));
    }
    if (Failed(converted)) {
        return Fail(QString::fromLatin1(messages::kLoadFailed));
    }
    return Outcome::Converted;
}

ResultCode SoundForPad::Convert(const std::filesystem::path& source, const QString& shownName,
                                bool& cancelled) {
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    std::atomic<int> permille{0};
    SoundConversionControl control;
    control.progress = [&permille](int value) { permille.store(value); };
    control.cancel = &cancel;
    ResultCode result = rc::Error; // read only after the worker has been joined
    const std::string from = source.string();
    const std::string to = file_.string();
    std::thread worker([&] {
        result = ConvertSoundToDeviceWav(from, to, control);
        finished.store(true);
    });

    // Shown by the poll below once the delay has passed.
    ProgressWindow dialog(owner_);
    dialog.setObjectName(QString::fromLatin1(kProgressName));
    dialog.setLabelText(QStringLiteral("Converting \"%1\" into the K-72's WAV form...").arg(shownName));

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
    cancelled = cancel.load();
    return result;
}

SoundForPad::Attachment SoundForPad::Attach(CPadBankStore& store, int pad, const QString& path,
                                            const Ask& ask, QWidget* owner) {
    SoundForPad sound(owner);
    Attachment attached;
    attached.outcome = sound.Prepare(path, ask);
    if (attached.outcome == Outcome::Declined) {
        return attached;
    }
    if (attached.outcome == Outcome::Failed || attached.outcome == Outcome::Cancelled) {
        attached.problem = sound.Problem();
        return attached;
    }
    if (!store.SetAudio(sound.File(), pad, sound.Name())) {
        attached.outcome = Outcome::Failed;
        attached.problem = QString::fromLatin1(messages::kLoadFailed);
        return attached;
    }
    attached.name = sound.Name();
    return attached;
}

} // namespace k72
