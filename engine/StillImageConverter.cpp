#include "engine/StillImageConverter.h"

#include "base/DeviceFormat.h"
#include "base/DiagnosticLog.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <new>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "still converter";

constexpr std::uint32_t kMainWidth = device::kPictureWidth;
constexpr std::uint32_t kMainHeight = device::kPictureHeight;
constexpr std::uint32_t kThumbWidth = device::kThumbnailWidth;
constexpr std::uint32_t kThumbHeight = device::kThumbnailHeight;

struct TransformFailure {
    const char* reason;
};

// (Re)creates a work frame when it is missing or not of the needed shape; after the first picture the
// shape never changes, so nothing is allocated again.
CAVFrame& WorkFrame(std::unique_ptr<CAVFrame>& frame, PixelFormat format, std::uint32_t width,
                    std::uint32_t height, const char* failure) {
    if (!frame) {
        frame = std::make_unique<CAVFrame>();
    }
    if (!frame->HasBuffer() || frame->GetFormat() != format || frame->GetWidth() != width ||
        frame->GetHeight() != height) {
        if (!frame->Create(format, width, height)) {
            throw TransformFailure{failure};
        }
    }
    return *frame;
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Wall-clock and processor time since the last lap.
class Stopwatch {
public:
    void Lap(double& wall, double& cpu) {
        const auto now = std::chrono::steady_clock::now();
        const double cpuNow = ThreadCpuMs();
        wall = std::chrono::duration<double, std::milli>(now - last_).count();
        cpu = cpuNow - lastCpu_;
        last_ = now;
        lastCpu_ = cpuNow;
    }

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
    double lastCpu_ = ThreadCpuMs();
};

unsigned MaskShift(std::uint32_t mask) {
    unsigned shift = 0;
    while (mask != 0 && (mask & 1u) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

} // namespace

StillImageConverter::StillImageConverter() {
    try {
        mainFrame_.Create(PixelFormat::YUVJ422P, kMainWidth, kMainHeight);
        thumbFrame_.Create(PixelFormat::YUVJ422P, kThumbWidth, kThumbHeight);
        // Sized to the uncompressed frames. A stream that would not fit (pure noise at the finest
        // quantiser can) fails the encode instead of running past the buffer.
        mainJpegCapacity_ = static_cast<std::int32_t>(mainFrame_.GetSize());
        thumbJpegCapacity_ = static_cast<std::int32_t>(thumbFrame_.GetSize());
        if (mainJpegCapacity_ > 0) {
            mainJpeg_ = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(mainJpegCapacity_));
        }
        if (thumbJpegCapacity_ > 0) {
            thumbJpeg_ = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(thumbJpegCapacity_));
        }
        decoder_.SetMinimumSize(kMainWidth, kMainHeight);
        if (Failed(encoder_.Open())) {
            constructResult_ = rc::JpegEncoderInitFailed;
        }
    } catch (const std::exception& error) {
        LogLine(kLogModule, error.what());
        constructResult_ = rc::JpegEncoderInitFailed;
    }
}

StillImageConverter::~StillImageConverter() = default;

ResultCode StillImageConverter::ConstructResult() const {
    return constructResult_;
}

void StillImageConverter::SetQuality(float newQuality) {
    quality_ = newQuality;
}

float StillImageConverter::Quality() const {
    return quality_;
}

bool StillImageConverter::TransformFrame(CAVFrame& target, const CAVFrame& source, WorkFrames& work) {
    try {
        if (!target.HasBuffer() || !source.HasBuffer()) {
            throw TransformFailure{"a picture buffer is empty"};
        }
        if (target.IsSameFrame(source)) {
            std::memcpy(target.GetBuffer(), source.GetBuffer(), target.GetSize());
            return true;
        }
        const PixelFormat sourceFormat = source.GetFormat();
        const PixelFormat targetFormat = target.GetFormat();
        const std::uint32_t width = target.GetWidth();
        const std::uint32_t height = target.GetHeight();
        const CAVFrame* current = &source;

        if (!source.IsSameSize(target)) {
            CAVFrame* resized = &target;
            if (sourceFormat != targetFormat) {
                resized = &WorkFrame(work.pResizeFrame, sourceFormat, width, height,
                                     "cannot make the frame for the resized picture");
            }
            if (!current->Resize(*resized)) {
                throw TransformFailure{"cannot resize the picture"};
            }
            current = resized;
        }

        const auto isBgr = [](PixelFormat f) { return f == PixelFormat::BGR24 || f == PixelFormat::BGR32; };
        if (isBgr(sourceFormat) && !isBgr(targetFormat)) {
            CAVFrame& flipped = WorkFrame(work.pInvFrame, sourceFormat, width, height,
                                          "cannot make the frame for the turned picture");
            if (!flipped.Inverse(*current)) {
                throw TransformFailure{"cannot turn the picture's rows the other way up"};
            }
            current = &flipped;
        }

        if (sourceFormat == PixelFormat::RGB32 && targetFormat != PixelFormat::RGB32) {
            CAVFrame& reversed = WorkFrame(work.pBGR32Frame, PixelFormat::BGR32, width, height,
                                           "cannot make the frame for the reordered channels");
            CAVFrame& into = targetFormat == PixelFormat::BGR32 ? target : reversed;
            if (!CAVFrame::Reverse4Col(*current, into)) {
                throw TransformFailure{"cannot reorder the colour channels"};
            }
            current = &into;
        }

        if (current->GetFormat() == targetFormat) {
            if (current != &target) {
                throw TransformFailure{"the picture reached the target pixel format in a work frame instead "
                                       "of the target frame"};
            }
            return true;
        }
        if (!target.Format(*current)) {
            throw TransformFailure{"cannot convert the picture to the target pixel format"};
        }
        return true;
    } catch (const TransformFailure& failure) {
        LogLine(kLogModule, std::string("transform: ") + failure.reason);
    } catch (const std::exception& error) {
        LogLine(kLogModule, std::string("transform: ") + error.what());
    }
    return false;
}

bool StillImageConverter::OrientFrame(CAVFrame& target, const CAVFrame& source, int orientation) {
    if (!source.HasBuffer() || source.GetFormat() != PixelFormat::RGB24) {
        return false;
    }
    const OrientationSteps steps = StepsForOrientation(orientation);
    const std::uint32_t sourceWidth = source.GetWidth();
    const std::uint32_t sourceHeight = source.GetHeight();
    const std::uint32_t width = steps.transpose ? sourceHeight : sourceWidth;
    const std::uint32_t height = steps.transpose ? sourceWidth : sourceHeight;
    if (!target.Create(PixelFormat::RGB24, width, height)) {
        return false;
    }
    const std::uint8_t* in = source.GetBuffer();
    std::uint8_t* out = target.GetBuffer();
    const std::size_t sourceRow = static_cast<std::size_t>(sourceWidth) * 3;
    // For each upright pixel (x, y), the stored pixel it comes from: flips act on the upright picture,
    // after the transposition.
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t uy = steps.flipVertical ? height - 1 - y : y;
        for (std::uint32_t x = 0; x < width; ++x, out += 3) {
            const std::uint32_t ux = steps.flipHorizontal ? width - 1 - x : x;
            const std::uint32_t sx = steps.transpose ? uy : ux;
            const std::uint32_t sy = steps.transpose ? ux : uy;
            const std::uint8_t* pixel = in + sy * sourceRow + static_cast<std::size_t>(sx) * 3;
            out[0] = pixel[0];
            out[1] = pixel[1];
            out[2] = pixel[2];
        }
    }
    return true;
}

bool StillImageConverter::FitFrame(CAVFrame& target, const CAVFrame& source, const FitPlan& plan,
                                   CAVFrame& cropped, WorkFrames& work) {
    try {
        const CAVFrame* current = &source;
        if (plan.CropsSource(source.GetWidth(), source.GetHeight())) {
            if (source.GetFormat() != PixelFormat::RGB24 || plan.cropX + plan.cropWidth > source.GetWidth() ||
                plan.cropY + plan.cropHeight > source.GetHeight()) {
                throw TransformFailure{"crop outside the picture"};
            }
            // Both frames take the same part of the picture; it is cut out once.
            if (!(cropped.HasBuffer() && cropped.GetWidth() == plan.cropWidth &&
                  cropped.GetHeight() == plan.cropHeight)) {
                if (!cropped.Create(PixelFormat::RGB24, plan.cropWidth, plan.cropHeight)) {
                    throw TransformFailure{"cannot make the frame for the cropped picture"};
                }
                const std::size_t row = static_cast<std::size_t>(plan.cropWidth) * 3;
                const std::size_t sourceRow = static_cast<std::size_t>(source.GetWidth()) * 3;
                for (std::uint32_t y = 0; y < plan.cropHeight; ++y) {
                    std::memcpy(
                        cropped.GetBuffer() + y * row,
                        source.GetBuffer() + (plan.cropY + y) * sourceRow + std::size_t{plan.cropX} * 3, row);
                }
            }
            current = &cropped;
        }
        if (!plan.FillsTarget(target.GetWidth(), target.GetHeight())) {
            if (current->GetFormat() != PixelFormat::RGB24) {
                throw TransformFailure{"letterbox needs an RGB24 picture"};
            }
            CAVFrame& inner = WorkFrame(work.pFitFrame, PixelFormat::RGB24, plan.scaledWidth,
                                        plan.scaledHeight, "cannot make the frame for the fitted picture");
            if (!current->Resize(inner)) {
                throw TransformFailure{"cannot resize the picture"};
            }
            CAVFrame& canvas =
                WorkFrame(work.pCanvasFrame, PixelFormat::RGB24, target.GetWidth(), target.GetHeight(),
                          "cannot make the frame for the letterbox canvas");
            std::memset(canvas.GetBuffer(), 0, canvas.GetSize());
            const std::size_t row = static_cast<std::size_t>(plan.scaledWidth) * 3;
            const std::size_t canvasRow = static_cast<std::size_t>(target.GetWidth()) * 3;
            for (std::uint32_t y = 0; y < plan.scaledHeight; ++y) {
                std::memcpy(canvas.GetBuffer() + (plan.offsetY + y) * canvasRow +
                                std::size_t{plan.offsetX} * 3,
                            inner.GetBuffer() + y * row, row);
            }
            current = &canvas;
        }
        return TransformFrame(target, *current, work);
    } catch (const TransformFailure& failure) {
        LogLine(kLogModule, std::string("fit: ") + failure.reason);
    } catch (const std::exception& error) {
        LogLine(kLogModule, std::string("fit: ") + error.what());
    }
    return false;
}

bool StillImageConverter::LoadSourceFrame(CAVFrame& frame, const CDibImage& picture) {
    const std::uint32_t width = picture.Width();
    const std::uint32_t height = picture.Height();
    const std::uint8_t* top = picture.TopRow();
    const std::ptrdiff_t pitch = picture.Pitch();
    if (top == nullptr || width == 0 || height == 0) {
        return false;
    }
    // Bitmaps stored top-down (positive pitch) are as valid as bottom-up ones; the loaders are told
    // where the bottom row lies and how to step upwards from it.
    const std::uint8_t* bottom = top + static_cast<std::ptrdiff_t>(height - 1) * pitch;
    const int bits = picture.BitsPerPixel();
    if (bits == 24) {
        return frame.LoadBitmap24(width, height, bottom, -pitch);
    }
    if (bits == 32) {
        return frame.LoadBitmap32(width, height, bottom, -pitch);
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16) {
        LogLine(kLogModule, "unsupported bitmap depth");
        return false;
    }
    if (!(frame.HasBuffer() && frame.GetFormat() == PixelFormat::RGB24 && frame.GetWidth() == width &&
          frame.GetHeight() == height)) {
        if (!frame.Create(PixelFormat::RGB24, width, height)) {
            return false;
        }
    }
    std::uint8_t* out = frame.GetBuffer();
    if (bits == 16) {
        const unsigned shifts[3] = {MaskShift(picture.redMask), MaskShift(picture.greenMask),
                                    MaskShift(picture.blueMask)};
        const std::uint32_t masks[3] = {picture.redMask, picture.greenMask, picture.blueMask};
        std::uint32_t maxima[3] = {};
        for (int c = 0; c < 3; ++c) {
            maxima[c] = masks[c] >> shifts[c];
        }
        for (std::uint32_t y = 0; y < height; ++y) {
            const std::uint8_t* row = top + static_cast<std::ptrdiff_t>(y) * pitch;
            for (std::uint32_t x = 0; x < width; ++x, row += 2, out += 3) {
                const std::uint32_t word = static_cast<std::uint32_t>(row[0] | (row[1] << 8));
                for (int c = 0; c < 3; ++c) {
                    const std::uint32_t value = (word & masks[c]) >> shifts[c];
                    out[c] = static_cast<std::uint8_t>(
                        maxima[c] == 0 ? 0 : (value * 255 + maxima[c] / 2) / maxima[c]);
                }
            }
        }
        return true;
    }
    // Palette pictures: the indices of a row are read from its first byte, most significant bits first;
    // every row starts at a fresh byte. The picture's own palette gives the colours, 1-bit pictures
    // included (a black-on-white drawing must not come out as its negative).
    const unsigned depth = static_cast<unsigned>(bits);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* byte = top + static_cast<std::ptrdiff_t>(y) * pitch;
        unsigned bitOffset = 0;
        for (std::uint32_t x = 0; x < width; ++x, out += 3) {
            const unsigned index = ((static_cast<unsigned>(*byte) << bitOffset) & 0xFFu) >> (8 - depth);
            const CDibImage::PaletteEntry& colour = picture.palette[index];
            out[0] = colour.red;
            out[1] = colour.green;
            out[2] = colour.blue;
            bitOffset += depth;
            if (bitOffset == 8) {
                bitOffset = 0;
                ++byte;
            }
        }
    }
    return true;
}

ConversionProblem StillImageConverter::Convert(const std::string& sourcePath,
                                               const std::string& destinationPath) {
    stageTimes_ = StageTimes{};
    ConversionProblem result;
    try {
        result = ConvertSteps(sourcePath, destinationPath);
    } catch (const std::bad_alloc&) {
        result = {rc::Fail, "there is not enough memory to convert the picture"};
    } catch (const std::exception& error) {
        LogLine(kLogModule, error.what());
        result = {rc::Fail, ""};
    }
    if (image_) { // the decoded picture lives only for the call; its memory serves the next one
        pixelStore_ = image_->TakeStorage();
        image_.reset();
    }
    return result;
}

ConversionProblem StillImageConverter::ConvertSteps(const std::string& sourcePath,
                                                    const std::string& destinationPath) {
    Stopwatch watch;
    try {
        image_ = std::make_unique<CDibImage>();
    } catch (const std::bad_alloc&) {
        return {rc::JpegImageObjectFailed, "there is not enough memory to convert the picture"};
    }
    image_->AdoptStorage(std::move(pixelStore_));

    ConversionProblem decoded = decoder_.Decode(std::filesystem::path(sourcePath), *image_);
    watch.Lap(stageTimes_.decode, stageTimes_.decodeCpu);
    if (decoded.Failed()) {
        LogLine(kLogModule, sourcePath + ": " + decoded.cause);
        return decoded;
    }

    const bool loaded = LoadSourceFrame(sourceFrame_, *image_);
    watch.Lap(stageTimes_.load, stageTimes_.loadCpu);
    if (!loaded) {
        return {rc::JpegUnsupportedLayout, "the picture's pixel layout (" +
                                               std::to_string(image_->BitsPerPixel()) +
                                               " bits per pixel) cannot be converted"};
    }

    const CAVFrame* upright = &sourceFrame_;
    if (decoder_.Orientation() != 1) {
        if (!OrientFrame(uprightFrame_, sourceFrame_, decoder_.Orientation())) {
            watch.Lap(stageTimes_.transform, stageTimes_.transformCpu);
            return {rc::Fail, "the picture cannot be turned upright"};
        }
        upright = &uprightFrame_;
    }
    bool transformed;
    if (fit_ == FitMode::Stretch) {
        transformed = TransformFrame(mainFrame_, *upright, mainWork_) &&
                      TransformFrame(thumbFrame_, *upright, thumbWork_);
    } else {
        // The thumbnail shows what the main picture shows: the same part, the same bars.
        const FitPlan mainPlan =
            PlanFit(fit_, upright->GetWidth(), upright->GetHeight(), 1, 1, kMainWidth, kMainHeight);
        FitPlan thumbPlan = mainPlan;
        if (!mainPlan.FillsTarget(kMainWidth, kMainHeight)) {
            thumbPlan =
                PlanFit(fit_, upright->GetWidth(), upright->GetHeight(), 1, 1, kThumbWidth, kThumbHeight);
        } else {
            thumbPlan.scaledWidth = kThumbWidth;
            thumbPlan.scaledHeight = kThumbHeight;
        }
        croppedFrame_.Release();
        transformed = FitFrame(mainFrame_, *upright, mainPlan, croppedFrame_, mainWork_) &&
                      FitFrame(thumbFrame_, *upright, thumbPlan, croppedFrame_, thumbWork_);
    }
    watch.Lap(stageTimes_.transform, stageTimes_.transformCpu);
    if (!transformed) {
        return {rc::Fail, "the picture cannot be scaled to the device's size"};
    }

    mainJpegLength_ = mainJpegCapacity_;
    thumbJpegLength_ = thumbJpegCapacity_;
    const ResultCode encoded = encoder_.Encode(mainFrame_, thumbFrame_, mainJpeg_.get(), mainJpegLength_,
                                               thumbJpeg_.get(), thumbJpegLength_, quality_);
    watch.Lap(stageTimes_.encode, stageTimes_.encodeCpu);
    if (Failed(encoded)) {
        return {rc::JpegEncodeFailed, "the JPEG encoder failed"};
    }

    if (!mainJpeg_ || !thumbJpeg_) {
        return {rc::Fail, "the JPEG encoder failed"};
    }
    exifWriter_.SetImages(mainJpeg_.get(), mainJpegLength_, thumbJpeg_.get(), thumbJpegLength_);
    const ResultCode written = exifWriter_.Write(destinationPath);
    watch.Lap(stageTimes_.write, stageTimes_.writeCpu);
    if (written == rc::DiscSpaceInsufficient) {
        // The temporary disk is full: the picture itself was fine, and the program's own message for
        // a full disk says all there is to say.
        return {written, ""};
    }
    if (Failed(written)) {
        return {rc::Fail, "the converted picture cannot be written"};
    }
    return {};
}

} // namespace k72
