#pragma once
// How a picture of any shape goes into the device's fixed frame: stretched to the whole frame (what
// the device's own tool always did), letterboxed (the whole picture, scaled to keep its shape, on
// black) or cropped (the frame filled, keeping the shape, the centre cut out); "auto" stretches a
// picture close to the frame's shape and letterboxes any other. Shapes are display
// shapes: a source with non-square pixels (anamorphic DV, MPEG-2) is measured by its sample aspect
// ratio. Also the eight orientations a camera records, and what each asks of the stored pixels.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace k72 {

enum class FitMode { Stretch = 0, Letterbox = 1, Crop = 2, Auto = 3 };

// "stretch", "letterbox", "crop", "auto".
const char* FitWord(FitMode mode);
// The mode a word names (letter case ignored), or nothing for any other word.
std::optional<FitMode> ParseFitWord(std::string_view word);

// What to take from the source and where it goes in the target, in whole pixels. Stretch takes the
// whole source into the whole target. Every value is even, so 4:2:0 and 4:2:2 chroma stay aligned.
struct FitPlan {
    std::uint32_t cropX = 0; // the part of the source that is used
    std::uint32_t cropY = 0;
    std::uint32_t cropWidth = 0;
    std::uint32_t cropHeight = 0;
    std::uint32_t scaledWidth = 0; // its size and place in the target; the rest of the target is black
    std::uint32_t scaledHeight = 0;
    std::uint32_t offsetX = 0;
    std::uint32_t offsetY = 0;

    bool CropsSource(std::uint32_t sourceWidth, std::uint32_t sourceHeight) const {
        return cropX != 0 || cropY != 0 || cropWidth != sourceWidth || cropHeight != sourceHeight;
    }
    bool FillsTarget(std::uint32_t targetWidth, std::uint32_t targetHeight) const {
        return scaledWidth == targetWidth && scaledHeight == targetHeight;
    }
};

// What "auto" comes to for a source: stretch when its display shape is within 10 % of the target's
// (a 5:4 or 3:2 picture stretched looks right; a phone's 16:9 or an upright picture does not),
// letterbox otherwise. Any other mode is returned as it is.
FitMode ResolveFit(FitMode mode, std::uint32_t sourceWidth, std::uint32_t sourceHeight, int sampleAspectNum,
                   int sampleAspectDen, std::uint32_t targetWidth, std::uint32_t targetHeight);

// sampleAspect* is the width of one source pixel relative to its height (1:1 when unknown or not
// positive). Sizes must be positive. "auto" is resolved first.
FitPlan PlanFit(FitMode mode, std::uint32_t sourceWidth, std::uint32_t sourceHeight, int sampleAspectNum,
                int sampleAspectDen, std::uint32_t targetWidth, std::uint32_t targetHeight);

// The EXIF orientation values 1 ... 8: how the stored rows must be turned to stand upright.
// Values outside 1 ... 8 mean 1 (already upright).
struct OrientationSteps {
    bool transpose = false; // swap rows and columns first (values 5 ... 8)
    bool flipHorizontal = false;
    bool flipVertical = false;
};
OrientationSteps StepsForOrientation(int orientation);

} // namespace k72
