#pragma once
// The commands of the main form on a pad: Import (and the files dropped on a pad), Export, Information
// and Delete. Each asks through the form's windows (which tests replace), hands the work to the store's
// pad commands, shows what the store answers and then the pad as the card has it; a line for the status
// bar says what was done.

#include "store/PadRecords.h"

#include <QString>
#include <QStringList>

namespace k72 {

class CConvertToolView;
class PadCommands;
struct PadFiles;

class FormCommands {
public:
    FormCommands(PadCommands& commands, CConvertToolView& form) : commands_(commands), form_(form) {}

    // Each works on pad 0 … 11 of the selected number; the form has checked that a command may run
    // and keeps others out meanwhile.
    void Import(int pad);
    void DropFiles(int pad, const QStringList& paths);
    void Export(int pad);
    void Information(int pad);
    void Delete(int pad);

    // The kind of the last import that succeeded: the Import window offers that kind first.
    PadKind LastImportKind() const { return lastImportKind_; }

private:
    // Puts a movie or pictures (added to a picture pad when `add`), and a sound, onto the pad.
    void ImportOnto(int pad, const PadFiles& files, bool add);

    PadCommands& commands_;
    CConvertToolView& form_;
    PadKind lastImportKind_ = PadKindEmpty;
};

} // namespace k72
