#pragma once
// What the desktop program answers when a pad command asks: whether to replace what a pad holds, to
// delete the files it replaced (a sound it replaced among them), to convert a sound the device cannot play.
// The questions go to the window's own Yes/No question (tests script it); a sound conversion runs on a thread
// of its own while the window's event loop goes on: a short one under the wait cursor, a longer one with a
// progress window whose Cancel stops it.

#include "store/IPadQuestions.h"
#include "store/PadCommands.h"

#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

namespace k72 {

class QtPadQuestions : public IPadQuestions {
public:
    using Ask = std::function<bool(const QString& question)>;

    // owner is the window the progress window belongs to (it may be null); ask puts a question and
    // answers true for yes.
    QtPadQuestions(QWidget* owner, Ask ask);

    bool ReplacePad(int pad, const PadEntry& current) override;
    bool DeleteReplacedFiles(int pad, const PadEntry& replaced) override;
    std::optional<bool> DeleteFreedSound(int pad, const std::string& name) override;
    bool ConvertSound(const std::string& question) override;
    SoundConversionRun RunSoundConversion(const std::string& shownName,
                                          const SoundConversionJob& job) override;

    // Attaches the sound at path to the pad, asking ask whether to convert it when the device cannot
    // play it as it is; the conversion waits beside owner.
    static StoreOutcome<AttachedSound> AttachSound(PadCommands& commands, int pad, const QString& path,
                                                   QWidget* owner, Ask ask);
    // The information windows' question whether to convert a sound: Yes, No; Yes is the default.
    static bool AskToConvert(QWidget* owner, const QString& question);

    // How a pad's content is named in questions: "the movie K72_0006.AVI and the sound RAIN.WAV",
    // "3 pictures (K72_0002.JPG, K72_0003.JPG, K72_0004.JPG)".
    static QString ContentText(const PadEntry& entry);

    // How long a conversion runs under the wait cursor before its progress window appears.
    static constexpr int kProgressDelayMs = 300;
    // The progress window's object name, by which tests find it.
    static constexpr const char* kProgressName = "SoundConversionProgress";

private:
    QPointer<QWidget> owner_;
    Ask ask_;
};

} // namespace k72
