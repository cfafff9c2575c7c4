#pragma once
// One file converted into the form the card takes, the same way for an import onto a pad and for
// k72-card's convert-movie and convert-picture, which need no card: the settings handed to the
// converter, the conversion waited for (a movie through its progress window), how it ended, the size of
// the converted file checked against the largest the card holds and, for a movie, its frames counted.
// The caller owns the folder the file is converted into and turns the result into its own messages
// (ConversionMessage gives the user's text).

#include "codecs/CVideoConverter.h"
#include "codecs/ResultCodes.h"
#include "store/IConversionProgress.h"
#include "store/Settings.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace k72 {

enum class ConversionFailure {
    None,
    Failed,    // the converter failed or the progress window was closed; code says why
    Cancelled, // the user cancelled: there is nothing to tell
    TooLarge,  // converted, but the file cannot be opened or is not below the largest the card holds
};

struct ConversionResult {
    ConversionFailure failure = ConversionFailure::None;
    // Failed and Cancelled: the code the conversion ended with (rc::Fail when it gave none); else 0.
    ResultCode code = 0;
    // A converted movie: its frame count, when its header could be read.
    std::optional<std::uint32_t> frames;
    // Failed: why, in the user's words ("the file ends before the picture is complete"), where the
    // converter could say; empty otherwise.
    std::string cause;

    bool Ok() const { return failure == ConversionFailure::None; }
    explicit operator bool() const { return Ok(); }
};

// Called with the movie converter before its job is added (tests set its work folder or free space).
using MovieConverterHook = std::function<void(CVideoConverter&)>;

// Converts the movie source into destination at the settings' frame rate, quality, deinterlacing and
// fit. progress watches the job; without one the conversion is waited for quietly. A conversion still
// running when the window closes has stopped before this returns.
ConversionResult ConvertMovie(const std::filesystem::path& source, const std::filesystem::path& destination,
                              const Settings& settings, IConversionProgress* progress,
                              const MovieConverterHook& hook = {});

// Converts the picture source into destination at the settings' still image quality and fit.
ConversionResult ConvertPicture(const std::filesystem::path& source, const std::filesystem::path& destination,
                                const Settings& settings);

// The frame count in a movie file's header; none when the header cannot be read.
std::optional<std::uint32_t> MovieFrames(const std::filesystem::path& path);

// Whether a converted file may go onto the card: a file that can be opened, below the largest the card
// holds.
bool FitsOnCard(const std::filesystem::path& converted);

// The user's message for a conversion that failed with code. temporaryFolder is the folder a full
// temporary disk message names.
std::string ConversionFailureMessage(ResultCode code, const std::string& temporaryFolder);

// The user's message for a conversion's result; none for a success or a cancel.
std::optional<std::string> ConversionMessage(const ConversionResult& result,
                                             const std::string& temporaryFolder);

} // namespace k72
