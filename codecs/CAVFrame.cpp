#include "codecs/CAVFrame.h"

#include "base/DiagnosticLog.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <string>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture buffer";

// A failing step inside an operation raises its reason; the operation turns it into false.
struct FrameFailure {
    const char* reason;
};

constexpr const char* kNoSupportedPixFmt = "no conversion between these pixel formats";
constexpr const char* kNoScaler = "the media library's scaler cannot be made for these frames";
constexpr const char* kColourDetails = "the scaler's colour details cannot be read or set";
constexpr const char* kScaleFailed = "the media library's scaler failed";
constexpr const char* kPlaneLayout = "cannot lay out the planes";
constexpr const char* kFramesDoNotMatch = "the frames differ in size or pixel format";

// The scaler's vector code reads and writes whole vector widths, past the end of a row. Every block
// the scaler touches gets this much spare room at its end, and rows it writes are this long or padded
// to a multiple of it.
constexpr std::size_t kSpare = 64;

std::size_t PaddedStride(std::size_t bytes) {
    return (bytes + kSpare - 1) / kSpare * kSpare;
}

// Grows a scratch block to at least bytes (plus the spare room); keeps it otherwise.
template <typename Owner> std::uint8_t* Reserve(Owner& block, std::size_t& capacity, std::size_t bytes) {
    if (capacity < bytes || !block) {
        block.reset();
        capacity = 0;
        block.reset(static_cast<std::uint8_t*>(av_malloc(bytes + kSpare)));
        if (!block) {
            throw FrameFailure{"out of memory for the pixels"};
        }
        capacity = bytes;
    }
    return block.get();
}

template <typename Body> bool Guarded(const char* operation, Body&& body) {
    std::string reason;
    try {
        body();
        return true;
    } catch (const FrameFailure& failure) {
        reason = failure.reason;
    } catch (const std::exception& error) {
        reason = error.what();
    }
    LogLine(kLogModule, std::string(operation) + ": " + reason);
    return false;
}

} // namespace

CAVFrame::CAVFrame() = default;

CAVFrame::~CAVFrame() = default;

bool CAVFrame::Create(PixelFormat newFormat, std::uint32_t newWidth, std::uint32_t newHeight) {
    size_ = 0;
    format_ = newFormat;
    width_ = newWidth;
    height_ = newHeight;
    const bool created = Guarded("Create", [&] {
        if (planes_) {
            av_frame_unref(planes_.get());
        } else {
            planes_.reset(av_frame_alloc());
            if (!planes_) {
                throw FrameFailure{"out of memory for the plane table"};
            }
        }
        const AVPixelFormat avFormat = ToAVPixelFormat(newFormat);
        if (avFormat == AV_PIX_FMT_NONE) {
            throw FrameFailure{kNoSupportedPixFmt};
        }
        if (newWidth == 0 || newHeight == 0 || newWidth > INT_MAX || newHeight > INT_MAX) {
            throw FrameFailure{"the size is zero or too large"};
        }
        const int w = static_cast<int>(newWidth);
        const int h = static_cast<int>(newHeight);
        const int bytes = av_image_get_buffer_size(avFormat, w, h, 1);
        if (bytes <= 0) {
            throw FrameFailure{"the size is zero or too large"};
        }
        // A block that is already large enough is kept: fresh memory costs a page fault per 4 KiB on
        // first touch, more than converting a small picture.
        if (!buffer_ || capacity_ < static_cast<std::size_t>(bytes)) {
            buffer_.reset();
            capacity_ = 0;
            buffer_.reset(static_cast<std::uint8_t*>(av_malloc(static_cast<std::size_t>(bytes) + kSpare)));
            if (!buffer_) {
                throw FrameFailure{"out of memory for the pixels"};
            }
            capacity_ = static_cast<std::size_t>(bytes);
        }
        if (av_image_fill_arrays(planes_->data, planes_->linesize, buffer_.get(), avFormat, w, h, 1) < 0) {
            throw FrameFailure{"cannot lay out the planes"};
        }
        planes_->format = avFormat;
        planes_->width = w;
        planes_->height = h;
        size_ = static_cast<std::uint32_t>(bytes);
    });
    if (!created) {
        planes_.reset();
        buffer_.reset();
        capacity_ = 0;
        size_ = 0;
    }
    return created;
}

void CAVFrame::Release() {
    planes_.reset();
    buffer_.reset();
    capacity_ = 0;
    size_ = 0;
    width_ = 0;
    height_ = 0;
    format_ = PixelFormat::None;
}

void CAVFrame::Scale(const CAVFrame& source, int flags) {
    // The JPEG encoder wants full-range 4:2:2; the library's own name for that layout is deprecated in
    // the scaler, so the scaler is told "YUV422P, full range" instead.
    const bool fullRangeTarget = format_ == PixelFormat::YUVJ422P;
    const AVPixelFormat targetFormat = fullRangeTarget ? AV_PIX_FMT_YUV422P : ToAVPixelFormat(format_);
    SwsContext* context = sws_getCachedContext(
        scaler_.release(), static_cast<int>(source.width_), static_cast<int>(source.height_),
        ToAVPixelFormat(source.format_), static_cast<int>(width_), static_cast<int>(height_), targetFormat,
        flags, nullptr, nullptr, nullptr);
    scaler_.reset(context);
    if (context == nullptr) {
        throw FrameFailure{kNoScaler};
    }
    if (fullRangeTarget) {
        // Asked every time: a scaler made anew may sit at the old one's address.
        int* inverseTable = nullptr;
        int* table = nullptr;
        int sourceRange = 0;
        int targetRange = 0;
        int brightness = 0;
        int contrast = 0;
        int saturation = 0;
        if (sws_getColorspaceDetails(context, &inverseTable, &sourceRange, &table, &targetRange, &brightness,
                                     &contrast, &saturation) < 0) {
            throw FrameFailure{kColourDetails};
        }
        if (targetRange != 1) {
            sws_setColorspaceDetails(context, inverseTable, sourceRange, sws_getCoefficients(SWS_CS_ITU601),
                                     1, brightness, contrast, saturation);
        }
    }
    ScaleInto(context, source.planes_->data, source.planes_->linesize, static_cast<int>(source.height_),
              targetFormat);
}

void CAVFrame::ScaleInto(SwsContext* context, const std::uint8_t* const sourceData[],
                         const int sourceStrides[], int sourceHeight, AVPixelFormat targetFormat) {
    bool aligned = true;
    for (int plane = 0; plane < 4 && planes_->data[plane] != nullptr; ++plane) {
        aligned = aligned && planes_->linesize[plane] % static_cast<int>(kSpare) == 0;
    }
    if (aligned) {
        if (sws_scale(context, sourceData, sourceStrides, 0, sourceHeight, planes_->data,
                      planes_->linesize) <= 0) {
            throw FrameFailure{kScaleFailed};
        }
        return;
    }
    // Rows of other lengths are written into padded rows first and copied from there.
    if (!planeScaler_) {
        planeScaler_ = std::make_unique<PlaneScaler>();
    }
    int strides[4] = {};
    if (av_image_fill_linesizes(strides, targetFormat, static_cast<int>(width_)) < 0) {
        throw FrameFailure{kPlaneLayout};
    }
    for (int& stride : strides) {
        stride = static_cast<int>(PaddedStride(static_cast<std::size_t>(stride)));
    }
    std::uint8_t* data[4] = {};
    const int bytes = av_image_fill_pointers(data, targetFormat, static_cast<int>(height_), nullptr, strides);
    if (bytes <= 0) {
        throw FrameFailure{kPlaneLayout};
    }
    std::uint8_t* block =
        Reserve(planeScaler_->paddedOutput, planeScaler_->paddedCapacity, static_cast<std::size_t>(bytes));
    av_image_fill_pointers(data, targetFormat, static_cast<int>(height_), block, strides);
    if (sws_scale(context, sourceData, sourceStrides, 0, sourceHeight, data, strides) <= 0) {
        throw FrameFailure{kScaleFailed};
    }
    const std::uint8_t* copyFrom[4] = {data[0], data[1], data[2], data[3]};
    av_image_copy(planes_->data, planes_->linesize, copyFrom, strides, targetFormat, static_cast<int>(width_),
                  static_cast<int>(height_));
}

// The scaler reads packed RGB pixels through a general path (into its internal YUV with subsampled
// chroma and back) that shifts colours and is several times slower than its planar one. So the pixels
// are split into three planes, each plane is scaled on its own as a grey picture, and the planes are
// packed again: the same bilinear filter, exact colours, and about a third of the time. 3-byte pixels
// are split and packed by the scaler's own converters; 4-byte ones by a loop that leaves the fourth
// byte of the destination as it was.
void CAVFrame::ScaleByPlanes(const CAVFrame& source) {
    if (!planeScaler_) {
        planeScaler_ = std::make_unique<PlaneScaler>();
    }
    PlaneScaler& cache = *planeScaler_;
    const int sw = static_cast<int>(source.width_);
    const int sh = static_cast<int>(source.height_);
    const int tw = static_cast<int>(width_);
    const int th = static_cast<int>(height_);
    const AVPixelFormat packed = ToAVPixelFormat(format_);
    const std::size_t sourceStride = PaddedStride(static_cast<std::size_t>(sw));
    const std::size_t targetStride = PaddedStride(static_cast<std::size_t>(tw));
    const std::size_t sourcePlane = sourceStride * static_cast<std::size_t>(sh);
    const std::size_t targetPlane = targetStride * static_cast<std::size_t>(th);
    std::uint8_t* from = Reserve(cache.sourcePlanes, cache.sourceCapacity, sourcePlane * 3);
    std::uint8_t* to = Reserve(cache.targetPlanes, cache.targetCapacity, targetPlane * 3);

    const auto cached = [](libav::ScalerPtr& slot, int w1, int h1, AVPixelFormat f1, int w2, int h2,
                           AVPixelFormat f2, int flags) {
        SwsContext* context =
            sws_getCachedContext(slot.release(), w1, h1, f1, w2, h2, f2, flags, nullptr, nullptr, nullptr);
        slot.reset(context);
        if (context == nullptr) {
            throw FrameFailure{kNoScaler};
        }
        return context;
    };
    const int pixelBytes = PackedPixelBytes(format_);
    // Where the three colour bytes of a 4-byte pixel start: B, G, R, X or X, R, G, B.
    const int colourOffset = format_ == PixelFormat::RGB32 ? 1 : 0;
    SwsContext* scale = cached(cache.scale, sw, sh, AV_PIX_FMT_GRAY8, tw, th, AV_PIX_FMT_GRAY8, SWS_BILINEAR);

    std::uint8_t* sourcePlanes[4] = {from, from + sourcePlane, from + 2 * sourcePlane, nullptr};
    const int ss = static_cast<int>(sourceStride);
    const int ts = static_cast<int>(targetStride);
    int sourceStrides[4] = {ss, ss, ss, 0};
    std::uint8_t* targetPlanes[4] = {to, to + targetPlane, to + 2 * targetPlane, nullptr};
    int targetStrides[4] = {ts, ts, ts, 0};
    if (pixelBytes == 3) {
        SwsContext* unpack = cached(cache.unpack, sw, sh, packed, sw, sh, AV_PIX_FMT_GBRP, SWS_POINT);
        if (sws_scale(unpack, source.planes_->data, source.planes_->linesize, 0, sh, sourcePlanes,
                      sourceStrides) <= 0) {
            throw FrameFailure{kScaleFailed};
        }
    } else {
        const std::uint8_t* pixel = source.buffer_.get() + colourOffset;
        for (std::size_t y = 0; y < static_cast<std::size_t>(sh); ++y) {
            std::uint8_t* row = from + y * sourceStride;
            for (std::size_t x = 0; x < static_cast<std::size_t>(sw); ++x, pixel += 4) {
                row[x] = pixel[0];
                row[sourcePlane + x] = pixel[1];
                row[2 * sourcePlane + x] = pixel[2];
            }
        }
    }
    for (int plane = 0; plane < 3; ++plane) {
        const std::uint8_t* in[4] = {sourcePlanes[plane], nullptr, nullptr, nullptr};
        const int inStride[4] = {ss, 0, 0, 0};
        std::uint8_t* out[4] = {targetPlanes[plane], nullptr, nullptr, nullptr};
        const int outStride[4] = {ts, 0, 0, 0};
        if (sws_scale(scale, in, inStride, 0, sh, out, outStride) <= 0) {
            throw FrameFailure{kScaleFailed};
        }
    }
    if (pixelBytes == 3) {
        SwsContext* pack = cached(cache.pack, tw, th, AV_PIX_FMT_GBRP, tw, th, packed, SWS_POINT);
        ScaleInto(pack, targetPlanes, targetStrides, th, packed);
    } else {
        std::uint8_t* pixel = buffer_.get() + colourOffset;
        for (std::size_t y = 0; y < static_cast<std::size_t>(th); ++y) {
            const std::uint8_t* row = to + y * targetStride;
            for (std::size_t x = 0; x < static_cast<std::size_t>(tw); ++x, pixel += 4) {
                pixel[0] = row[x];
                pixel[1] = row[targetPlane + x];
                pixel[2] = row[2 * targetPlane + x];
            }
        }
    }
}

bool CAVFrame::Resize(CAVFrame& destination) const {
    return Guarded("Resize", [&] {
        if (!buffer_ || !destination.buffer_ || destination.format_ != format_) {
            throw FrameFailure{kFramesDoNotMatch};
        }
        if (PackedPixelBytes(format_) == 0) {
            throw FrameFailure{kNoSupportedPixFmt};
        }
        destination.ScaleByPlanes(*this);
    });
}

bool CAVFrame::Inverse(const CAVFrame& source) {
    return Guarded("Inverse", [&] {
        if (!source.IsSameFrame(*this)) {
            throw FrameFailure{kFramesDoNotMatch};
        }
        const int pixelBytes = PackedPixelBytes(format_);
        if (pixelBytes == 0) {
            throw FrameFailure{kNoSupportedPixFmt};
        }
        const std::size_t rowBytes = static_cast<std::size_t>(pixelBytes) * width_;
        std::uint8_t* target = buffer_.get();
        if (this == &source) {
            for (std::uint32_t top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
                std::swap_ranges(target + top * rowBytes, target + (top + 1) * rowBytes,
                                 target + bottom * rowBytes);
            }
            return;
        }
        const std::uint8_t* from = source.buffer_.get();
        for (std::uint32_t row = 0; row < height_; ++row) {
            std::memcpy(target + (height_ - 1 - row) * rowBytes, from + row * rowBytes, rowBytes);
        }
    });
}

bool CAVFrame::Format(const CAVFrame& source) {
    return Guarded("Format", [&] {
        if (!buffer_ || !source.buffer_ || width_ != source.width_ || height_ != source.height_) {
            throw FrameFailure{kFramesDoNotMatch};
        }
        if (width_ % 4 != 0) {
            throw FrameFailure{"the width is not a multiple of 4"};
        }
        switch (format_) {
        case PixelFormat::YUV420P:
            if (source.format_ == PixelFormat::RGB32) {
                throw FrameFailure{kNoSupportedPixFmt};
            }
            if (!YUYV422toYUV420P(source, *this)) {
                throw FrameFailure{"cannot convert YUYV 4:2:2 to YUV 4:2:0"};
            }
            return;
        case PixelFormat::YUVJ422P:
            if (source.format_ == PixelFormat::RGB24 || source.format_ == PixelFormat::BGR24 ||
                source.format_ == PixelFormat::BGR32) {
                Scale(source, SWS_BILINEAR);
                return;
            }
            throw FrameFailure{kNoSupportedPixFmt};
        case PixelFormat::RGB24:
            if (source.format_ == PixelFormat::YUV420P) {
                Scale(source, SWS_BILINEAR);
                return;
            }
            if (source.format_ == PixelFormat::BGR32) {
                if (!BGRAtoRGB(source, *this)) {
                    throw FrameFailure{"cannot convert BGRA to RGB"};
                }
                return;
            }
            throw FrameFailure{kNoSupportedPixFmt};
        case PixelFormat::BGR32:
            if (source.format_ == PixelFormat::BGR24) {
                if (!BGRtoBGRA(source, *this)) {
                    throw FrameFailure{"cannot convert BGR to BGRA"};
                }
                return;
            }
            throw FrameFailure{kNoSupportedPixFmt};
        default:
            throw FrameFailure{kNoSupportedPixFmt};
        }
    });
}

// The four byte shuffles below walk the source's pixels and write as many into the destination, so
// they insist on a destination of the same size: a smaller one would be written past its end.

bool CAVFrame::Reverse4Col(const CAVFrame& source, CAVFrame& destination) {
    const auto fourBytes = [](PixelFormat f) { return f == PixelFormat::RGB32 || f == PixelFormat::BGR32; };
    if (!fourBytes(source.format_) || !fourBytes(destination.format_) || !source.buffer_ ||
        !destination.buffer_ || !source.IsSameSize(destination)) {
        return false;
    }
    const std::size_t pixels = static_cast<std::size_t>(source.width_) * source.height_;
    const std::uint8_t* from = source.buffer_.get();
    std::uint8_t* to = destination.buffer_.get();
    for (std::size_t i = 0; i < pixels; ++i, from += 4, to += 4) {
        const std::uint8_t b0 = from[0];
        const std::uint8_t b1 = from[1];
        const std::uint8_t b2 = from[2];
        const std::uint8_t b3 = from[3];
        to[0] = b3;
        to[1] = b2;
        to[2] = b1;
        to[3] = b0;
    }
    return true;
}

bool CAVFrame::BGRAtoRGB(const CAVFrame& source, CAVFrame& destination) {
    if (source.format_ != PixelFormat::BGR32 || destination.format_ != PixelFormat::RGB24 ||
        !source.buffer_ || !destination.buffer_ || !source.IsSameSize(destination)) {
        return false;
    }
    const std::size_t pixels = static_cast<std::size_t>(source.width_) * source.height_;
    const std::uint8_t* from = source.buffer_.get();
    std::uint8_t* to = destination.buffer_.get();
    for (std::size_t i = 0; i < pixels; ++i, from += 4, to += 3) {
        to[0] = from[2];
        to[1] = from[1];
        to[2] = from[0];
    }
    return true;
}

bool CAVFrame::BGRtoBGRA(const CAVFrame& source, CAVFrame& destination) {
    if (source.format_ != PixelFormat::BGR24 || destination.format_ != PixelFormat::BGR32 ||
        !source.buffer_ || !destination.buffer_ || !source.IsSameSize(destination)) {
        return false;
    }
    const std::size_t pixels = static_cast<std::size_t>(source.width_) * source.height_;
    const std::uint8_t* from = source.buffer_.get();
    std::uint8_t* to = destination.buffer_.get();
    for (std::size_t i = 0; i < pixels; ++i, from += 3, to += 4) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        to[3] = 0;
    }
    return true;
}

bool CAVFrame::YUYV422toYUV420P(const CAVFrame& source, CAVFrame& destination) {
    if (source.format_ != PixelFormat::YUYV422 || destination.format_ != PixelFormat::YUV420P ||
        !source.buffer_ || !destination.buffer_ || !source.IsSameSize(destination)) {
        return false;
    }
    // Luma only: every group of two pixel pairs gives four luma bytes and one neutral chroma sample,
    // so the picture comes out grey. Bounded by the planes so an odd size cannot run past them.
    const AVFrame& target = *destination.planes_;
    const std::size_t lumaBytes = static_cast<std::size_t>(target.linesize[0]) * destination.height_;
    const std::size_t chromaBytes =
        static_cast<std::size_t>(target.linesize[1]) * ((destination.height_ + 1) / 2);
    const std::size_t groups =
        std::min({static_cast<std::size_t>(source.size_) / 8, lumaBytes / 4, chromaBytes});
    const std::uint8_t* from = source.buffer_.get();
    for (std::size_t group = 0; group < groups; ++group, from += 8) {
        std::uint8_t* luma = target.data[0] + group * 4;
        luma[0] = from[0];
        luma[1] = from[2];
        luma[2] = from[4];
        luma[3] = from[6];
        target.data[1][group] = 128;
        target.data[2][group] = 128;
    }
    return true;
}

template <int PixelBytes>
bool CAVFrame::LoadBitmap(std::uint32_t newWidth, std::uint32_t newHeight, const std::uint8_t* bottomRow,
                          std::ptrdiff_t rowStep) {
    return Guarded(PixelBytes == 3 ? "LoadBitmap24" : "LoadBitmap32", [&] {
        if (bottomRow == nullptr || newWidth == 0 || newHeight == 0) {
            throw FrameFailure{"the bitmap has no rows or an impossible row length"};
        }
        // The buffer is reused only when it already is an RGB24 frame of this size: any other format of
        // the same size may be smaller than the RGB24 picture written into it.
        if (!buffer_ || width_ != newWidth || height_ != newHeight || format_ != PixelFormat::RGB24) {
            if (!Create(PixelFormat::RGB24, newWidth, newHeight)) {
                throw FrameFailure{"cannot make the frame"};
            }
        }
        const std::ptrdiff_t step =
            rowStep != 0 ? rowStep : static_cast<std::ptrdiff_t>((newWidth * PixelBytes + 3u) & ~3u);
        const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(newWidth) * 3;
        if (step > INT_MAX || step < -INT_MAX || rowBytes > INT_MAX) {
            throw FrameFailure{"the bitmap has no rows or an impossible row length"};
        }
        // The scaler's byte shuffles, several times quicker than a plain loop. It walks the bitmap from
        // its bottom row up and writes the frame from its last row up, so the picture ends top down.
        const int w = static_cast<int>(newWidth);
        const int h = static_cast<int>(newHeight);
        SwsContext* context = sws_getCachedContext(scaler_.release(), w, h,
                                                   PixelBytes == 3 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_BGR0, w, h,
                                                   AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
        scaler_.reset(context);
        if (context == nullptr) {
            throw FrameFailure{kNoScaler};
        }
        const std::uint8_t* from[4] = {bottomRow, nullptr, nullptr, nullptr};
        const int fromStride[4] = {static_cast<int>(step), 0, 0, 0};
        std::uint8_t* to[4] = {buffer_.get() + (h - 1) * rowBytes, nullptr, nullptr, nullptr};
        const int toStride[4] = {-static_cast<int>(rowBytes), 0, 0, 0};
        if (sws_scale(context, from, fromStride, 0, h, to, toStride) != h) {
            throw FrameFailure{kScaleFailed};
        }
    });
}

bool CAVFrame::LoadBitmap24(std::uint32_t newWidth, std::uint32_t newHeight, const std::uint8_t* bottomRow,
                            std::ptrdiff_t rowStep) {
    return LoadBitmap<3>(newWidth, newHeight, bottomRow, rowStep);
}

bool CAVFrame::LoadBitmap32(std::uint32_t newWidth, std::uint32_t newHeight, const std::uint8_t* bottomRow,
                            std::ptrdiff_t rowStep) {
    return LoadBitmap<4>(newWidth, newHeight, bottomRow, rowStep);
}

bool CAVFrame::IsSameFormat(const CAVFrame& other) const {
    return buffer_ && format_ == other.format_;
}

bool CAVFrame::IsSameSize(const CAVFrame& other) const {
    return buffer_ && width_ == other.width_ && height_ == other.height_;
}

bool CAVFrame::IsSameFrame(const CAVFrame& other) const {
    return buffer_ && other.buffer_ && format_ == other.format_ && width_ == other.width_ &&
           height_ == other.height_;
}

} // namespace k72
