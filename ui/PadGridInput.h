#pragma once
// What the files a user drops on a pad of the grid, or picks with Import, are to that pad: one movie or
// pictures, and with a drop one sound; or, when they cannot go onto one pad together, what the form
// tells the user instead. Files are told apart by their content (the engine's one list of kinds).

#include "store/PadRecords.h"

#include <QString>
#include <QStringList>

namespace k72 {

struct PadFiles {
    QString movie;
    QStringList pictures;
    QString sound;
    QString problem; // when not empty, nothing is to be done but showing it
};

// Files picked in the Import window: one movie, or pictures.
PadFiles SortChosenFiles(const QStringList& paths);
// Files dropped on pad 0 … 11, which holds padKind: one movie or pictures, and one sound (a sound alone
// only onto a pad that holds something).
PadFiles SortDroppedFiles(const QStringList& paths, int pad, PadKind padKind);

} // namespace k72
