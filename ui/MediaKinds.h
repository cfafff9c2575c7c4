#pragma once
// The engine's one list of the kinds of files we know, as the desktop program's file dialogs and drop
// targets use it, so that whatever can be imported can also be picked and dropped.

#include "engine/MediaKind.h"
#include "store/PadRecords.h"

#include <QString>
#include <QStringList>

class QMimeData;

namespace k72 {

// "Movies (*.[aA][vV][iI] …)": the dialog filter of kinds, each letter in both cases. The dialogs hide
// the patterns (HideNameFilterDetails): the user reads the name.
QString MediaFilter(const QString& name, std::initializer_list<MediaKind> kinds);
// The filters of the Import command: all that can be imported (the one chosen at first), then movies
// or pictures first after the kind last imported, then all files.
QStringList ImportFilters(PadKind lastImportKind);
// The pictures we know, then all files.
QString PictureFilters();
// Every sound we know, then all files.
QString SoundFilters();
// "AVI, MPG, …": the extensions of a kind, for messages.
QString ExtensionList(MediaKind kind);

// The kind of a file by its content, its extension the first guess.
PadKind PadKindOfFile(const QString& path);
bool IsSoundFile(const QString& path);

// The local files of a drag when each of them is a picture; empty when anything else is among them.
QStringList DroppedPictures(const QMimeData* data);

} // namespace k72
