#include "store/CardOverview.h"

#include "engine/CAviProbe.h"
#include "store/CardLayout.h"
#include "store/PadFileSnapshot.h"

#include <cstdio>
#include <system_error>

namespace k72 {
namespace {

// A name read from the pad file, kept only when it can name a file of the card folder.
std::string CardName(const NameField& field) {
    const std::string name = NameText(field);
    return IsPlainCardName(name) ? name : std::string();
}

} // namespace

StoreResult CardOverview::Read(const std::filesystem::path& root) {
    numbers_ = {};
    totals_ = {};
    const CardPaths paths = FindCardPaths(root);
    cardFolder_ = paths.cardFolder;
    PadFileSnapshot snapshot;
    if (StoreResult read = snapshot.Read(paths.padFilePath); !read) {
        read.text = "the card's pad file cannot be read: " + read.text;
        return read;
    }
    CAviProbe probe;
    for (int bank = 0; bank < padlayout::kBanks; ++bank) {
        const std::vector<PadEntry> entries = snapshot.Bank(bank);
        for (int number = 0; number < padlayout::kNumbers; ++number) {
            NumberOverview& overview =
                numbers_[static_cast<std::size_t>(bank * padlayout::kNumbers + number)];
            overview.bank = bank;
            overview.number = number;
            for (int pad = 0; pad < padlayout::kPads; ++pad) {
                const std::size_t index = static_cast<std::size_t>(number * padlayout::kPads + pad);
                if (index >= entries.size()) {
                    continue;
                }
                const PadEntry& entry = entries[index];
                PadGlance glance;
                glance.pad = pad;
                glance.kind = entry.Kind();
                if (glance.kind == PadKindMovie && entry.movie) {
                    glance.file = CardName(entry.movie->fileName);
                    glance.sound = CardName(entry.movie->audioFileName);
                    glance.count = entry.movie->frameCount;
                    ++overview.movies;
                    // The movie's own rate, from its header; the pad file keeps only the frame count.
                    double rate = kAssumedFrameRate;
                    if (!glance.file.empty() &&
                        Succeeded(probe.Probe((cardFolder_ / glance.file).string())) &&
                        probe.FrameRate() > 0) {
                        rate = probe.FrameRate();
                    }
                    totals_.movieMinutes += glance.count / rate / 60.0;
                } else if (glance.kind == PadKindStill && entry.stills) {
                    glance.file = CardName(entry.stills->stillNames[0]);
                    glance.sound = CardName(entry.stills->audioFileName);
                    glance.count = static_cast<std::uint32_t>(entry.stills->UsableCount());
                    ++overview.stills;
                    totals_.pictures += static_cast<int>(glance.count);
                } else {
                    continue;
                }
                ++overview.used;
                overview.sounds += glance.sound.empty() ? 0 : 1;
                overview.pads.push_back(glance);
            }
            totals_.usedPads += overview.used;
            totals_.movies += overview.movies;
            totals_.stillPads += overview.stills;
            totals_.sounds += overview.sounds;
        }
    }
    std::error_code error;
    const std::filesystem::space_info space = std::filesystem::space(root, error);
    if (!error) {
        totals_.freeBytes = space.available;
        totals_.totalBytes = space.capacity;
    }
    return {};
}

const NumberOverview& CardOverview::At(int bank, int number) const {
    static const NumberOverview none;
    if (bank < 0 || bank >= padlayout::kBanks || number < 0 || number >= padlayout::kNumbers) {
        return none;
    }
    return numbers_[static_cast<std::size_t>(bank * padlayout::kNumbers + number)];
}

namespace {

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

std::string TotalsText(const CardTotals& totals) {
    char minutes[32];
    std::snprintf(minutes, sizeof minutes, "%.1f", totals.movieMinutes);
    return Counted(totals.movies, "movie", "movies") + " (" + minutes +
           (minutes == std::string("1.0") ? " minute), " : " minutes), ") +
           Counted(totals.pictures, "picture", "pictures") + " on " +
           Counted(totals.stillPads, "pad", "pads") + ", " + Counted(totals.sounds, "sound", "sounds");
}

std::string NumberDetailText(const NumberOverview& number) {
    return Counted(number.movies, "movie", "movies") + ", " +
           Counted(number.stills, "still image pad", "still image pads") + ", " +
           std::to_string(number.sounds) + " with sound";
}

} // namespace k72
