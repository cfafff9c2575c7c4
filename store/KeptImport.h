#pragma once
// An import whose files were converted while its card was taken out. A movie conversion runs for
// minutes; a card pulled meanwhile should not cost the user that time. The converted files stay in
// their private folder, and when the same card is back (told by its volume's serial and its pad file's
// content, not by the path it is mounted at) the import can be finished: the request is prepared again
// on the card as it is and the kept files go on under the numbers it gives. Nothing is asked again:
// the user agreed to the import and to replacing what the pad held.

#include "store/PadImport.h"
#include "store/StoreResult.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

class CPadBankStore;

// What tells a card again: its volume's serial (empty where the system gives none) and the content
// hash of its pad file, taken while the card is there.
struct CardMark {
    std::string volume;
    std::optional<std::string> padFileHash;
    bool operator==(const CardMark&) const = default;
};

class KeptImport {
public:
    // The mark of the card open in store.
    static CardMark MarkOf(const CPadBankStore& store);

    // Takes the converted files of prepared (which keeps its request's numbers and its folder no more)
    // for the card that had the mark when the import was prepared.
    KeptImport(const ImportRequest& request, PreparedImport& prepared, const ConvertedImport& converted,
               CardMark card);
    ~KeptImport();
    KeptImport(const KeptImport&) = delete;
    KeptImport& operator=(const KeptImport&) = delete;

    // Whether the card now open in store is the card the import was converted for, as it was.
    bool FitsCard(const CPadBankStore& store) const;
    // Prepares the import again on that card, moves the kept files into place and commits it. The
    // store's bank and number are set to the pad's.
    StoreResult Finish(CPadBankStore& store, PadImport& importer);

    const PadLocation& Where() const { return where_; }
    // The names of the sources, for messages: "beach.mp4", or "3 pictures".
    std::string SourceText() const;

private:
    ImportRequest request_;
    PadLocation where_;
    ConvertedImport converted_;
    std::vector<std::filesystem::path> files_; // by the request's sources; empty for a file kept in place
    std::unique_ptr<TemporaryWorkspace> workspace_;
    CardMark card_;
};

} // namespace k72
