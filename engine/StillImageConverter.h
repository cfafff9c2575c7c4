#pragma once
// Turns one picture file (JPEG, BMP, PNG, WebP, TIFF, GIF, HEIF/AVIF) into one device picture file: a
// 640 x 480 baseline JPEG carrying the fixed EXIF block and a 160 x 120 thumbnail. The picture is first
// turned upright as the camera recorded, then stretched, letterboxed or cropped into both frames.
// Frames, encoder, EXIF writer and output buffers are allocated once and reused from picture to picture.

#include "codecs/CAVFrame.h"
#include "codecs/CDibImage.h"
#include "codecs/CExifAuthor.h"
#include "codecs/CJPEGEncoder.h"
#include "codecs/ConversionProblem.h"
#include "codecs/FitGeometry.h"
#include "codecs/PictureDecoder.h"
#include "codecs/ResultCodes.h"

#include <cstdint>
#include <memory>
#include <string>

namespace k72 {

class StillImageConverter {
public:
    // Creates the frames, buffers, EXIF writer and encoder and opens the encoder; ConstructResult()
    // tells whether that worked (0, or rc::JpegEncoderInitFailed).
    StillImageConverter();
    virtual ~StillImageConverter();
    StillImageConverter(const StillImageConverter&) = delete;
    StillImageConverter& operator=(const StillImageConverter&) = delete;

    [[nodiscard]] ResultCode ConstructResult() const;

    // Converts one picture. Code 0 on success, else a negative result code with its cause in words:
    // rc::JpegDecodeFailed (cannot be read or decoded), rc::JpegUnsupportedLayout (a layout that cannot
    // be loaded, or a picture too large to decode), rc::Fail (transform or write failed),
    // rc::DiscSpaceInsufficient (the destination's disk is full),
    // rc::JpegEncodeFailed, rc::JpegImageObjectFailed. No output file is left behind on failure.
    // Paths are UTF-8.
    ConversionProblem Convert(const std::string& sourcePath, const std::string& destinationPath);

    // The main picture's quantiser compression, 0 ... 1 (default 0.5). The range is checked by the caller.
    void SetQuality(float quality);
    float Quality() const;

    // How a picture of another shape than 4:3 goes into the frames (default: stretched).
    void SetFit(FitMode mode) { fit_ = mode; }
    FitMode Fit() const { return fit_; }

    // The intermediate frames one target frame needs on its way from the source frame, each created on
    // first use and kept for the next picture.
    struct WorkFrames {
        std::unique_ptr<CAVFrame> pResizeFrame;
        std::unique_ptr<CAVFrame> pInvFrame;
        std::unique_ptr<CAVFrame> pBGR32Frame;
        std::unique_ptr<CAVFrame> pFitFrame;    // letterbox: the picture at its size inside the frame
        std::unique_ptr<CAVFrame> pCanvasFrame; // letterbox: the picture on black at the frame's size
    };
    // Brings the source frame into the target's format and size: resize (bilinear, stretched to the
    // whole target), flip for BGR sources, byte reversal for RGB32 sources, then the format conversion.
    [[nodiscard]] static bool TransformFrame(CAVFrame& target, const CAVFrame& source, WorkFrames& work);
    // TransformFrame with a fit: the source (RGB24) is cropped, or scaled into the middle of a black
    // frame, as the plan says, then transformed.
    [[nodiscard]] static bool FitFrame(CAVFrame& target, const CAVFrame& source, const FitPlan& plan,
                                       CAVFrame& cropped, WorkFrames& work);
    // Writes the RGB24 source into target turned upright for an EXIF orientation value (1 ... 8).
    [[nodiscard]] static bool OrientFrame(CAVFrame& target, const CAVFrame& source, int orientation);

    // Fills an RGB24 frame from a decoded bitmap of any depth the decoders yield (1, 4, 8, 16, 24, 32
    // bits, stored bottom-up or top-down); false for any other layout.
    [[nodiscard]] static bool LoadSourceFrame(CAVFrame& frame, const CDibImage& image);

    // How long the steps of the last Convert took, in milliseconds (for the benchmark): wall-clock time,
    // and the calling thread's processor time, which other work on a busy machine does not inflate.
    struct StageTimes {
        double decode = 0;
        double load = 0;
        double transform = 0;
        double encode = 0;
        double write = 0;
        double decodeCpu = 0;
        double loadCpu = 0;
        double transformCpu = 0;
        double encodeCpu = 0;
        double writeCpu = 0;
    };
    const StageTimes& LastStageTimes() const { return stageTimes_; }

private:
    ConversionProblem ConvertSteps(const std::string& sourcePath, const std::string& destinationPath);

    std::unique_ptr<CDibImage> image_; // the decoded picture, only during Convert
    CDibImage::Storage pixelStore_;    // its pixel memory between calls
    CAVFrame sourceFrame_;
    CAVFrame uprightFrame_; // the source turned upright, when it was stored turned
    CAVFrame croppedFrame_; // the part of the picture a crop keeps
    CAVFrame mainFrame_;
    CAVFrame thumbFrame_;
    WorkFrames mainWork_;
    WorkFrames thumbWork_;
    std::unique_ptr<std::uint8_t[]> mainJpeg_;
    std::int32_t mainJpegCapacity_ = 0;
    std::int32_t mainJpegLength_ = 0;
    std::unique_ptr<std::uint8_t[]> thumbJpeg_;
    std::int32_t thumbJpegCapacity_ = 0;
    std::int32_t thumbJpegLength_ = 0;
    CJPEGEncoder encoder_;
    CExifAuthor exifWriter_;
    float quality_ = 0.5f;
    FitMode fit_ = FitMode::Stretch;
    PictureDecoder decoder_;
    ResultCode constructResult_ = 0;
    StageTimes stageTimes_;
};

} // namespace k72
