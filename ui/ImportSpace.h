#pragma once
// Whether what an import will write fits on the card, checked before anything is converted: the card's
// free space against an estimate of the converted files' size (a movie from its running time at the
// chosen frame rate and quality, a picture at a generous fixed size).

#include "store/PadRecords.h"
#include "store/Settings.h"

#include <QString>
#include <QStringList>

namespace k72 {

// The running time of a media file in milliseconds, 0 when it cannot be read.
qint64 MediaDurationMs(const QString& path);

// About how many bytes the converted movie takes on the card.
qint64 EstimatedMovieBytes(qint64 durationMs, const Settings& settings);
// About how many bytes a converted picture takes on the card (with its thumbnail and EXIF block).
inline constexpr qint64 kEstimatedPictureBytes = 256 * 1024;

// The message when the files will not fit, or empty when they will (or the free space is unknown).
QString NotEnoughSpaceText(const QString& cardFolder, const QString& movie, const QStringList& pictures,
                           const Settings& settings);

} // namespace k72
