// remove-still and move-still: the order and number of a still image pad's pictures.
#include "cli/CardSession.h"
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"

namespace k72::cli {
namespace {

// The picture count of a still image pad, or none (with a message) for any other pad or a position
// beyond the list.
std::optional<std::size_t> StillCount(CardSession& session, const PadAddress& address,
                                      std::initializer_list<int> positions) {
    const PadEntry* entry = session.Entry(address);
    if (entry == nullptr || entry->Kind() != PadKindStill || !entry->stills) {
        session.Messages().Error(address.Text() + " is not a still image pad");
        return std::nullopt;
    }
    const std::size_t count = entry->stills->UsableCount();
    for (int position : positions) {
        if (position < 1 || static_cast<std::size_t>(position) > count) {
            session.Messages().Error(address.Text() + " has " + std::to_string(count) +
                                     (count == 1 ? " picture" : " pictures") + "; there is no position " +
                                     std::to_string(position));
            return std::nullopt;
        }
    }
    return count;
}

} // namespace

int RunRemoveStill(const RemoveStillOptions& options) {
    CardSession session;
    const PadAddress address = PadOf(options.pad);
    if (!session.Open(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    if (!StillCount(session, address, {options.position})) {
        return kExitFailed;
    }
    // The store deletes the file only once no record names it any more (another pad, or this one, may
    // still show it), and makes a pad whose last picture goes an empty pad.
    const StoreResult result =
        session.Commands().RemovePicture(address.pad, options.position - 1, options.deleteFile);
    session.Report(result);
    if (!result.change.PadChanged()) {
        session.Messages().Error("the pad file could not be written; " + address.Text() + " is unchanged");
        return kExitFailed;
    }
    output::Pad(address, session.Entry(address));
    return result.notDeleted.empty() ? kExitSuccess : kExitFailed;
}

int RunMoveStill(const MoveStillOptions& options) {
    CardSession session;
    const PadAddress address = PadOf(options.pad);
    if (!session.Open(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    if (!StillCount(session, address, {options.from, options.to})) {
        return kExitFailed;
    }
    // The whole move with one save, so that a run cut off leaves the list as it was or as wanted.
    if (options.from != options.to) {
        const StoreResult result =
            session.Commands().MovePicture(address.pad, options.from - 1, options.to - 1);
        if (!session.Report(result)) {
            session.Messages().Error("the pad file could not be written; " + address.Text() +
                                     " is unchanged");
            return kExitFailed;
        }
    }
    output::Pad(address, session.Entry(address));
    return kExitSuccess;
}

} // namespace k72::cli
