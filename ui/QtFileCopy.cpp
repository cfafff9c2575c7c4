#include "ui/QtFileCopy.h"

#include "ui/CopyWithProgress.h"
#include "ui/ProgressWindow.h"
#include "ui/QtUserMessages.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

namespace k72 {
namespace {

std::uint64_t SizeOf(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<std::uint64_t>(size);
}

QString NameOf(const std::filesystem::path& path) {
    return QString::fromStdString(path.filename().string());
}

} // namespace

QtFileCopy::QtFileCopy(QWidget* owner) : owner_(owner) {
    commandEnd_.setInterval(20);
    QObject::connect(&commandEnd_, &QTimer::timeout, [this] {
        // Timers also run in the loops of this copy's own windows; those are deeper.
        if (command_ && QThread::currentThread()->loopLevel() <= command_->loopLevel) {
            command_.reset();
            commandEnd_.stop();
        }
    });
}

QString QtFileCopy::StoppedText(const std::vector<std::filesystem::path>& copied) {
    if (copied.empty()) {
        return QStringLiteral("Stopped: no file was copied.");
    }
    QString text = QStringLiteral("Stopped: only these files were copied.");
    std::filesystem::path folder;
    for (const std::filesystem::path& file : copied) {
        if (file.parent_path() != folder) {
            folder = file.parent_path();
            text += QStringLiteral("\n\nTo %1:").arg(QString::fromStdString(folder.string()));
        }
        text += QLatin1Char('\n') + NameOf(file);
    }
    return text;
}

void QtFileCopy::StopCommand() {
    command_->stopped = true;
    QtUserMessages::Show(owner_, StoppedText(command_->copied));
}

void QtFileCopy::ShowFailure(const QString& text) {
    QtUserMessages::Show(owner_, text);
}

QtFileCopy::Answer QtFileCopy::AskOverwrite(const std::filesystem::path& destination) {
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(QtUserMessages::kCaption),
                    QStringLiteral("The file \"%1\" already exists in\n%2\n\nDo you want to replace it?")
                        .arg(NameOf(destination), QString::fromStdString(destination.parent_path().string())),
                    QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel, owner_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::YesToAll:
        return Answer::YesToAll;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

bool QtFileCopy::Copy(const std::vector<FileCopyItem>& items) {
    if (!command_) {
        command_ = Command{QThread::currentThread()->loopLevel(), false, {}};
        commandEnd_.start();
    }
    if (command_->stopped) {
        return false;
    }
    // The questions come first, so that the user is not asked halfway through a long copy.
    std::vector<FileCopyItem> accepted;
    bool declined = false;
    bool replaceAll = false;
    std::uint64_t totalBytes = 0;
    for (const FileCopyItem& item : items) {
        std::error_code ec;
        if (!replaceAll && std::filesystem::exists(std::filesystem::symlink_status(item.destination, ec))) {
            const Answer answer = AskOverwrite(item.destination);
            if (answer == Answer::Cancel) {
                StopCommand();
                return false;
            }
            if (answer == Answer::No) {
                declined = true;
                continue;
            }
            replaceAll = answer == Answer::YesToAll;
        }
        accepted.push_back(item);
        totalBytes += SizeOf(item.source);
    }
    if (accepted.empty()) {
        return !declined;
    }

    CopyProgress progress;
    std::atomic<bool> finished{false};
    std::atomic<std::size_t> current{0};
    bool copied = false;
    std::size_t failedItem = 0;
    const std::size_t chunk = chunkBytes_;
    std::thread worker([&] {
        bool ok = true;
        for (std::size_t i = 0; i < accepted.size() && ok; ++i) {
            current.store(i);
            ok = CopyFileWithProgress(accepted[i].source, accepted[i].destination, progress, chunk);
            failedItem = i;
        }
        copied = ok;
        finished.store(true);
    });

    // The window's own loop runs while the worker copies; the window appears only for longer copies.
    // The window is shown by the poll below once the delay has passed.
    ProgressWindow dialog(owner_);
    dialog.setObjectName(QString::fromLatin1(kProgressTitle));
    QObject::connect(&dialog, &QProgressDialog::canceled, [&progress] { progress.cancel.store(true); });
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(40);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (finished.load()) {
            loop.quit();
            return;
        }
        if (dialog.wasCanceled()) {
            progress.cancel.store(true);
        }
        if (progress.cancel.load()) {
            return; // the window has closed; the worker stops at its next step
        }
        const std::size_t index = std::min(current.load(), accepted.size() - 1);
        dialog.setLabelText(
            QStringLiteral("%1\nto %2")
                .arg(NameOf(accepted[index].source),
                     QString::fromStdString(accepted[index].destination.parent_path().string())));
        const std::uint64_t done = progress.bytesDone.load();
        const int permille =
            totalBytes == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(1000, done * 1000 / totalBytes));
        dialog.setValue(permille);
        if (!dialog.isVisible() && clock.elapsed() >= progressDelayMs_) {
            dialog.show();
        }
    });
    poll.start();
    if (!finished.load()) {
        loop.exec();
    }
    poll.stop();
    worker.join();
    dialog.reset();
    // The files before the one that failed or was cancelled are there.
    for (std::size_t i = 0; i < (copied ? accepted.size() : failedItem); ++i) {
        command_->copied.push_back(accepted[i].destination);
    }
    if (!copied && progress.cancel.load()) {
        StopCommand();
        return false;
    }
    if (!copied) {
        // A failure the user did not ask for is never silent: which file, where to, and why.
        const FileCopyItem& item = accepted[failedItem];
        ShowFailure(QStringLiteral("The file \"%1\" could not be copied to the folder\n%2\n\n%3")
                        .arg(NameOf(item.source),
                             QString::fromStdString(item.destination.parent_path().string()),
                             QString::fromStdString(
                                 CopyFailureReason(progress.failureErrno, progress.failedReading))));
    }
    return copied && !declined;
}

} // namespace k72
