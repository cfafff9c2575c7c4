#pragma once
// The sound file a user picks for a pad: a WAV file the device plays goes onto the card as it is; any
// other sound, once the user agrees, is first converted into the device's WAV form (PCM, 16 bits,
// 44,100 Hz, stereo) in a temporary folder, under an 8.3 name made from the source's name.

#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace k72 {

class CPadBankStore;

class SoundForPad {
public:
    enum class Outcome { UseAsIs, Converted, Declined, Failed };

    // ask receives the question (why the file cannot be used as it is, and whether to convert it) and
    // answers true for yes. Converted files live as long as this object.
    Outcome Prepare(const QString& path, const std::function<bool(const QString& question)>& ask);

    // The file to attach and the name it takes on the card.
    const std::filesystem::path& File() const { return file_; }
    const std::string& Name() const { return name_; }

    // Prepares the file at path as above and attaches it to the pad through the store: Converted or
    // UseAsIs when it is attached (its card name in *name), Declined when the user said no (nothing to
    // tell), Failed when it could not be prepared or attached (the caller shows the failure).
    static Outcome Attach(CPadBankStore& store, int pad, const QString& path,
                          const std::function<bool(const QString& question)>& ask, std::string* name);

    // Why the device cannot play a file, for a result code of its WAV check ("its sample rate is not
    // 44,100 Hz").
    static QString Reason(int code);

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::filesystem::path file_;
    std::string name_;
};

} // namespace k72
