#include "store/PreviewSettingsOf.h"

namespace k72 {

PreviewSettings PreviewSettingsOf(const Settings& settings) {
    PreviewSettings preview;
    preview.fit = settings.fit;
    preview.stillQuality = settings.StillImageQuality();
    preview.frameRateStandard = settings.FrameRateWord();
    preview.qscaleText = settings.MovieQualityScale();
    preview.deinterlace = settings.DeinterlaceFlag() != 0;
    return preview;
}

} // namespace k72
