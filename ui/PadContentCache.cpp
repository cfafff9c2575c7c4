#include "ui/PadContentCache.h"

#include "base/ByteOrder.h"
#include "engine/CConversionManager.h"
#include "engine/RunningTime.h"
#include "store/CPadBankStore.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>

namespace k72 {
namespace {

QString Name(const NameField& field) {
    return QString::fromLatin1(NameText(field).c_str());
}

QImage ScaledPicture(QImageReader& reader) {
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && size.width() > PadContentCache::kPictureWidth * 2) {
        // JPEG decodes straight to a small size, much faster than decoding whole and scaling.
        reader.setScaledSize(size.scaled(PadContentCache::kPictureWidth * 2,
                                         PadContentCache::kPictureHeight * 2, Qt::KeepAspectRatio));
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    return image.scaled(PadContentCache::kPictureWidth, PadContentCache::kPictureHeight,
                        Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

QString PadContentCache::RunningTimeText(std::uint32_t frames, double rate) {
    // Counted as the movie information counts it (a header's 30.0003 is 30 frames a second).
    const RunningTime time = ComputeRunningTime(frames, rate);
    return QStringLiteral("%1:%2").arg(time.minutes).arg(time.seconds, 2, 10, QLatin1Char('0'));
}

QImage PadContentCache::FirstMovieFrame(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // The device's movies are MJPEG: the first video chunk after "movi" is a whole JPEG picture.
    const QByteArray head = file.read(4 * 1024 * 1024);
    const qsizetype movi = head.indexOf("movi");
    if (movi < 0) {
        return {};
    }
    for (qsizetype at = head.indexOf("00dc", movi); at >= 0 && at + 8 < head.size();
         at = head.indexOf("00dc", at + 4)) {
        const quint32 size =
            byteorder::LoadLE32(reinterpret_cast<const std::uint8_t*>(head.constData() + at + 4));
        if (size == 0 || at + 8 + static_cast<qsizetype>(size) > head.size()) {
            continue;
        }
        QByteArray jpeg = head.mid(at + 8, size);
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        const QImage picture = ScaledPicture(reader);
        if (!picture.isNull()) {
            return picture;
        }
    }
    return {};
}

const PadContentCache::FileFacts* PadContentCache::Facts(const std::filesystem::path& path, bool movie) {
    const QString text = QString::fromStdString(path.string());
    const QFileInfo info(text);
    if (!info.isFile()) {
        return nullptr;
    }
    const QString key = text + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|') +
                        QString::number(info.lastModified().toMSecsSinceEpoch());
    auto found = files_.find(key);
    if (found == files_.end()) {
        FileFacts facts;
        if (movie) {
            facts.picture = FirstMovieFrame(path);
            CConversionManager probe;
            if (Succeeded(probe.ProbeAvi(path.string()))) {
                facts.frames = probe.ProbedFrames();
                facts.rate = probe.ProbedFrameRate();
            }
        } else {
            QImageReader reader(text);
            facts.picture = ScaledPicture(reader);
        }
        found = files_.insert(key, facts);
    }
    return &found.value();
}

PadContent PadContentCache::Describe(const CPadBankStore& store, int pad) {
    PadContent content;
    const QString prefix = QStringLiteral("Pad %1: ").arg(pad + 1);
    const PadEntry* entry = store.Entry(pad);
    const PadKind kind = entry != nullptr ? entry->Kind() : PadKindEmpty;
    QString sound;
    if (kind == PadKindMovie && entry->movie) {
        const QString name = originals_.WithCardName(store, NameText(entry->movie->fileName));
        content.description = prefix + QStringLiteral("movie ") + name;
        const auto path = store.Files().PathOf(NameText(entry->movie->fileName));
        const FileFacts* facts = path ? Facts(*path, true) : nullptr;
        if (facts == nullptr) {
            content.description += QStringLiteral(" (missing from the card)");
        } else {
            content.picture = facts->picture;
            const std::uint32_t frames = facts->frames != 0 ? facts->frames : entry->movie->frameCount;
            content.description += QStringLiteral(", ") + RunningTimeText(frames, facts->rate);
        }
        sound = Name(entry->movie->audioFileName);
    } else if (kind == PadKindStill && entry->stills) {
        const StillRecord& stills = *entry->stills;
        const std::size_t count = stills.UsableCount();
        QStringList names;
        for (std::size_t i = 0; i < std::min<std::size_t>(count, 3); ++i) {
            names << originals_.WithCardName(store, NameText(stills.stillNames[i]));
        }
        if (count > 3) {
            names << QStringLiteral("…");
        }
        content.description =
            prefix + (count == 1 ? QStringLiteral("1 picture ") : QStringLiteral("%1 pictures ").arg(count)) +
            names.join(QStringLiteral(", "));
        if (count > 0) {
            if (const auto path = store.Files().PathOf(NameText(stills.stillNames[0]))) {
                if (const FileFacts* facts = Facts(*path, false)) {
                    content.picture = facts->picture;
                }
            }
        }
        sound = Name(stills.audioFileName);
    } else {
        content.description = prefix + QStringLiteral("empty");
    }
    if (!sound.isEmpty()) {
        content.description += QStringLiteral(", sound ") + sound;
    }
    content.sound = sound;
    return content;
}

} // namespace k72
