#pragma once
// Carries out what applying a plan (or a fill, which is a plan of one number) takes, on the open card:
// every conversion goes to the background queue at once, and each one that ends is put onto the card
// at once, under a new file number (a sound under its 8.3 name), and written into the record of
// sources. A pad is saved, with one journaled write, as soon as the last of its files is on the card;
// a pad whose conversion failed is left as it was and told with the reason, and the others go on.
//
// Killed at any moment, the card stays consistent: the pad file is only ever written whole, and a file
// put onto the card is in the record before any pad names it, so that the next apply finds it
// converted and only finishes the rest.
//
// Start and JobEnded run on the thread that owns the store; the queue's completion passes the job on.

#include "engine/ConversionQueue.h"
#include "store/ApplySchedule.h"
#include "store/CPadBankStore.h"
#include "store/IFileCopy.h"
#include "store/PadFiles.h"
#include "store/SourceRecord.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace k72 {

// Every pad of the open card that holds something, in pad order.
std::vector<PadFiles> CardPadFiles(CPadBankStore& store);
// What one pad holds, as names.
PadFiles PadFilesOf(const PadLocation& where, const PadEntry& entry);

// A fill as a plan of the number: each placement a pad of its own (a picture folder that fits on one
// pad named as that folder), with the settings of the whole fill.
CardPlan PlanOfFill(const FillPlan& fill, int bank, int number);

struct ApplyPadOutcome {
    PadLocation where;
    bool ok = false;
    std::string text; // why it failed
};

class ApplyRun {
public:
    // deleteOldFiles: the files a changed or emptied pad no longer names go once no pad names them (an
    // apply); without it they stay on the card (a fill with --replace, as an import leaves them).
    ApplyRun(CPadBankStore& store, IFileCopy& fileCopy, std::filesystem::path cardRoot, SourceRecord& record,
             ApplySchedule schedule, bool deleteOldFiles);

    // Called on the store's thread after each pad is saved or given up.
    std::function<void(const ApplyPadOutcome&)> onPad;

    // Queues every conversion and saves the pads that need none. The queue must outlive this run.
    void Start(ConversionQueue& queue);
    // A job of the queue ended; jobs of other runs are not this run's business (false).
    bool JobEnded(const ConversionJobStatus& status);
    // Every pad saved or given up.
    bool Finished() const { return padsLeft_ == 0; }

    const ApplySchedule& Schedule() const { return schedule_; }
    const std::vector<ApplyPadOutcome>& Outcomes() const { return outcomes_; }
    std::size_t ConversionsDone() const { return conversionsDone_; }
    bool Owns(ConversionJobId id) const { return jobs_.count(id) != 0; }
    // Said once when the record of sources could not be written: the pads are right, but the next
    // apply converts their files again.
    const std::optional<std::string>& RecordProblem() const { return recordProblem_; }

private:
    struct Conversion {
        ConversionJobId job = 0;
        std::optional<std::string> cardName; // on the card
        std::optional<std::uint32_t> frames; // a movie's, as its header says
        std::string failure;                 // why it did not get there
    };

    ConversionJobRequest RequestFor(const PlannedConversion& conversion) const;
    // The converted file onto the card and into the record; the failure's words otherwise.
    std::string Place(std::size_t index, const ConversionJobStatus& status);
    std::string SoundNameFor(const std::filesystem::path& source, const std::filesystem::path& file) const;
    // Saves the pad when every file it waits for is there, or gives it up when one failed.
    void TryFinish(std::size_t change);
    StoreResult WriteChange(const PadUpdate& change);
    std::optional<std::string> NameOf(const ScheduledFile& file, std::string& failure) const;
    void Tell(std::size_t change, bool ok, std::string text);
    void SaveRecord();
    // Deletes the files noted in the record for deletion that no pad names (any longer).
    void DeleteNoted();

    CPadBankStore& store_;
    IFileCopy& fileCopy_;
    std::filesystem::path cardRoot_;
    SourceRecord& record_;
    ApplySchedule schedule_;
    bool deleteOldFiles_;
    ConversionQueue* queue_ = nullptr;
    SourceProbe probe_;
    std::vector<Conversion> conversions_;
    std::vector<bool> finished_; // per change
    std::vector<ApplyPadOutcome> outcomes_;
    std::set<ConversionJobId> jobs_;
    std::size_t padsLeft_ = 0;
    std::size_t conversionsDone_ = 0;
    std::optional<std::string> recordProblem_;
};

} // namespace k72
