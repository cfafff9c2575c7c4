// convert-picture and convert-movie: one file into the device's form, without a card. The result is
// made in a temporary folder and copied into place only when it is complete, so a failed or cancelled
// conversion leaves the destination as it was.
#include "cli/CardStore.h"
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
#include "store/CardLayout.h"
#include "store/ImportKind.h"
#include "store/StoreMessages.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include <sys/stat.h>

namespace k72::cli {
namespace {

// The terminal's side of one conversion: messages, the copy into place and, for a movie, the progress.
class ConversionTerminal {
public:
    ConversionTerminal() : messages_(&bar_), copy_(messages_, bar_), progress_(bar_) {}

    TerminalMessages& Messages() { return messages_; }
    TerminalFileCopy& Copy() { return copy_; }
    TerminalProgress& Progress() { return progress_; }

    // The message the desktop program shows for a failed conversion, and the code's diagnostic line.
    void ReportFailure(ResultCode code) {
        CardStore(&messages_).ShowResultMessage(code);
        PrintResultCode(messages_, code);
    }

    // Checks the source (of the kind given; PadKindEmpty: a sound, which its converter checks), and that
    // the destination may be written; prints why not.
    bool Prepare(const std::filesystem::path& source, PadKind kind, const std::filesystem::path& destination,
                 bool overwrite) {
        if (kind != PadKindEmpty && ImportKindOf(source) != kind) {
            messages_.ShowMessage(messages::kLoadFailed);
            messages_.Error(source.string() + ": " +
                            (kind == PadKindStill ? "not a picture (" : "not a movie (") +
                            KnownExtensionText(kind) + ")");
            return false;
        }
        if (!CheckInputFile(messages_, source)) {
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

    // The private folder the conversion writes into; made by a successful Prepare.
    const std::filesystem::path& WorkFolder() const { return folder_->Path(); }

private:
    ProgressBar bar_;
    TerminalMessages messages_;
    TerminalFileCopy copy_;
    TerminalProgress progress_;
    // Removed with the terminal: a conversion manager declared after the terminal (and a conversion it
    // is still stopping) has ended before the folder goes.
    std::optional<TemporaryFolder> folder_;
};

bool CopyIntoPlace(ConversionTerminal& terminal, const std::filesystem::path& converted,
                   const std::filesystem::path& destination) {
    return terminal.Copy().Copy({FileCopyItem{converted, destination}});
}

} // namespace

int RunConvertPicture(const ConvertOptions& options) {
    ConversionTerminal terminal;
    const std::filesystem::path source = options.source;
    const std::filesystem::path destination = OutputPath(source, options.destination, "JPG");
    if (!terminal.Prepare(source, PadKindStill, destination, options.overwrite)) {
        return kExitFailed;
    }
    const Settings settings = options.settings.Resolve();
    const std::filesystem::path converted = terminal.WorkFolder() / "PICTURE.JPG";
    ResultCode result = 0;
    {
        CConversionManager manager;
        manager.SetStillQuality(settings.StillImageQuality());
        manager.SetStillFit(settings.fit);
        result = manager.ConvertStillImage(source.string(), converted.string());
    }
    if (Failed(result)) {
        terminal.ReportFailure(result);
        return kExitFailed;
    }
    if (!CopyIntoPlace(terminal, converted, destination)) {
        return kExitFailed;
    }
    output::Line(destination.string());
    return kExitSuccess;
}

int RunConvertMovie(const ConvertOptions& options) {
    ConversionTerminal terminal;
    const std::filesystem::path source = options.source;
    const std::filesystem::path destination = OutputPath(source, options.destination, "AVI");
    if (!terminal.Prepare(source, PadKindMovie, destination, options.overwrite)) {
        return kExitFailed;
    }
    const Settings settings = options.settings.Resolve();
    const std::filesystem::path converted = terminal.WorkFolder() / "MOVIE.AVI";
    CConversionManager manager;
    CVideoConverter& converter = manager.Converter();
    converter.SetFrameRateStandard(settings.FrameRateWord());
    converter.SetQscaleText(settings.MovieQualityScale());
    converter.SetDeinterlace(settings.DeinterlaceFlag() != 0);
    converter.SetFit(FitWord(settings.fit));
    manager.AddJob(source.string(), converted.string());
    const ConversionOutcome outcome = terminal.Progress().Run(manager);
    if (!outcome.Completed()) {
        if (outcome.cancelled) {
            terminal.Messages().Error("cancelled; " + destination.string() + " was not written");
        } else {
            terminal.ReportFailure(Failed(outcome.finalResult) ? outcome.finalResult : rc::Fail);
        }
        return kExitFailed;
    }
    struct stat info {};
    if (::stat(converted.c_str(), &info) != 0 ||
        static_cast<std::uintmax_t>(info.st_size) >= cardlayout::kLargestConvertedFile) {
        terminal.Messages().ShowMessage(messages::kFileTooLarge);
        return kExitFailed;
    }
    std::uint32_t frames = 0;
    const bool probed = Succeeded(manager.GetTotalFrames(converted.string(), frames));
    if (!CopyIntoPlace(terminal, converted, destination)) {
        return kExitFailed;
    }
    output::Line(destination.string() + (probed ? "  " + std::to_string(frames) + " frames" : std::string()));
    return kExitSuccess;
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
        terminal.Messages().Error(source.string() + ": the sound cannot be decoded");
        PrintResultCode(terminal.Messages(), result);
        return kExitFailed;
    }
    if (!CopyIntoPlace(terminal, converted, destination)) {
        return kExitFailed;
    }
    PrintLine(destination.string());
    return kExitSuccess;
}

} // namespace k72::cli
