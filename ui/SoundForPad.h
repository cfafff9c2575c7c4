#pragma once
// The sound file a user picks for a pad: a WAV file the device plays goes onto the card as it is; any
// other sound, once the user agrees, is first converted into the device's WAV form (PCM, 16 bits,
// 44,100 Hz, stereo) in a temporary folder, under an 8.3 name made from the source's name.
//
// The conversion runs on a thread of its own while the window's event loop goes on: a short one under
// the wait cursor, a longer one with a progress window whose Cancel stops it. A cancelled or failed
// conversion leaves nothing behind, neither on the card nor in the temporary folder.

#include "codecs/ResultCodes.h"

#include <QPointer>
#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace k72 {

class CPadBankStore;

class SoundForPad {
public:
    enum class Outcome { UseAsIs, Converted, Declined, Failed, Cancelled };
    using Ask = std::function<bool(const QString& question)>;

    // owner is the window the progress window belongs to (it may be null).
    explicit SoundForPad(QWidget* owner = nullptr);

    // ask receives the question (why the file cannot be used as it is, and whether to convert it) and
    // answers true for yes. Converted files live as long as this object.
    Outcome Prepare(const QString& path, const Ask& ask);

    // The file to attach and the name it takes on the card.
    const std::filesystem::path& File() const { return file_; }
    const std::string& Name() const { return name_; }
    // What the user is told after Failed or Cancelled.
    const QString& Problem() const { return problem_; }

    struct Attachment {
        Outcome outcome = Outcome::Failed;
        std::string name; // the card name, when attached
        QString problem;  // what to tell the user: empty unless Failed or Cancelled
    };
    // Prepares the file at path as above and attaches it to the pad through the store: Converted or
    // UseAsIs when it is attached, Declined when the user said no (nothing to tell), Failed when it
    // could not be prepared or attached, Cancelled when the user stopped the conversion; the card is
    // then as it was.
    static Attachment Attach(CPadBankStore& store, int pad, const QString& path, const Ask& ask,
                             QWidget* owner = nullptr);

    // Why the device cannot play a file, for a result code of its WAV check ("its sample rate is not
    // 44,100 Hz").
    static QString Reason(int code);

    // How long a conversion runs under the wait cursor before its progress window appears.
    static constexpr int kProgressDelayMs = 300;
    // The progress window's object name, by which tests find it.
    static constexpr const char* kProgressName = "SoundConversionProgress";

private:
    // Converts source into file_ on a worker thread; the window's loop runs meanwhile.
    ResultCode Convert(const std::filesystem::path& source, const QString& shownName, bool& cancelled);
    Outcome Fail(const QString& problem);

    QPointer<QWidget> owner_;
    std::unique_ptr<QTemporaryDir> folder_;
    std::filesystem::path file_;
    std::string name_;
    QString problem_;
};

} // namespace k72
