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

// After a failed conversion onto the card the store has shown its message; this adds what the
// terminal can say beyond it: the cancel, or the code behind the failure.
void ExplainFailure(CardSession& session, const std::filesystem::path& file, PadKind kind,
                    int messagesBefore) {
    TerminalMessages& messages = session.Messages();
    const auto& outcome = session.Progress().LastOutcome();
    if (kind == PadKindMovie && outcome && !outcome->Completed()) {
        if (outcome->cancelled) {
            messages.Error("cancelled; the card is unchanged");
            return;
        }
        if (Failed(outcome->finalResult)) {
            PrintResultCode(messages, outcome->finalResult);
        }
    } else if (kind == PadKindStill && messages.Count() > messagesBefore &&
               messages.LastStoreMessage() == messages::kLoadFailed) {
        const ResultCode code = PictureFailureCode(file, session.Store().GetSettings().StillImageQuality());
        if (Failed(code)) {
            PrintResultCode(messages, code);
        }
    }
}

// A file the command line names for import: of a known kind and there.
bool CheckImportFile(TerminalMessages& messages, const std::filesystem::path& file, PadKind wanted,
                     PadKind& kind) {
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
    return CheckInputFile(messages, file);
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
    session.Store().SetSettings(options.settings.Resolve());
    session.FileCopy().SetOverwrite(options.overwrite);

    const int before = session.Messages().Count();
    if (!session.Store().ImportFile(file, address.pad, kind)) {
        ExplainFailure(session, file, kind, before);
        if (session.Messages().Count() == before) {
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
    session.Store().SetSettings(options.settings.Resolve());
    session.FileCopy().SetOverwrite(options.overwrite);

    const std::size_t total = options.files.size();
    const PadEntry* entry = session.Entry(address);
    const bool empty = entry == nullptr || entry->Kind() == PadKindEmpty;
    const std::size_t count = empty || !entry->stills ? 0 : entry->stills->stillCount;
    if (count + total > padlayout::kMaxStills) {
        messages.ShowMessage(kStillLimitMessage);
        messages.Error(address.Text() + " has room for " + std::to_string(padlayout::kMaxStills - count) +
                       " more; nothing added");
        return kExitFailed;
    }
    // The whole batch is converted on every core and recorded with one save: a failure or a cancel
    // leaves the pad as it was.
    std::vector<std::filesystem::path> files(options.files.begin(), options.files.end());
    const int before = messages.Count();
    bool cancelled = false;
    const int result =
        session.Store().AddStillImages(files, address.pad, [&](std::size_t done, std::size_t all) {
            session.Bar().Show("adding pictures...",
                               static_cast<int>(done * 100 / std::max<std::size_t>(all, 1)));
            cancelled = CancelSignal::Raised();
            return !cancelled;
        });
    session.Bar().Clear();
    if (result < 0) {
        if (cancelled) {
            messages.Error("cancelled; the card is unchanged");
            return kExitFailed;
        }
        const auto failed = session.Store().LastBatchFailure();
        if (failed) {
            ExplainFailure(session, files[*failed], PadKindStill, before);
            messages.Error(files[*failed].string() + " could not be added; added 0 of " +
                           std::to_string(total) + (total == 1 ? " picture" : " pictures"));
        } else {
            messages.Error("the pictures could not be added; " + address.Text() + " is unchanged");
        }
        return kExitFailed;
    }
    output::Pad(address, session.Entry(address));
    return kExitSuccess;
}

} // namespace k72::cli
