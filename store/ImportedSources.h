#pragma once
// The record of sources kept for what an import of single files (a movie, pictures, a sound) puts onto
// the card: the same entries an apply of a plan writes, so that the pads show the names the user knew
// the files by, a plan printed afterwards names their sources, and applying that plan converts nothing
// again. It is written after the pad is saved and is only a shortcut: a record that cannot be read or
// written is said in the diagnostic log and changes nothing else.

#include "store/Settings.h"
#include "store/SourceIdentity.h"
#include "store/SourceSettings.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

struct ImportedSource {
    std::string cardName; // the file the pad names, in the card folder
    SourceKind kind = SourceKind::Movie;
    std::filesystem::path source;
    std::optional<SourceIdentity> identity; // none when the source could not be read: nothing recorded
    Settings settings;                      // those the file was converted with
};

// Enters the card files into the record of sources at the root of the card that cardFolder belongs to.
// False when the record could not be written (said in the diagnostic log).
bool RecordImportedSources(const std::filesystem::path& cardFolder,
                           const std::vector<ImportedSource>& sources);

} // namespace k72
