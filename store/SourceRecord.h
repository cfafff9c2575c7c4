#pragma once
// The record of sources: which computer file each card file was converted from (its path, size,
// modification time and content hash), with which settings, and under which name the user knew it.
// It lets a plan be applied again without converting what has not changed, and lets the pads show
// their files' original names. It lives in one file at the card's root, so it travels with the card,
// outside DCIM, where the device never looks. Losing it costs only time and the original names: the
// pad file never depends on it, and an entry is believed only while its card file is the one it
// describes.

#include "store/Settings.h"
#include "store/SourceIdentity.h"
#include "store/SourceSettings.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace k72 {

struct SourceEntry {
    SourceKind kind = SourceKind::Movie;
    SourceIdentity source;
    RecordedSettings settings;
    std::string originalName; // the source's file name, as the pads show it
    FileStamp cardFile;       // the card file as it was after it was written
    // A picture of a picture folder: the folder, the picture's place in it and how many pictures the
    // folder gave, so that the pad can be told again as that folder.
    std::string folder;
    std::size_t folderIndex = 0;
    std::size_t folderCount = 0;

    bool operator==(const SourceEntry&) const = default;
};

// The files of the card folder by upper-case name, as a directory listing gives them.
using CardFileStamps = std::map<std::string, FileStamp>;

// Lists the card folder; an unreadable folder gives an empty listing.
CardFileStamps ListCardFileStamps(const std::filesystem::path& cardFolder);
// The stamps of just these card files (missing ones left out), for a caller that needs only a bank's
// worth and should not look at every file of a folder of thousands.
CardFileStamps StampCardFiles(const std::vector<std::filesystem::path>& files);

// A card file name as the record keys it: upper case, since the card's FAT names ignore case.
std::string CardNameKey(std::string_view name);

class SourceRecord {
public:
    // 8.3 and upper case, so that a FAT card stores it in one short directory entry, exactly as it is
    // written, without a long name that another system or the device might not keep; "K72_" says
    // whose it is.
    static constexpr std::string_view kFileName = "K72_SRC.JSN";

    // Reads the record at the card's root. A missing, unreadable or damaged record is an empty one
    // (said in the diagnostic log): it is only ever a shortcut.
    static SourceRecord Load(const std::filesystem::path& cardRoot);
    // Writes it atomically: a temporary file beside it, flushed, renamed over it, the folder flushed.
    [[nodiscard]] bool Save(const std::filesystem::path& cardRoot) const;

    // The entry of a card file, believed only while that file has the size it had when it was recorded
    // and the same modification time (or one moved by whole quarter hours, as a FAT card read in
    // another time zone shows it).
    const SourceEntry* Find(std::string_view cardName, const CardFileStamps& cardFiles) const;
    // The card file, if any, that already holds this source converted with these settings.
    std::optional<std::string> FindConversion(SourceKind kind, const RecordedSettings& settings,
                                              const std::filesystem::path& source,
                                              const CardFileStamps& cardFiles, SourceProbe& probe) const;

    // The name the user knew a card file by (its source's file name) while the entry is believed;
    // empty when the record does not know it.
    std::string OriginalName(std::string_view cardName, const CardFileStamps& cardFiles) const;

    void Put(std::string_view cardName, SourceEntry entry);
    void Remove(std::string_view cardName);
    // Drops the entries of card files that are gone or have changed since.
    void Prune(const CardFileStamps& cardFiles);
    // Takes from `written` (the record as another writer left it on the card meanwhile) each entry that
    // is true of its card file in cardFolder where this record has none that is, so that a save of this
    // one does not lose what an import onto another pad entered while a run held it.
    void TakeNewer(const SourceRecord& written, const std::filesystem::path& cardFolder);

    const std::map<std::string, SourceEntry>& Entries() const { return entries_; }

    // Files to be deleted once no pad names them, noted before the pad that named them is saved without
    // them, so that an apply killed between the save and the deletion has the next apply delete them.
    const std::set<std::string>& Deleting() const { return deleting_; }
    void SetDeleting(std::set<std::string> names) { deleting_ = std::move(names); }

    // The settings of the last plan applied, so that the card can be told as a plan again with them.
    const std::optional<Settings>& PlanSettings() const { return planSettings_; }
    void SetPlanSettings(const Settings& settings) { planSettings_ = settings; }

    // The record as its file holds it, and back; Parse drops what it cannot read and says so.
    std::string Text() const;
    static SourceRecord Parse(std::string_view text);

private:
    std::map<std::string, SourceEntry> entries_;
    std::optional<Settings> planSettings_;
    std::set<std::string> deleting_;
};

} // namespace k72
