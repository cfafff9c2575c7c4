// audio, remove-sound, delete and export: a pad's sound, and the pad with its files.
#include "cli/CardSession.h"
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "store/IPadQuestions.h"
#include "store/StoreMessages.h"

namespace k72::cli {
namespace {

// The terminal answers from its command line: a sound is converted only with --convert.
class TerminalQuestions : public IPadQuestions {
public:
    explicit TerminalQuestions(bool convertSounds) : convertSounds_(convertSounds) {}
    bool ReplacePad(int /*pad*/, const PadEntry& /*current*/) override { return true; }
    bool DeleteReplacedFiles(int /*pad*/, const PadEntry& /*replaced*/) override { return false; }
    bool ConvertSound(const std::string& /*question*/) override { return convertSounds_; }

private:
    bool convertSounds_;
};

} // namespace

int RunAudio(const AudioOptions& options) {
    CardSession session;
    TerminalMessages& messages = session.Messages();
    const PadAddress address = PadOf(options.pad);
    if (!CheckInputFile(messages, options.wav)) {
        return kExitFailed;
    }
    if (!session.Open(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    if (session.KindOf(address) == PadKindEmpty) {
        messages.Error(address.Text() + " is empty; a sound goes onto a movie or still image pad");
        return kExitFailed;
    }
    // Without --overwrite the store is refused any copy over a different file of the sound's name.
    session.FileCopy().SetOverwrite(options.overwrite);
    TerminalQuestions questions(options.convert);
    const StoreResult result = session.Commands().AttachSound(address.pad, options.wav, &questions);
    if (result) {
        session.Report(result); // the sound it had before, when it stays on the card unused
        output::Pad(address, session.Entry(address));
        return kExitSuccess;
    }
    if (result.failure == StoreFailure::SoundNotAccepted) {
        messages.ShowMessage(messages::kLoadFailed);
        PrintResultCode(messages, result.code);
        messages.Error("the device plays only WAV files of PCM, 2 channels, 44100 Hz, 16 bits; --convert "
                       "converts this sound into that form");
        return kExitFailed;
    }
    session.Report(result);
    if (result.failure == StoreFailure::ConversionFailed && result.text == messages::kLoadFailed) {
        messages.Error(options.wav + ": the sound cannot be decoded");
        PrintResultCode(messages, result.code);
    } else if (result.text.empty() && result.failure != StoreFailure::CopyFailed) {
        messages.Error("the sound " + options.wav + " could not be attached to " + address.Text());
    }
    return kExitFailed;
}

int RunRemoveSound(const RemoveSoundOptions& options) {
    CardSession session;
    const PadAddress address = PadOf(options.pad);
    if (!session.Open(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    const StoreResult result = session.Commands().RemoveSound(address.pad, options.deleteFile);
    // The store says why (no sound, a pad file that could not be written) and names a file it kept.
    session.Report(result);
    if (!result.change.PadChanged()) {
        if (result.text.empty()) {
            session.Messages().Error(address.Text() + " is unchanged");
        }
        return kExitFailed;
    }
    output::Pad(address, session.Entry(address));
    return result.notDeleted.empty() ? kExitSuccess : kExitFailed;
}

int RunDelete(const DeleteOptions& options) {
    CardSession session;
    const PadAddress address = PadOf(options.pad);
    if (!session.Open(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    if (session.KindOf(address) == PadKindEmpty) {
        // As in the desktop program: an empty pad is left as it is, its record untouched.
        output::Line(address.Text() + "  empty (nothing to delete)");
        return kExitSuccess;
    }
    const StoreResult result = session.Commands().DeletePad(address.pad, options.deleteFiles);
    // The store names each file it kept or could not delete, or says why the pad file was not written.
    session.Report(result);
    if (!result.change.PadChanged()) {
        session.Messages().Error("the pad file could not be written; " + address.Text() + " is unchanged");
        return kExitFailed;
    }
    output::Pad(address, session.Entry(address));
    // The pad is empty all the same.
    const std::size_t notDeleted = result.notDeleted.size();
    if (notDeleted > 0) {
        session.Messages().Error(std::to_string(notDeleted) + (notDeleted == 1 ? " file" : " files") +
                                 " of " + address.Text() + " could not be deleted");
        return kExitFailed;
    }
    return kExitSuccess;
}

int RunExport(const ExportOptions& options) {
    CardSession session;
    TerminalMessages& messages = session.Messages();
    const PadAddress address = PadOf(options.pad);
    const std::filesystem::path folder = options.folder;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        messages.Error(folder.string() + " is not a folder");
        return kExitFailed;
    }
    // Export only reads the card: it works on a card the desktop program holds or one mounted read-only.
    if (!session.OpenForReading(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    if (session.KindOf(address) == PadKindEmpty) {
        messages.Error(address.Text() + " is empty; there is nothing to export");
        return kExitFailed;
    }
    // Without --overwrite every existing file is named before anything is copied, and nothing is.
    session.FileCopy().SetOverwrite(options.overwrite);
    const StoreResult result = session.Commands().ExportPad(address.pad, folder);
    session.Report(result);
    if (!result) {
        if (result.text.empty() && result.failure != StoreFailure::CopyFailed) {
            messages.Error("the export of " + address.Text() + " failed");
        }
        return kExitFailed;
    }
    const std::size_t copied = result.copied.size();
    output::Line(address.Text() + "  exported " + std::to_string(copied) +
                 (copied == 1 ? " file to " : " files to ") + folder.string());
    return kExitSuccess;
}

} // namespace k72::cli
