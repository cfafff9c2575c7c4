#include "cli/CardSession.h"

#include "cli/TemporaryFolder.h"

#include "settings/PadBackupLocation.h"
#include "store/CardLayout.h"
#include "store/PadFileSnapshot.h"
#include "store/PadRecords.h"

namespace k72::cli {

CardSession::CardSession()
    : messages_(&bar_), copy_(messages_, bar_), progress_(bar_), store_(&messages_, &copy_, &progress_) {
    // Each run of the tool that changes a card first keeps a copy of its pad file.
    store_.SetBackupFolder(PadBackupFolder());
}

CardSession::~CardSession() {
    // The store lets go of the copy before its folder is removed.
    store_.Close();
}

std::string CardSession::DiagnoseCard(const std::filesystem::path& root) {
    return CardOpenMessage(CPadBankStore::ExamineCardRoot(root));
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

bool CardSession::OpenForReading(const std::filesystem::path& root) {
    root_ = root;
    // A card that can be opened as usual is: a save cut off earlier is then put back, and what killed
    // runs left is cleared, before it is read. Only one that another program holds, or that cannot be
    // written, is read from a copy of its pad file.
    if (store_.OpenCardRoot(root)) {
        return true;
    }
    const CardOpenFailure failure = store_.LastOpenResult().failure;
    if (failure != CardOpenFailure::Locked && failure != CardOpenFailure::ReadOnly) {
        messages_.Error(CardOpenMessage(store_.LastOpenResult()));
        return false;
    }
    std::string reason = DiagnoseCard(root);
    if (reason.empty()) {
        const CardPaths paths = FindCardPaths(root);
        PadFileSnapshot snapshot;
        auto folder = std::make_unique<TemporaryFolder>();
        if (!snapshot.Read(paths.padFilePath)) {
            reason = "the card's pad file cannot be read: " + snapshot.Reason();
        } else if (!folder->Ok() || !snapshot.WriteCopy(folder->Path() / "K72_PAD.SYS")) {
            reason = "no copy of the card's pad file can be made in the temporary folder";
        } else if (!store_.Open(paths.cardFolder, folder->Path() / "K72_PAD.SYS")) {
            reason = "the card " + root.string() + " cannot be opened";
        } else {
            snapshotFolder_ = std::move(folder);
            return true;
        }
    }
    messages_.Error(reason);
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
