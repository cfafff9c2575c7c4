#include "codecs/FitGeometry.h"

#include <algorithm>
#include <cmath>

namespace k72 {
namespace {

// Rounded to the nearest even number, at least 2 and at most limit (itself even, or limit - 1).
std::uint32_t EvenWithin(double value, std::uint32_t limit) {
    const std::uint32_t top = std::max<std::uint32_t>(2, limit - (limit % 2));
    const double even = 2.0 * std::round(value / 2.0);
    if (!(even >= 2.0)) {
        return std::min<std::uint32_t>(2, top);
    }
    return std::min(top, static_cast<std::uint32_t>(even));
}

std::uint32_t EvenHalf(std::uint32_t space) {
    return (space / 2) & ~1u;
}

} // namespace

const char* FitWord(FitMode mode) {
    switch (mode) {
    case FitMode::Letterbox:
        return "letterbox";
    case FitMode::Crop:
        return "crop";
    case FitMode::Auto:
        return "auto";
    case FitMode::Stretch:
        break;
    }
    return "stretch";
}

std::optional<FitMode> ParseFitWord(std::string_view word) {
    std::string lower(word);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    for (FitMode mode : {FitMode::Stretch, FitMode::Letterbox, FitMode::Crop, FitMode::Auto}) {
        if (lower == FitWord(mode)) {
            return mode;
        }
    }
    return std::nullopt;
}

FitMode ResolveFit(FitMode mode, std::uint32_t sourceWidth, std::uint32_t sourceHeight, int sampleAspectNum,
                   int sampleAspectDen, std::uint32_t targetWidth, std::uint32_t targetHeight) {
    if (mode != FitMode::Auto) {
        return mode;
    }
    if (sourceWidth == 0 || sourceHeight == 0 || targetWidth == 0 || targetHeight == 0) {
        return FitMode::Stretch;
    }
    const bool knownAspect = sampleAspectNum > 0 && sampleAspectDen > 0;
    // shape / targetShape = (w * sarNum * th) / (h * sarDen * tw), compared with 0.9 and 1.1 in whole
    // numbers, so that a shape right on the boundary (6:5, 22:15 against 4:3) is not lost to rounding.
    // The products stay below 2^64, which a long double holds exactly.
    const long double across =
        static_cast<long double>(sourceWidth) * (knownAspect ? sampleAspectNum : 1) * targetHeight;
    const long double down =
        static_cast<long double>(sourceHeight) * (knownAspect ? sampleAspectDen : 1) * targetWidth;
    return 10 * across >= 9 * down && 10 * across <= 11 * down ? FitMode::Stretch : FitMode::Letterbox;
}

FitPlan PlanFit(FitMode mode, std::uint32_t sourceWidth, std::uint32_t sourceHeight, int sampleAspectNum,
                int sampleAspectDen, std::uint32_t targetWidth, std::uint32_t targetHeight) {
    mode = ResolveFit(mode, sourceWidth, sourceHeight, sampleAspectNum, sampleAspectDen, targetWidth,
                      targetHeight);
    FitPlan plan;
    plan.cropWidth = sourceWidth;
    plan.cropHeight = sourceHeight;
    plan.scaledWidth = targetWidth;
    plan.scaledHeight = targetHeight;
    if (mode == FitMode::Stretch || sourceWidth == 0 || sourceHeight == 0 || targetWidth == 0 ||
        targetHeight == 0) {
        return plan;
    }
    const double pixelAspect = sampleAspectNum > 0 && sampleAspectDen > 0
                                   ? static_cast<double>(sampleAspectNum) / sampleAspectDen
                                   : 1.0;
    const double sourceShape = pixelAspect * sourceWidth / sourceHeight;
    const double targetShape = static_cast<double>(targetWidth) / targetHeight;
    // Shapes within half a pixel of the target's are the target's: nothing to cut or to pad.
    const double tolerance = 0.5 / std::min(targetWidth, targetHeight);
    if (std::abs(sourceShape / targetShape - 1.0) <= tolerance) {
        return plan;
    }
    if (mode == FitMode::Letterbox) {
        if (sourceShape > targetShape) { // wider: bars above and below
            plan.scaledHeight = EvenWithin(targetWidth / sourceShape, targetHeight);
            plan.offsetY = EvenHalf(targetHeight - plan.scaledHeight);
        } else { // taller: bars left and right
            plan.scaledWidth = EvenWithin(targetHeight * sourceShape, targetWidth);
            plan.offsetX = EvenHalf(targetWidth - plan.scaledWidth);
        }
        return plan;
    }
    if (sourceShape > targetShape) { // wider: the sides are cut
        plan.cropWidth = EvenWithin(sourceHeight * targetShape / pixelAspect, sourceWidth);
        plan.cropX = EvenHalf(sourceWidth - plan.cropWidth);
    } else { // taller: top and bottom are cut
        plan.cropHeight = EvenWithin(sourceWidth * pixelAspect / targetShape, sourceHeight);
        plan.cropY = EvenHalf(sourceHeight - plan.cropHeight);
    }
    return plan;
}

OrientationSteps StepsForOrientation(int orientation) {
    switch (orientation) {
    case 2:
        return {false, true, false};
    case 3:
        return {false, true, true};
    case 4:
        return {false, false, true};
    case 5:
        return {true, false, false};
    case 6: // stored turned 90 degrees anticlockwise: turn clockwise
        return {true, true, false};
    case 7:
        return {true, true, true};
    case 8:
        return {true, false, true};
    default:
        return {};
    }
}

} // namespace k72
