#include "cli/UndoCommand.h"

#include "cli/CardSession.h"
#include "cli/CommandOutput.h"
#include "cli/ExitStatus.h"
#include "store/CardHistory.h"

namespace k72::cli {

int RunUndo(const UndoOptions& options) {
    CardSession session;
    if (!session.Open(options.card)) {
        return kExitFailed;
    }
    CardHistory history(session.Store());
    const auto what = options.redo ? history.RedoWhat() : history.UndoWhat();
    const StoreResult result = options.redo ? history.Redo() : history.Undo();
    // The store's words: nothing to undo, or why the card does not fit the change and what to do.
    session.Report(result);
    if (!result.change.where.Valid()) {
        return kExitFailed;
    }
    const PadLocation& where = result.change.where;
    const PadAddress address{where.bank, where.number, where.pad};
    output::Line((options.redo ? "redone: " : "undone: ") + what.value_or(std::string()));
    if (session.Select(address)) {
        output::Pad(address, session.Entry(address));
    }
    return result ? kExitSuccess : kExitFailed;
}

} // namespace k72::cli
