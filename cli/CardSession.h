#pragma once
// One card opened for one command: the store with the terminal's messages, copies and progress, the
// conversion settings, and the pad the command works on. A card that cannot be opened is reported with
// the reason the store found (not a K-72 card, a pad file that cannot be written, a card in use by
// another program, ...).

#include "cli/PadAddress.h"
#include "cli/ProgressBar.h"
#include "cli/TerminalFileCopy.h"
#include "cli/TerminalMessages.h"
#include "cli/TerminalProgress.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"

#include <filesystem>
#include <string>

namespace k72::cli {

class CardSession {
public:
    CardSession();
    ~CardSession();
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    // Opens the card whose root folder (the one holding DCIM) is given; prints why not and returns
    // false when that fails.
    bool Open(const std::filesystem::path& root);
    // Opens the card to look at it, from a consistent copy of its pad file read into memory: a card
    // the desktop program holds, or one mounted read-only, can be listed and exported from too. Nothing
    // of the card is changed by a command that only reads; a save that was cut off is told about, not
    // put back.
    bool OpenForReading(const std::filesystem::path& root);
    // Loads the pad's bank and selects its number; prints why not and returns false when the bank
    // cannot be read.
    bool Select(const PadAddress& address);

    CPadBankStore& Store() { return store_; }
    PadCommands& Commands() { return commands_; }
    TerminalMessages& Messages() { return messages_; }
    TerminalFileCopy& FileCopy() { return copy_; }
    TerminalProgress& Progress() { return progress_; }
    ProgressBar& Bar() { return bar_; }
    const std::filesystem::path& Root() const { return root_; }

    // The entry of the selected pad (after Select).
    const PadEntry* Entry(const PadAddress& address) const;
    PadKind KindOf(const PadAddress& address) const;

    // Prints what a store result says (the store's words, as the desktop program shows them); its Ok().
    bool Report(const StoreResult& result);

private:
    ProgressBar bar_;
    TerminalMessages messages_;
    TerminalFileCopy copy_;
    TerminalProgress progress_;
    CPadBankStore store_;
    PadCommands commands_;
    std::filesystem::path root_;
};

} // namespace k72::cli
