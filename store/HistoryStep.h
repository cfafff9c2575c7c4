#pragma once
// One change to a pad on its way, recorded into the card's undo history (CardHistory) once it is made:
// the pad's record is read before the change and after it, and the files the change deletes go into
// the history's trash instead, so that an undo can bring them back. A card opened only to be read, or a
// change that changed nothing, leaves the history as it is.

#include "store/CardFiles.h"
#include "store/CardHistory.h"
#include "store/StoreResult.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

class CPadBankStore;

class HistoryStep {
public:
    // what: the change as a menu names it, "delete of pad A-1-3".
    HistoryStep(CPadBankStore& store, const PadLocation& where, std::string what);

    // For CardFiles::DeleteUnused: keeps the files the change deletes in the trash (empty, a plain
    // delete, without a history).
    CardFiles::Remover Trash() const;
    // Records what result says the change did and hands result back; a history that could not be
    // written is told in its text (the change itself stands).
    StoreResult Record(StoreResult result);

private:
    std::optional<CardHistory> history_;
    std::uint64_t offset_ = 0;
    std::string what_;
    bool fits_ = true;
    std::uint32_t id_ = 0;
    std::vector<std::uint8_t> before_;
};

} // namespace k72
