#include "ui/ImportSpace.h"

#include "base/DeviceFormat.h"

#include <QFileInfo>
#include <QStorageInfo>

extern "C" {
#include <libavformat/avformat.h>
}

namespace k72 {

qint64 MediaDurationMs(const QString& path) {
    AVFormatContext* context = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&context, name.constData(), nullptr, nullptr) < 0) {
        return 0;
    }
    qint64 duration = 0;
    if (avformat_find_stream_info(context, nullptr) >= 0 && context->duration > 0) {
        duration = context->duration / (AV_TIME_BASE / 1000);
    }
    avformat_close_input(&context);
    return duration;
}

qint64 EstimatedMovieBytes(qint64 durationMs, const Settings& settings) {
    // One MJPEG frame of 640 × 480 at each quality step (measured on detailed footage and rounded
    // up), the 44.1 kHz stereo sound, and the padding of every video chunk to 512 bytes.
    static const qint64 frameBytes[] = {16 * 1024, 20 * 1024, 26 * 1024, 40 * 1024, 64 * 1024};
    const qint64 perFrame = frameBytes[settings.QualitySliderPosition()] + 512;
    const double fps = settings.fps == 1 ? 25.0 : 30000.0 / 1001.0;
    const double seconds = static_cast<double>(durationMs) / 1000.0;
    return static_cast<qint64>(seconds * fps * static_cast<double>(perFrame) +
                               seconds * static_cast<double>(device::kSoundBytesPerSecond)) +
           64 * 1024;
}

QString NotEnoughSpaceText(const QString& cardFolder, const QString& movie, const QStringList& pictures,
                           const Settings& settings) {
    const QStorageInfo volume(cardFolder);
    if (!volume.isValid() || volume.bytesAvailable() < 0) {
        return {};
    }
    qint64 needed = static_cast<qint64>(pictures.size()) * kEstimatedPictureBytes;
    if (!movie.isEmpty()) {
        needed += EstimatedMovieBytes(MediaDurationMs(movie), settings);
    }
    const qint64 available = volume.bytesAvailable();
    if (needed <= available) {
        return {};
    }
    const auto megabytes = [](qint64 bytes) {
        return QString::number(static_cast<double>(bytes) / 1048576.0, 'f', 1);
    };
    const QString what = !movie.isEmpty() ? QStringLiteral("\"%1\"").arg(QFileInfo(movie).fileName())
                         : pictures.size() == 1
                             ? QStringLiteral("\"%1\"").arg(QFileInfo(pictures.constFirst()).fileName())
                             : QStringLiteral("%1 pictures").arg(pictures.size());
    return QStringLiteral(
               "There is not enough free space on the card for %1.\nAbout %2 MB is needed and %3 MB is "
               "free.\nDelete pads you no longer need, or use a lower quality.")
        .arg(what, megabytes(needed), megabytes(available));
}

} // namespace k72
