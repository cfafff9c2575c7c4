#include "cli/CardSession.h"

#include "settings/PadBackupLocation.h"
#include "store/PadRecords.h"

namespace k72::cli {

CardSession::CardSession()
    : messages_(&bar_), copy_(messages_, bar_), progress_(bar_), commands_(store_, &copy_, &progress_) {
    // Each run of the tool that changes a card first keeps a copy of its pad file.
    store_.SetBackupFolder(PadBackupFolder());
}

CardSession::~CardSession() = default;

bool CardSession::Report(const StoreResult& result) {
    if (!result.text.empty()) {
        messages_.ShowMessage(result.text);
    }
    return result.Ok();
}

bool CardSession::Open(const std::filesystem::path& root) {
    root_ = root;
    const auto opened = store_.OpenCardRoot(root);
    if (opened) {
        Report(opened); // a save cut off earlier that was put back
        return true;
    }
    // What the store found when it tried, not a second look that could see something else.
    messages_.Error(opened.text);
    return false;
}

bool CardSession::OpenForReading(const std::filesystem::path& root) {
    root_ = root;
    // Read once into memory, so that a card another program holds, or one mounted read-only, is read
    // as well, and a command that changes the card is never kept waiting. A save that was cut off is
    // only told about: putting it back is for a command that changes the card.
    const auto opened = store_.OpenCardRoot(root, CardAccess::Snapshot);
    if (opened) {
        Report(opened);
        return true;
    }
    messages_.Error(opened.text);
    return false;
}

bool CardSession::Select(const PadAddress& address) {
    store_.SelectBank(address.bank);
    store_.SelectNumber(address.number);
    if (!store_.SelectionValid() || store_.Entry(address.pad) == nullptr) {
        messages_.Error(std::string("cannot read bank ") + BankLetter(address.bank) +
                        " of the card's pad file");
        return false;
    }
    return true;
}

const PadEntry* CardSession::Entry(const PadAddress& address) const {
    if (store_.Bank() != address.bank || store_.Number() != address.number) {
        return nullptr;
    }
    return store_.Entry(address.pad);
}

PadKind CardSession::KindOf(const PadAddress& address) const {
    const PadEntry* entry = Entry(address);
    return entry != nullptr ? entry->Kind() : PadKindEmpty;
}

} // namespace k72::cli
