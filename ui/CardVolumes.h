#pragma once
// How the desktop program recognises a mounted volume as a K-72 card, and how it names one in the
// drive list: by its label and size, as file managers do ("K72CARD (7.4 GB)").

#include <QString>

namespace k72 {

// True when the folder holds DCIM/000KAVLO/K72_PAD.SYS (letter case ignored).
bool LooksLikeCard(const QString& root);

// "LABEL (7.4 GB)", or the root's last folder name when the volume has no label; "(size unknown)" for a
// size of 0 or less.
QString CardVolumeText(const QString& label, qint64 bytesTotal, const QString& root);

} // namespace k72
