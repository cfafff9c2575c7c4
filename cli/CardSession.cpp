#include "cli/CardSession.h"

#include "cli/TemporaryFolder.h"

#include "settings/PadBackupLocation.h"
#include "store/CardLayout.h"
#include "store/PadFileSnapshot.h"
#include "store/PadRecords.h"

namespace k72::cli {

CardSession::CardSession()
    : messages_(&bar_), copy_(messages_, bar_), progress_(bar_), commands_(store_, &copy_, &progress_) {
    // Each run of the tool that changes a card first keeps a copy of its pad file.
    store_.SetBackupFolder(PadBackupFolder());
}

CardSession::~CardSession() {
    // The store lets go of the copy before its folder is removed.
    store_.Close();
}

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
    // A card that can be opened as usual is: a save cut off earlier is then put back, and what killed
    // runs left is cleared, before it is read. Only one that another program holds, or that cannot be
    // written, is read from a copy of its pad file.
    const auto opened = store_.OpenCardRoot(root);
    if (opened) {
        Report(opened);
        return true;
    }
    const CardOpenFailure failure = opened.value.failure;
    if (failure != CardOpenFailure::Locked && failure != CardOpenFailure::ReadOnly) {
        messages_.Error(opened.text);
        return false;
    }
    const CardPaths paths = FindCardPaths(root);
    PadFileSnapshot snapshot;
    auto folder = std::make_unique<TemporaryFolder>();
    std::string reason;
    if (const StoreResult read = snapshot.Read(paths.padFilePath); !read) {
        reason = "the card's pad file cannot be read: " + read.text;
    } else if (!folder->Ok() || !snapshot.WriteCopy(folder->Path() / "K72_PAD.SYS")) {
        reason = "no copy of the card's pad file can be made in the temporary folder";
    } else if (!store_.Open(paths.cardFolder, folder->Path() / "K72_PAD.SYS")) {
        reason = "the card " + root.string() + " cannot be opened";
    } else {
        snapshotFolder_ = std::move(folder);
        return true;
    }
    messages_.Error(reason);
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
