#pragma once
// What a screen reader is told a drop-down list is called. Qt's own description of a combo box names
// it on Linux by its current item ("1"), and leaves its real name to a label it is "labelled by", which
// a form without a visible label lacks. A combo box given an accessible name is described here instead:
// named by that name, its current item as its value, opened by the screen reader's "show menu".

namespace k72 {

// Installs the description for every combo box of the program that has an accessible name; once.
void InstallAccessibleComboNames();

} // namespace k72
