#include "store/ImportedSources.h"

#include "base/DiagnosticLog.h"
#include "store/ApplySchedule.h"
#include "store/PadFileBackup.h"
#include "store/SourceRecord.h"

namespace k72 {

bool RecordImportedSources(const std::filesystem::path& cardFolder,
                           const std::vector<ImportedSource>& sources) {
    if (sources.empty() || cardFolder.empty()) {
        return true;
    }
    const std::filesystem::path root = PadFileBackup::CardRoot(cardFolder);
    SourceRecord record = SourceRecord::Load(root);
    for (const ImportedSource& imported : sources) {
        const std::optional<FileStamp> cardFile = StampOfFile(cardFolder / imported.cardName);
        if (!imported.identity || !cardFile) {
            // Whatever the record said of an earlier file of that name is no longer true.
            record.Remove(imported.cardName);
            continue;
        }
        PlannedConversion conversion;
        conversion.kind = imported.kind;
        conversion.source = imported.source;
        conversion.settings = RecordedSettings::For(imported.kind, imported.settings);
        record.Put(imported.cardName, conversion.Entry(*imported.identity, *cardFile));
    }
    if (record.Save(root)) {
        return true;
    }
    LogLine("source record", "the record of sources could not be written at the card's root (" +
                                 root.string() +
                                 "); the pads keep what was imported, without its original names");
    return false;
}

} // namespace k72
