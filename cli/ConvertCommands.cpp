// convert-picture and convert-movie: one file into the device's form, without a card. The result is
// made in a temporary folder and copied into place only when it is complete, so a failed or cancelled
// conversion leaves the destination as it was.
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/FileKind.h"
#include "cli/ProgressBar.h"
#include "cli/TemporaryFolder.h"
#include "cli/TerminalFileCopy.h"
#include "cli/TerminalMessages.h"
#include "cli/TerminalProgress.h"
#include "engine/CConversionManager.h"
#include "store/CardConversion.h"
#include "store/ImportKind.h"
#include "store/StoreMessages.h"

#include <cerrno>
#include <cstring>
#include <optional>

namespace k72::cli {
namespace {

// The terminal's side of one conversion: messages, the copy into place and, for a movie, the progress.
class ConversionTerminal {
public:
    ConversionTerminal() : messages_(&bar_), copy_(messages_, bar_), progress_(bar_) {}

    TerminalMessages& Messages() { return messages_; }
    TerminalFileCopy& Copy() { return copy_; }
    TerminalProgress& Progress() { return progress_; }

    // Why a conversion into destination did not succeed: the message the desktop program shows, and
    // the diagnostic line of the converter's code; a cancel says that nothing was written.
    void ReportFailure(const ConversionResult& result, const std::filesystem::path& destination) {
        if (result.failure == ConversionFailure::Cancelled) {
            messages_.Error("cancelled; " + destination.string() + " was not written");
            return;
        }
        if (const auto text = ConversionMessage(result, folder_->Parent().string())) {
            messages_.ShowMessage(*text);
        }
        if (result.failure == ConversionFailure::Failed) {
            PrintResultCode(messages_, result.code);
        }
    }

    // Checks the source (of the kind given; PadKindEmpty: a sound, which its converter checks), and that
    // the destination may be written; prints why not.
    bool Prepare(const std::filesystem::path& source, PadKind kind, const std::filesystem::path& destination,
                 bool overwrite) {
        // A FIFO or a device is refused before its content is looked at, which would wait for ever.
        if (!CheckInputFile(messages_, source)) {
            return false;
        }
        if (kind != PadKindEmpty && ImportKindOf(source) != kind) {
            messages_.ShowMessage(messages::kLoadFailed);
            messages_.Error(source.string() + ": " +
                            (kind == PadKindStill ? "not a picture (" : "not a movie (") +
                            KnownExtensionText(kind) + ")");
            return false;
        }
        std::error_code ec;
        if (!overwrite && std::filesystem::exists(std::filesystem::symlink_status(destination, ec))) {
            copy_.ReportExisting(destination);
            return false;
        }
        copy_.SetOverwrite(overwrite);
        folder_.emplace();
        if (!folder_->Ok()) {
            const int error = folder_->Error();
            messages_.ShowMessage(
                error == ENOSPC || error == EDQUOT
                    ? messages::TemporaryDiskFull(folder_->Parent().string())
                    : messages::TemporaryFolderUnusable(folder_->Parent().string(), std::strerror(error)));
            return false;
        }
        return true;
    }

    // The private folder the conversion writes into, and the folder it is in; made by a successful
    // Prepare.
    const std::filesystem::path& WorkFolder() const { return folder_->Path(); }
    const std::filesystem::path& TemporaryParent() const { return folder_->Parent(); }

private:
    ProgressBar bar_;
    TerminalMessages messages_;
    TerminalFileCopy copy_;
    TerminalProgress progress_;
    // Removed with the terminal, so after the conversion, which has stopped writing into it by the time
    // ConvertMovie or ConvertPicture returns.
    std::optional<TemporaryFolder> folder_;
};

bool CopyIntoPlace(ConversionTerminal& terminal, const std::filesystem::path& converted,
                   const std::filesystem::path& destination) {
    return terminal.Copy().Copy({FileCopyItem{converted, destination}});
}

} // namespace

namespace {

// A movie or a picture: converted into the private folder, then copied into place.
int RunConversion(const ConvertOptions& options, PadKind kind) {
    ConversionTerminal terminal;
    const bool movie = kind == PadKindMovie;
    const std::filesystem::path source = options.source;
    const std::filesystem::path destination = OutputPath(source, options.destination, movie ? "AVI" : "JPG");
    if (!terminal.Prepare(source, kind, destination, options.overwrite)) {
        return kExitFailed;
    }
    const std::filesystem::path converted = terminal.WorkFolder() / (movie ? "MOVIE.AVI" : "PICTURE.JPG");
    const Settings settings = options.settings.Resolve();
    const ConversionResult result = movie ? ConvertMovie(source, converted, settings, &terminal.Progress())
                                          : ConvertPicture(source, converted, settings);
    if (!result) {
        terminal.ReportFailure(result, destination);
        return kExitFailed;
    }
    if (!CopyIntoPlace(terminal, converted, destination)) {
        return kExitFailed;
    }
    output::Line(destination.string() +
                 (result.frames ? "  " + std::to_string(*result.frames) + " frames" : std::string()));
    return kExitSuccess;
}

} // namespace

int RunConvertPicture(const ConvertOptions& options) {
    return RunConversion(options, PadKindStill);
}

int RunConvertMovie(const ConvertOptions& options) {
    return RunConversion(options, PadKindMovie);
}

int RunConvertSound(const ConvertOptions& options) {
    ConversionTerminal terminal;
    const std::filesystem::path source = options.source;
    const std::filesystem::path destination = OutputPath(source, options.destination, "WAV");
    if (!terminal.Prepare(source, PadKindEmpty, destination, options.overwrite)) {
        return kExitFailed;
    }
    const std::filesystem::path converted = terminal.WorkFolder() / "SOUND.WAV";
    const ResultCode result = CConversionManager::ConvertSound(source.string(), converted.string());
    if (Failed(result)) {
        // A full disk and too little memory are said as such: the sound itself may be fine.
        if (result == rc::DiscSpaceInsufficient) {
            terminal.Messages().ShowMessage(messages::TemporaryDiskFull(terminal.TemporaryParent().string()));
        } else if (result == rc::OutOfMemory) {
            terminal.Messages().ShowMessage(messages::OutOfMemory(source.filename().string()));
        } else {
            terminal.Messages().Error(source.string() + ": the sound cannot be decoded");
        }
        PrintResultCode(terminal.Messages(), result);
        return kExitFailed;
    }
    if (!CopyIntoPlace(terminal, converted, destination)) {
        return kExitFailed;
    }
    // A line of the result like the other commands', so that --json prints one object and nothing else.
    output::Line(destination.string());
    return kExitSuccess;
}

} // namespace k72::cli
