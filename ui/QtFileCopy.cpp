#include "ui/QtFileCopy.h"

#include "ui/CopyWithProgress.h"
#include "ui/QtUserMessages.h"
#include "ui/WorkWithProgress.h"

#include <QMessageBox>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <system_error>

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

QtFileCopy::QtFileCopy(QWidget* owner) : owner_(owner) {}

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
    std::atomic<std::size_t> current{0};
    bool copied = false;
    std::size_t failedItem = 0;
    const std::size_t chunk = chunkBytes_;
    ProgressWindow window;
    window.owner = owner_;
    window.objectName = QString::fromLatin1(kProgressTitle);
    window.delayMs = progressDelayMs_; // the window appears only for longer copies
    const auto copyAll = [&] {
        bool ok = true;
        for (std::size_t i = 0; i < accepted.size() && ok; ++i) {
            current.store(i);
            ok = CopyFileWithProgress(accepted[i].source, accepted[i].destination, progress, chunk);
            failedItem = i;
        }
        copied = ok;
    };
    RunWithProgress(window, copyAll, progress.cancel, [&] {
        const FileCopyItem& item = accepted[std::min(current.load(), accepted.size() - 1)];
        const std::uint64_t done = progress.bytesDone.load();
        return ProgressState{
            totalBytes == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(1000, done * 1000 / totalBytes)),
            QStringLiteral("%1\nto %2")
                .arg(NameOf(item.source), QString::fromStdString(item.destination.parent_path().string()))};
    });
    if (!copied && !progress.cancel.load()) {
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
