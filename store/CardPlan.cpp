#include "store/CardPlan.h"

namespace k72 {

Settings PlanSettings::Over(Settings base) const {
    base.fps = fps.value_or(base.fps);
    base.quality = quality.value_or(base.quality);
    if (deinterlace) {
        base.deinterlace = *deinterlace ? 1 : 0;
    }
    base.fit = fit.value_or(base.fit);
    return base;
}

PlanSettings PlanSettings::Of(const Settings& settings) {
    return PlanSettings{settings.fps == 1 ? 1 : 0, settings.QualitySliderPosition(),
                        settings.deinterlace != 0, settings.fit};
}

} // namespace k72
