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

#include <string>

namespace k72::cli {
namespace {

// After a failed conversion onto the card the store has shown its message; this adds what the
// terminal can say beyond it: the cancel, or the code behind the failure.
void ExplainFailure(CardSession& session, const std::filesystem::path& file, PadKind kind,
                    int messagesBefore) {
    TerminalMessages& messages = session.Messages();
    const auto& outcome = session.Progress().LastOutcome();
    if (kind == PadKindMovie && outcome && outcome->endCode != 1) {
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
    std::size_t added = 0;
    const auto stopped = [&](const std::string& why) {
        messages.Error(why + "; added " + std::to_string(added) + " of " + std::to_string(total) +
                       (total == 1 ? " picture" : " pictures"));
        if (added > 0) {
            output::Pad(address, session.Entry(address));
        }
        return kExitFailed;
    };
    for (const std::string& name : options.files) {
        const std::filesystem::path file = name;
        if (CancelSignal::Raised()) {
            return stopped("cancelled");
        }
        const PadEntry* entry = session.Entry(address);
        const bool empty = entry == nullptr || entry->Kind() == PadKindEmpty;
        if (!empty && entry->stills && entry->stills->stillCount >= padlayout::kMaxStills) {
            messages.ShowMessage(kStillLimitMessage);
            return stopped(address.Text() + " is full");
        }
        session.Bar().Show("adding pictures...", static_cast<int>(added * 100 / total));
        const int before = messages.Count();
        const bool ok = empty ? session.Store().ImportFile(file, address.pad, PadKindStill)
                              : session.Store().AddStillImage(file, address.pad) > 0;
        if (!ok) {
            session.Bar().Clear();
            ExplainFailure(session, file, PadKindStill, before);
            return stopped(file.string() + " could not be added");
        }
        ++added;
    }
    session.Bar().Clear();
    output::Pad(address, session.Entry(address));
    return kExitSuccess;
}

} // namespace k72::cli
