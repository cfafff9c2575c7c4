#pragma once
// Where the manual is looked for, in order: the manual of the first versions in the current folder
// ("K-72ImageConverterManualE.pdf"), the HTML manual installed beside the program
// (<prefix>/share/doc/k72-image-converter/manual/index.html for <prefix>/bin/k72-image-converter), in the
// system's data folders (XDG_DATA_DIRS), and in the build folder when the program runs from there.

#include <QString>
#include <QStringList>

namespace k72 {

// Every place, first choice first. programFolder is the folder of the running program.
QStringList ManualCandidates(const QString& programFolder);
// The first candidate that is a file; empty when there is none.
QString FindManual(const QStringList& candidates);

} // namespace k72
