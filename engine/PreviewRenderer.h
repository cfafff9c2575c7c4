#pragma once
// What the device will show of a source before it is converted: a picture exactly as the still image
// converter makes it (turned upright, fitted, 640 x 480, the JPEG at the chosen quality, decoded back),
// a movie's picture at a moment exactly as the movie converter makes it (the same transcoder, started at
// that moment and stopped after one picture, and the same re-interleave, then its one MJPEG picture
// decoded back). Both go through the real converters into a work folder of the renderer's own, so a
// preview cannot drift from what a conversion writes onto the card. No toolkit here: the desktop
// program renders on a thread of its own, k72-card writes the picture as a PNG.

#include "codecs/CVideoConverter.h"
#include "codecs/FitGeometry.h"
#include "codecs/ResultCodes.h"
#include "engine/MediaKind.h"
#include "engine/RgbImage.h"
#include "engine/StillImageConverter.h"

#include <atomic>
#include <filesystem>
#include <string>

namespace k72 {

// The settings a conversion would use, as the converters take them.
struct PreviewSettings {
    FitMode fit = FitMode::Auto;
    float stillQuality = 1.0f;              // the still image converter's quality, 0 … 1
    std::string frameRateStandard = "ntsc"; // "ntsc" or "pal"
    std::string qscaleText = "1";           // the movie encoder's quantiser
    bool deinterlace = true;
};

struct [[nodiscard]] PreviewResult {
    ResultCode code = 0; // 0, or why nothing could be shown
    MediaKind kind = MediaKind::Unknown;
    double durationSeconds = 0;    // a movie's running time (0 for a picture or when unknown)
    double shownAtSeconds = 0;     // the start of the converted movie's picture that is shown
    std::uint32_t sourceWidth = 0; // the source as stored (before it is turned upright)
    std::uint32_t sourceHeight = 0;
};

class PreviewRenderer {
public:
    PreviewRenderer();
    virtual ~PreviewRenderer(); // removes the work folder
    PreviewRenderer(const PreviewRenderer&) = delete;
    PreviewRenderer& operator=(const PreviewRenderer&) = delete;

    // Renders source into picture (640 x 480). The kind is found from the content; a sound or an
    // unreadable file is refused (rc::Fail or the converter's code). For a movie, atSeconds is where to
    // look, kept within the movie and moved back to the start of the converted picture it falls in.
    PreviewResult Render(const std::filesystem::path& source, const PreviewSettings& settings,
                         double atSeconds, RgbImage& picture);

    // From another thread: the movie render in progress stops soon (its result is then a failure).
    void RequestStop();

    // The folder the converters write into (created with the renderer; empty when that failed).
    const std::filesystem::path& WorkFolder() const { return workFolder_; }

private:
    PreviewResult RenderPicture(const std::filesystem::path& source, const PreviewSettings& settings,
                                RgbImage& picture);
    PreviewResult RenderMovie(const std::filesystem::path& source, const PreviewSettings& settings,
                              double atSeconds, RgbImage& picture);

    std::filesystem::path workFolder_;
    StillImageConverter stillConverter_;
    CVideoConverter movieConverter_;
    std::atomic<bool> stopRequested_{false};
};

} // namespace k72
