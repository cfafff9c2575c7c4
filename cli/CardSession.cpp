#include "cli/CardSession.h"

#include "app/PadBackupLocation.h"
#include "store/CardLayout.h"
#include "store/PadRecords.h"

namespace k72::cli {

CardSession::CardSession()
    : messages_(&bar_), copy_(messages_, bar_), progress_(bar_), store_(&messages_, &copy_, &progress_) {
    // Each run of the tool that changes a card first keeps a copy of its pad file.
    store_.SetBackupFolder(PadBackupFolder());
}

bool CardSession::Open(const std::filesystem::path& root) {
    root_ = root;
    if (store_.OpenCardRoot(root)) {
        return true;
    }
    // What the store found when it tried, not a second look that could see something else.
    messages_.Error(CardOpenMessage(store_.LastOpenResult()));
    return false;
}

bool CardSession::Select(const PadAddress& address) {
    store_.SelectBank(address.bank);
    store_.SelectNumber(address.number);
    if (!store_.SelectionValid() || store_.PadFile().LoadedBank() != address.bank) {
        messages_.Error(std::string("cannot read bank ") + BankLetter(address.bank) +
                        " of the card's pad file");
        return false;
    }
    return true;
}

const PadEntry* CardSession::Entry(const PadAddress& address) const {
    if (store_.PadFile().LoadedBank() != address.bank) {
        return nullptr;
    }
    return store_.PadFile().EntryAt(address.number, address.pad);
}

PadKind CardSession::KindOf(const PadAddress& address) const {
    const PadEntry* entry = Entry(address);
    return entry != nullptr ? entry->Kind() : PadKindEmpty;
}

} // namespace k72::cli
