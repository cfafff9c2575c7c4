#include "ui/PadInformationDialog.h"

#include "store/PadCommands.h"

namespace k72 {

PadInformationDialog::PadInformationDialog(PadCommands& commands, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), commands_(commands), store_(commands.Store()) {}

} // namespace k72
