#pragma once
// What applying a plan to a card takes, decided before anything is converted or changed. Each pad the
// plan names either holds already what the plan asks (nothing to do: its files were converted from
// the same sources, unchanged since, with the same settings), or gets a change: each of its files is
// a file already on the card that is what the plan asks, or one of the conversions to make. A source
// asked for with the same settings on several pads is converted once, and those pads name one file.
// A pad whose sources cannot be found is told and left as it is; the others go on.

#include "engine/MediaKind.h"
#include "store/CardPlan.h"
#include "store/FillPlanner.h"
#include "store/PadFiles.h"
#include "store/SourceRecord.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

struct ScheduledFile {
    std::string cardName;                  // a file on the card that already is what the plan asks
    std::optional<std::size_t> conversion; // else the conversion that makes it

    bool operator==(const ScheduledFile&) const = default;
};

struct PadUpdate {
    PadLocation where;
    bool clear = false;
    PadKind kind = PadKindEmpty;
    std::vector<ScheduledFile> media; // the movie, or the pictures in order
    std::optional<ScheduledFile> sound;
    PadFiles before; // what the pad holds now; its files go once no pad names them (FilesNoPadNames)
};

struct PlannedConversion {
    SourceKind kind = SourceKind::Movie;
    std::filesystem::path source;
    RecordedSettings settings;
    std::vector<PadLocation> pads; // the pads that wait for it
    // A picture of a picture folder: the folder, its place there and the folder's count.
    std::string folder;
    std::size_t folderIndex = 0;
    std::size_t folderCount = 0;

    // What the record keeps of it once it is on the card.
    SourceEntry Entry(const SourceIdentity& source, const FileStamp& cardFile) const;
};

struct PadProblem {
    PadLocation where;
    std::string text; // "pads.A-1-3: stills/night holds no pictures"
};

struct ApplySchedule {
    std::vector<PadUpdate> changes;
    std::vector<PadLocation> unchanged;
    std::vector<PlannedConversion> conversions;
    std::vector<PadProblem> problems;
    Settings planSettings; // the plan's settings over the defaults, which the record keeps

    bool NothingToDo() const { return changes.empty(); }
};

// card: every pad of the card that holds something. defaults: the settings under the plan's own.
[[nodiscard]] ApplySchedule ScheduleApply(const CardPlan& plan, const Settings& defaults,
                                          const std::vector<PadFiles>& card, const SourceRecord& record,
                                          const CardFileStamps& cardFiles, SourceProbe& probe,
                                          const KindOfPath& kindOf = KindOfFile);

// Those of the candidates (names of card files) that no pad of the card names.
[[nodiscard]] std::vector<std::string> FilesNoPadNames(const std::vector<std::string>& candidates,
                                                       const std::vector<PadFiles>& card);

} // namespace k72
