#pragma once
// The desktop program's file copy: asks before it replaces an existing file, copies on a worker thread
// while a progress window with Cancel keeps the program responsive, and never leaves a half-written
// file behind. Cancel (or Escape) ends the whole command: an export copies its pictures, then its sound,
// and after a cancel nothing more of it is copied or asked; the user is told what was copied.

#include "store/IFileCopy.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstddef>
#include <optional>

namespace k72 {

class QtFileCopy : public IFileCopy {
public:
    explicit QtFileCopy(QWidget* owner = nullptr);
    virtual ~QtFileCopy() = default;

    void SetOwner(QWidget* owner) { owner_ = owner; }
    // Size of one copy step; the worker looks at the Cancel button between steps.
    void SetChunkSize(std::size_t bytes) { chunkBytes_ = bytes; }
    // How long a copy runs before its progress window appears (short copies show none).
    void SetProgressDelay(int milliseconds) { progressDelayMs_ = milliseconds; }

    // Before anything is copied, each existing destination is put to the user: Yes, Yes to All, No
    // (that file is skipped and the copy reports false) or Cancel (nothing is copied). The files are
    // then copied one after another; a failure or Cancel stops the copy and gives false, and files
    // copied before it stay. After a Cancel, the copies the same command asks for until the program
    // is back in the event loop that ran the command give false at once.
    bool Copy(const std::vector<FileCopyItem>& items) override;

    static constexpr const char* kProgressTitle = "Copying...";

    // What the user is told after a cancel: which files the command had copied before it.
    static QString StoppedText(const std::vector<std::filesystem::path>& copied);

protected:
    // A copy that failed (not one the user cancelled): the message names the file, the folder and the
    // reason. Tests replace it.
    virtual void ShowFailure(const QString& text);

private:
    enum class Answer { Yes, YesToAll, No, Cancel };
    Answer AskOverwrite(const std::filesystem::path& destination);
    void StopCommand();

    // The user command the copies belong to: the event loop it runs from, whether the user stopped it,
    // and what it has copied so far.
    struct Command {
        int loopLevel = 0;
        bool stopped = false;
        std::vector<std::filesystem::path> copied;
    };
    std::optional<Command> command_;
    QTimer commandEnd_; // looks whether the program is back in that loop

    QPointer<QWidget> owner_;
    std::size_t chunkBytes_ = std::size_t{1} << 20;
    int progressDelayMs_ = 300;
};

} // namespace k72
