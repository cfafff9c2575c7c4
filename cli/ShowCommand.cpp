// show: the pads of a card, as lines or as one JSON object. Reads only, from a consistent copy of the
// pad file: a card the desktop program holds, or one mounted read-only, can be listed too.
#include "cli/CardSession.h"
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/JsonOutput.h"
#include "store/SourceRecord.h"

#include <cstdio>
#include <vector>

namespace k72::cli {
namespace {

// The original names of the pad's own files.
OriginalNames OriginalsOf(const PadEntry& entry, const OriginalNames& originals) {
    OriginalNames own;
    for (const std::string& name : FileNamesOf(entry)) {
        if (const auto found = originals.find(CardNameKey(name)); found != originals.end()) {
            own.insert(*found);
        }
    }
    return own;
}

} // namespace

int RunShow(const ShowOptions& options) {
    CardSession session;
    if (!session.OpenForReading(options.card)) {
        return kExitFailed;
    }
    std::vector<int> banks;
    if (options.bank.empty()) {
        for (int bank = 0; bank < padlayout::kBanks; ++bank) {
            banks.push_back(bank);
        }
    } else {
        banks.push_back(ParseBankLetter(options.bank).value_or(0));
    }
    // With one number every pad is listed, empty ones too; otherwise only the assigned pads.
    const bool oneNumber = options.number > 0;
    // The names the files had before they were converted, where the card's record of sources still
    // knows them (only for files unchanged since).
    const SourceRecord record = SourceRecord::Load(session.Root());
    const CardFileStamps stamps =
        record.Entries().empty() ? CardFileStamps{} : ListCardFileStamps(session.Store().CardFolder());
    OriginalNames originals;
    for (const auto& [name, entry] : record.Entries()) {
        if (std::string original = record.OriginalName(name, stamps); !original.empty()) {
            originals.emplace(name, std::move(original));
        }
    }

    std::vector<PadListing> pads;
    std::vector<std::string> lines;
    for (int bank : banks) {
        if (!session.Select(PadAddress{bank, 0, 0})) {
            return kExitFailed;
        }
        for (int number = 0; number < padlayout::kNumbers; ++number) {
            if (oneNumber && number != options.number - 1) {
                continue;
            }
            session.Store().SelectNumber(number);
            for (int pad = 0; pad < padlayout::kPads; ++pad) {
                const PadEntry* entry = session.Store().Entry(pad);
                if (entry == nullptr || (!oneNumber && entry->Kind() == PadKindEmpty)) {
                    continue;
                }
                const PadAddress address{bank, number, pad};
                pads.push_back(PadListing{address.Text(), *entry, OriginalsOf(*entry, originals)});
                lines.push_back(DescribePad(address, entry, originals));
            }
        }
    }

    const std::string card = CardText(options.card);
    if (options.json) {
        std::fputs(ShowJson(card, session.Store().LastFileNumber(), pads).c_str(), stdout);
        output::NoteJsonPrinted();
        return kExitSuccess;
    }
    PrintLine("card " + card + ", last file number " + std::to_string(session.Store().LastFileNumber()));
    if (lines.empty()) {
        PrintLine("no pad is assigned");
    }
    for (const std::string& line : lines) {
        PrintLine(line);
    }
    return kExitSuccess;
}

} // namespace k72::cli
