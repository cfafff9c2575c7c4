#include "ui/SoundFileProblem.h"

#include "base/ByteOrder.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include <QFile>
#include <QStringList>

namespace k72 {
namespace {

// Reads a little-endian field of 2 or 4 bytes that the callers have checked lies inside head.
quint32 Le(const QByteArray& head, qsizetype at, int size) {
    std::array<std::uint8_t, 4> field{};
    for (int i = 0; i < size; ++i) {
        field[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(head.at(at + i));
    }
    return size == 2 ? byteorder::LoadLE16(field.data()) : byteorder::LoadLE32(field.data());
}

} // namespace

QString SoundFileProblem(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("it cannot be read");
    }
    const QByteArray head = file.read(64 * 1024);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE") {
        return QStringLiteral("it is not a WAV file");
    }
    // The chunks after the RIFF header, up to the format chunk.
    qsizetype at = 12;
    while (at + 8 <= head.size() && head.mid(at, 4) != "fmt ") {
        at += 8 + static_cast<qsizetype>(Le(head, at + 4, 4)) + (Le(head, at + 4, 4) & 1);
    }
    if (at + 24 > head.size()) {
        return QStringLiteral("its header is damaged (no format chunk)");
    }
    const quint32 format = Le(head, at + 8, 2);
    const quint32 channels = Le(head, at + 10, 2);
    const quint32 rate = Le(head, at + 12, 4);
    const quint32 bits = Le(head, at + 22, 2);
    QStringList problems;
    // 0xFFFE (extensible) may still hold plain PCM; the device wants the plain form.
    if (format != 1) {
        problems << QStringLiteral("it is compressed or not plain PCM (format %1)").arg(format);
    }
    if (channels != 2) {
        problems << (channels == 1 ? QStringLiteral("it is mono, not stereo")
                                   : QStringLiteral("it has %1 channels, not 2 (stereo)").arg(channels));
    }
    if (rate != 44100) {
        problems << QStringLiteral("it is sampled at %1 Hz, not 44100 Hz (44.1 kHz)").arg(rate);
    }
    if (bits != 16) {
        problems << QStringLiteral("it has %1 bits per sample, not 16").arg(bits);
    }
    return problems.join(QStringLiteral("; "));
}

} // namespace k72
