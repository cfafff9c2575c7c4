#pragma once
// A job of the background conversion queue: what to convert (a movie, a set of pictures, a sound), with
// which settings, and how far it has come. The queue converts into a folder of its own and never
// touches the card; its caller copies each job's outputs to the card when the job is done.

#include "codecs/FitGeometry.h"
#include "codecs/ResultCodes.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace k72 {

using ConversionJobId = std::uint64_t;

enum class ConversionJobKind { Movie, Pictures, Sound };
enum class ConversionJobState { Queued, Running, Done, Failed, Cancelled };

// "queued", "running", "done", "failed", "cancelled".
std::string_view ConversionJobStateWord(ConversionJobState state);

// What the movie converter takes, as the settings give it ("ntsc" or "pal", "20" … "1").
struct MovieJobSettings {
    std::string frameRate = "ntsc";
    std::string qscale = "10";
    bool deinterlace = false;
    FitMode fit = FitMode::Stretch;
};

struct PictureJobSettings {
    float quality = 0.5f;
    FitMode fit = FitMode::Stretch;
};

struct ConversionJobRequest {
    ConversionJobKind kind = ConversionJobKind::Movie;
    std::vector<std::filesystem::path> sources; // a movie or a sound: one; pictures: in their order
    MovieJobSettings movie;
    PictureJobSettings pictures;
    std::uint64_t tag = 0;    // the caller's own, handed back (which pad or conversion it is for)
    std::uint64_t memory = 0; // what a movie job is expected to take; 0: the queue's reckoning
};

struct ConversionJobStatus {
    ConversionJobId id = 0;
    ConversionJobKind kind = ConversionJobKind::Movie;
    ConversionJobState state = ConversionJobState::Queued;
    std::uint64_t tag = 0;
    std::vector<std::filesystem::path> sources;
    unsigned attempt = 1;              // 2 after the first retry, …
    double progress = 0;               // 0 … 1
    std::optional<double> secondsLeft; // while running, once the pace can be told
    ResultCode result = 0;             // failed: the converter's code; cancelled: rc::Fail
    std::string cause;                 // failed: the code's diagnostic line, and which source
    std::size_t failedSource = 0;      // failed: which of the sources
    // Done: one file per source in the queue's folder, kept until Release. A sound already in the
    // device's form is not converted: its output is the source itself (outputIsSource).
    std::vector<std::filesystem::path> outputs;
    bool outputIsSource = false;
    std::optional<std::uint32_t> frames; // a converted movie's frame count, when its header reads

    bool Finished() const {
        return state == ConversionJobState::Done || state == ConversionJobState::Failed ||
               state == ConversionJobState::Cancelled;
    }
};

} // namespace k72
