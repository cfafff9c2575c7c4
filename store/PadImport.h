#pragma once
// An import onto a pad in three steps that can be run one by one: Prepare checks what can be checked
// before anything is converted (the pad, the files, the 100-picture limit, the free space on the card,
// whether to replace what the pad holds), sets file numbers aside and makes a private folder; Convert
// converts into that folder and touches nothing of the store, so that it may run on a worker thread,
// several at once; Commit copies the converted files onto the card and records them on the pad with
// one journaled save. PadCommands::Import runs the three in a row. A prepared import that is never
// committed gives its file numbers back and takes its folder with it.

#include "engine/StillBatch.h"
#include "store/CPadBankStore.h"
#include "store/CardConversion.h"
#include "store/IConversionProgress.h"
#include "store/IFileCopy.h"
#include "store/IPadQuestions.h"
#include "store/Settings.h"
#include "store/SourceIdentity.h"
#include "store/StoreResult.h"
#include "store/TemporaryWorkspace.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

// What is to go onto a pad.
struct ImportRequest {
    int pad = -1;                // 0 … 11 of the selected number
    PadKind kind = PadKindEmpty; // PadKindMovie (one source) or PadKindStill (one or more)
    std::vector<std::filesystem::path> sources;
    bool add = false; // pictures join a still image pad instead of replacing it
};

struct PreparedImport {
    struct Item {
        std::filesystem::path source;
        std::string name;                // the card name it is recorded under
        std::filesystem::path converted; // where it is converted; empty for a file recorded in place
        bool InPlace() const { return converted.empty(); }
    };
    PadLocation where;
    PadKind kind = PadKindEmpty;
    bool append = false;              // the pictures join the pad's list
    std::optional<PadEntry> replaced; // what the pad held, when the import replaces it
    std::vector<Item> items;          // in the order of the request's sources
    Settings settings;
    MovieConverterHook hook;
    std::filesystem::path temporaryFolder; // the one a full-disk message names
    FileNumberReservation numbers;
    std::unique_ptr<TemporaryWorkspace> workspace;
};

struct ConvertedImport {
    std::optional<std::uint32_t> frames; // a movie's frame count, when its header could be read
    // By the prepared items: what each converted source was, for the record of sources; none for a file
    // recorded in place or a source that could not be read.
    std::vector<std::optional<SourceIdentity>> sources;
};

class PadImport {
public:
    // fileCopy copies the converted files onto the card; both must outlive this object.
    PadImport(CPadBankStore& store, IFileCopy& fileCopy, const Settings& settings,
              MovieConverterHook hook = {});

    // Checks the request against the pad and the card; questions (may be null: replace without
    // asking) is asked before what the pad holds is replaced.
    StoreOutcome<PreparedImport> Prepare(const ImportRequest& request, IPadQuestions* questions);
    // Converts the files that are not on the card yet: a movie watched by progress (may be null: waited
    // for quietly), pictures on a pool of workers reporting to pictureProgress (may be empty; false
    // stops them). Reads nothing of the store.
    static StoreOutcome<ConvertedImport> Convert(const PreparedImport& prepared,
                                                 IConversionProgress* progress,
                                                 const StillBatchProgress& pictureProgress = {});
    // Puts the converted files onto the card and records the pad, appending to the pictures the pad holds
    // now, and then enters them into the card's record of sources (which never fails the import). A
    // failure leaves the pad, the numbering and the card as they were.
    StoreResult Commit(PreparedImport prepared, const ConvertedImport& converted);

private:
    // The request's files: those in the card folder that the device plays as they are, with the names
    // they are recorded under, the others still to be named; a file that is not there or not a regular
    // file, or one on the card that is not a file, refuses the import.
    StoreOutcome<std::vector<PreparedImport::Item>> ItemsOf(const ImportRequest& request) const;
    // The entry the pad gets: a new movie or still image record, or the pad's pictures with more.
    StoreOutcome<PadEntry> RecordFor(const PreparedImport& prepared, const ConvertedImport& converted);

    CPadBankStore& store_;
    IFileCopy& fileCopy_;
    Settings settings_;
    MovieConverterHook hook_;
};

} // namespace k72
