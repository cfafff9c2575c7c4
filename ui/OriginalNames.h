#pragma once
// The names the user knew the card files by before they were converted (the movie "Beach Day.mp4"
// that the card holds as K72_0008.AVI), from the card's record of sources. A name is given only for a
// file unchanged since it was recorded; the record is read again only when it has changed on the card.
// The pad file never depends on any of it.

#include "store/SourceIdentity.h"
#include "store/SourceRecord.h"

#include <QString>

#include <filesystem>
#include <optional>
#include <string>

namespace k72 {

class CPadBankStore;

class OriginalNames {
public:
    // Reads the record of the store's open card, unless it is the one read last time.
    void Read(const CPadBankStore& store);
    // The original name of a card file of that card, or empty when it is not known.
    QString Of(const CPadBankStore& store, const std::string& cardName) const;
    // "Beach Day.mp4 (K72_0008.AVI)", or the card name alone.
    QString WithCardName(const CPadBankStore& store, const std::string& cardName) const;

private:
    std::filesystem::path root_;
    std::optional<FileStamp> stamp_;
    SourceRecord record_;
};

} // namespace k72
