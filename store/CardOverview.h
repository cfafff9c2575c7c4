#pragma once
// A read-only look at a whole card: for each of the 6 banks × 12 numbers how many of its 12 pads are
// used and of which kind, the files a thumbnail can be made from, and the card's totals (movies,
// pictures, sounds, running time, free space). Built from a consistent copy of the pad file, without the
// card's lock, so it works while the desktop program holds the card and on a card mounted read-only;
// nothing on the card is changed.

#include "store/PadRecords.h"
#include "store/StoreResult.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace k72 {

struct PadGlance {
    int pad = 0; // 0 … 11
    PadKind kind = PadKindEmpty;
    std::string file;        // the movie, or the first picture; empty when the record names none
    std::string sound;       // the attached WAV, or empty
    std::uint32_t count = 0; // a movie's frames, a still image pad's pictures
};

struct NumberOverview {
    int bank = 0;   // 0 … 5
    int number = 0; // 0 … 11
    int used = 0;   // pads that hold a movie or pictures
    int movies = 0;
    int stills = 0;              // still image pads
    int sounds = 0;              // pads with a sound attached
    std::vector<PadGlance> pads; // the used pads, in pad order
};

struct CardTotals {
    int usedPads = 0;
    int movies = 0; // movie pads
    int stillPads = 0;
    int pictures = 0;        // pictures on all still image pads
    int sounds = 0;          // pads with a sound attached
    double movieMinutes = 0; // running time of all movies, at each movie file's own frame rate
    std::optional<std::uintmax_t> freeBytes; // what the card's volume offers; none when unknown
    std::optional<std::uintmax_t> totalBytes;
};

class CardOverview {
public:
    // Reads the card at root (the folder that holds DCIM). NoCard, with the reason in words, when its
    // pad file cannot be read as one.
    StoreResult Read(const std::filesystem::path& root);

    const std::filesystem::path& CardFolder() const { return cardFolder_; }
    // bank 0 … 5, number 0 … 11.
    const NumberOverview& At(int bank, int number) const;
    const CardTotals& Totals() const { return totals_; }

    // The rate a movie without a readable header is counted at.
    static constexpr double kAssumedFrameRate = 30000.0 / 1001.0;

private:
    std::filesystem::path cardFolder_;
    std::array<NumberOverview, padlayout::kBanks * padlayout::kNumbers> numbers_{};
    CardTotals totals_;
};

// The words both faces show, counted in the singular where there is one: "5 movies (0.3 minutes),
// 4 pictures on 2 pads, 1 sound" (the free space is added by each face in its own size format), and for
// a used number "3 movies, 1 still image pad, 1 with sound".
std::string TotalsText(const CardTotals& totals);
std::string NumberDetailText(const NumberOverview& number);

} // namespace k72
