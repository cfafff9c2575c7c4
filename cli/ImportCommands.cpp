// import and add-still: the commands that convert files onto a pad.
#include "cli/CancelSignal.h"
#include "cli/CardSession.h"
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/FileKind.h"
#include "store/ImportKind.h"
#include "store/StoreMessages.h"

#include <algorithm>
#include <string>

namespace k72::cli {
namespace {

// Tells why an import onto the card failed: the store's message and the code behind a failed
// conversion, or the cancel. False when nothing at all could be said, for the caller's own line.
bool ExplainFailure(CardSession& session, const StoreResult& result) {
    TerminalMessages& messages = session.Messages();
    if (result.Cancelled()) {
        messages.Error("cancelled; the card is unchanged");
        return true;
    }
    session.Report(result);
    if (result.failure == StoreFailure::ConversionFailed && Failed(result.code)) {
        PrintResultCode(messages, result.code);
    }
    // A copy that failed has said why itself.
    return !result.text.empty() || result.failure == StoreFailure::CopyFailed;
}

// A file the command line names for import: of a known kind and there.
bool CheckImportFile(TerminalMessages& messages, const std::filesystem::path& file, PadKind wanted,
                     PadKind& kind) {
    // What it is comes first: reading a FIFO or a device to find its kind would wait for ever.
    if (!CheckInputFile(messages, file)) {
        return false;
    }
    kind = ImportKindOf(file);
    if (kind == PadKindEmpty || (wanted != PadKindEmpty && kind != wanted)) {
        messages.ShowMessage(messages::kLoadFailed);
        messages.Error(file.string() + ": " +
                       (wanted == PadKindStill
                            ? "not a picture (" + KnownExtensionText(PadKindStill) + ")"
                            : "neither a movie (" + KnownExtensionText(PadKindMovie) + ") nor a picture (" +
                                  KnownExtensionText(PadKindStill) + ")"));
        return false;
    }
    return true;
}

} // namespace

int RunImport(const ImportOptions& options) {
    CardSession session;
    const PadAddress address = PadOf(options.pad);
    const std::filesystem::path file = options.file;
    PadKind kind = PadKindEmpty;
    if (!CheckImportFile(session.Messages(), file, PadKindEmpty, kind)) {
        return kExitFailed;
    }
    if (!session.Open(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    session.Commands().SetSettings(options.settings.Resolve());
    session.FileCopy().SetOverwrite(options.overwrite);

    // What the pad held is replaced without a question, and its files stay on the card.
    const StoreResult result = session.Commands().Import({address.pad, kind, {file}, false});
    if (!result) {
        if (!ExplainFailure(session, result)) {
            session.Messages().Error("the import of " + file.string() + " onto " + address.Text() +
                                     " failed");
        }
        return kExitFailed;
    }
    output::Pad(address, session.Entry(address));
    return kExitSuccess;
}

int RunAddStill(const AddStillOptions& options) {
    CardSession session;
    TerminalMessages& messages = session.Messages();
    const PadAddress address = PadOf(options.pad);
    // Every picture is looked at before the first is converted, so that a mistyped name changes nothing.
    for (const std::string& file : options.files) {
        PadKind kind = PadKindEmpty;
        if (!CheckImportFile(messages, file, PadKindStill, kind)) {
            return kExitFailed;
        }
    }
    if (!session.Open(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    if (session.KindOf(address) == PadKindMovie) {
        messages.Error(address.Text() + " holds a movie; pictures go onto an empty pad or a still image pad");
        return kExitFailed;
    }
    session.Commands().SetSettings(options.settings.Resolve());
    session.FileCopy().SetOverwrite(options.overwrite);

    // The whole batch is converted on every core and recorded with one save: a failure or a cancel
    // leaves the pad as it was.
    const std::vector<std::filesystem::path> files(options.files.begin(), options.files.end());
    const StoreResult result = session.Commands().Import(
        {address.pad, PadKindStill, files, true}, nullptr, [&](std::size_t done, std::size_t all) {
            session.Bar().Show("adding pictures...",
                               static_cast<int>(done * 100 / std::max<std::size_t>(all, 1)));
            return !CancelSignal::Raised();
        });
    session.Bar().Clear();
    if (result) {
        output::Pad(address, session.Entry(address));
        return kExitSuccess;
    }
    ExplainFailure(session, result);
    if (result.Cancelled()) {
        return kExitFailed;
    }
    const std::size_t total = files.size();
    if (result.failure == StoreFailure::StillLimit) {
        const PadEntry* entry = session.Entry(address);
        const std::uint32_t count = entry != nullptr && entry->stills ? entry->stills->stillCount : 0;
        if (count > padlayout::kMaxStills) {
            // A damaged record: its count cannot be trusted to say what room is left.
            messages.Error(address.Text() + " records a picture count of " + std::to_string(count) +
                           ", more than the " + std::to_string(padlayout::kMaxStills) +
                           " a pad holds (k72-card check lists it); nothing added");
        } else {
            messages.Error(address.Text() + " has room for " + std::to_string(padlayout::kMaxStills - count) +
                           " more; nothing added");
        }
    } else if (result.source && *result.source < total) {
        messages.Error(files[*result.source].string() + " could not be added; added 0 of " +
                       std::to_string(total) + (total == 1 ? " picture" : " pictures"));
    } else {
        messages.Error("the pictures could not be added; " + address.Text() + " is unchanged");
    }
    return kExitFailed;
}

} // namespace k72::cli
