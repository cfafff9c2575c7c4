#include "store/HistoryStep.h"

#include "store/CPadBankStore.h"

namespace k72 {

HistoryStep::HistoryStep(CPadBankStore& store, const PadLocation& where, std::string what)
    : what_(std::move(what)) {
    if (!store.IsCardOpen() || store.IsReadOnly() || !where.Valid()) {
        return;
    }
    history_.emplace(store);
    history_->SweepTrash(); // so that nothing of a killed run takes the names this change's files get
    offset_ = padlayout::RecordOffset(where.bank, where.number, where.pad);
    fits_ = history_->LastFits();
    id_ = history_->NextId();
    before_ = history_->RecordBytes(offset_);
}

CardFiles::Remover HistoryStep::Trash() const {
    if (!history_ || before_.empty()) {
        return {};
    }
    return [this](const std::string& name) { return history_->Trash(id_, name); };
}

StoreResult HistoryStep::Record(StoreResult result) {
    const PadChange& change = result.change;
    if (!history_ || before_.empty() ||
        (!change.PadChanged() && change.added.empty() && change.removed.empty())) {
        return result;
    }
    HistoryChange recorded;
    recorded.id = id_;
    recorded.what = what_;
    recorded.offset = offset_;
    recorded.before = before_;
    recorded.after = history_->RecordBytes(offset_);
    if (recorded.after == recorded.before && change.added.empty() && change.removed.empty()) {
        return result; // a picture moved onto its own place: nothing to undo
    }
    recorded.added = change.added;
    recorded.removed = change.removed;
    if (recorded.after.empty() || !history_->Add(std::move(recorded), fits_)) {
        AddLine(result.text, "This change cannot be undone: the card's undo history could not be written.");
    }
    return result;
}

} // namespace k72
