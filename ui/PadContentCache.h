#pragma once
// What each pad of the main form shows of its content: a small picture (the first picture of a still
// image pad, the first frame of a movie) and the words that name it, for tooltips and screen readers
// ("Pad 4: movie K72_0008.AVI, 1:30", "Pad 2: 3 pictures K72_0002.JPG, …", "Pad 7: empty"), with
// the files' original names where the card's record of sources knows them ("movie Beach Day.mp4
// (K72_0008.AVI)") and the pad's sound ("…, sound RAIN.WAV").
// Pictures and running times are kept per file (path, size and time of change), so that a bank is
// shown again without decoding anything twice.

#include "ui/OriginalNames.h"

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QString>

#include <cstdint>
#include <filesystem>

namespace k72 {

class CPadBankStore;

struct PadContent {
    QImage picture; // null for an empty pad or a file that cannot be read
    QString description;
    QString sound; // the name of the pad's sound file; empty when it has none
};

class PadContentCache {
public:
    // The content of pad 0 … 11 of the store's selected number.
    PadContent Describe(const CPadBankStore& store, int pad);
    void Clear() { files_.clear(); }
    // Looks at the card's record of sources again (read anew only when it changed), before a bank or a
    // pad is described.
    void ReadOriginalNames(const CPadBankStore& store) { originals_.Read(store); }

    // "m:ss" of a running time from a frame count and rate, counted as the movie information does.
    static QString RunningTimeText(std::uint32_t frames, double rate);
    // The first frame of an MJPEG AVI (the device's movies), decoded small; null when there is none.
    static QImage FirstMovieFrame(const std::filesystem::path& path);

    // Big enough for the pads of a grown window.
    static constexpr int kPictureWidth = 128;
    static constexpr int kPictureHeight = 96;

private:
    struct FileFacts {
        QImage picture;
        std::uint32_t frames = 0;
        double rate = 0.0;
    };
    const FileFacts* Facts(const std::filesystem::path& path, bool movie);

    QHash<QString, FileFacts> files_;
    OriginalNames originals_;
};

} // namespace k72
