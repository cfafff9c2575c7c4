#pragma once
// The picture buffer of the still picture path: one contiguous block of pixel memory with its pixel
// format and size, plus the plane table the JPEG encoder reads. Every operation answers true or false;
// the reason for a failure goes to the diagnostic log.

#include "codecs/LibavHandles.h"
#include "codecs/PixelFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

namespace k72 {

class CAVFrame {
public:
    CAVFrame();
    virtual ~CAVFrame();
    CAVFrame(const CAVFrame&) = delete;
    CAVFrame& operator=(const CAVFrame&) = delete;

    // (Re)allocates the frame for the format and size, keeping its pixel block when that is large
    // enough. On failure the frame has no buffer and size 0 but keeps the requested format, width and
    // height.
    bool Create(PixelFormat format, std::uint32_t width, std::uint32_t height);
    void Release();

    // Stretches this frame into the whole destination (bilinear, aspect ratio not kept). Packed RGB
    // formats only; both frames must have the same format.
    bool Resize(CAVFrame& destination) const;
    // Writes the source into this frame upside down (top row becomes bottom row).
    bool Inverse(const CAVFrame& source);
    // Converts the source's pixel format into this frame's; same size, width a multiple of 4.
    bool Format(const CAVFrame& source);

    static bool Reverse4Col(const CAVFrame& source, CAVFrame& destination);
    static bool BGRAtoRGB(const CAVFrame& source, CAVFrame& destination);
    static bool BGRtoBGRA(const CAVFrame& source, CAVFrame& destination);
    static bool YUYV422toYUV420P(const CAVFrame& source, CAVFrame& destination);

    // Makes this frame RGB24 width x height from a 24-bit (B, G, R) or 32-bit (B, G, R, X) bitmap.
    // bottomRow is the first byte of the picture's bottom row; rowStep is the byte distance from a row
    // to the row above it. The default (0) is a bottom-up bitmap with rows padded to 4 bytes; a
    // top-down bitmap passes the negative of its row length.
    bool LoadBitmap24(std::uint32_t width, std::uint32_t height, const std::uint8_t* bottomRow,
                      std::ptrdiff_t rowStep = 0);
    bool LoadBitmap32(std::uint32_t width, std::uint32_t height, const std::uint8_t* bottomRow,
                      std::ptrdiff_t rowStep = 0);

    bool IsSameFormat(const CAVFrame& other) const; // this frame has a buffer, formats equal
    bool IsSameSize(const CAVFrame& other) const;   // this frame has a buffer, widths and heights equal
    bool IsSameFrame(const CAVFrame& other) const;  // both have buffers; format, width, height equal

    std::uint8_t* GetBuffer() { return buffer_.get(); }
    const std::uint8_t* GetBuffer() const { return buffer_.get(); }
    std::uint32_t GetSize() const { return size_; }
    AVFrame* GetPlanes() { return planes_.get(); }
    const AVFrame* GetPlanes() const { return planes_.get(); }
    PixelFormat GetFormat() const { return format_; }
    std::uint32_t GetWidth() const { return width_; }
    std::uint32_t GetHeight() const { return height_; }
    bool HasBuffer() const { return buffer_ != nullptr; }

private:
    template <int PixelBytes>
    bool LoadBitmap(std::uint32_t width, std::uint32_t height, const std::uint8_t* bottomRow,
                    std::ptrdiff_t rowStep);
    // Runs the media library's scaler from source into this frame, reusing the scaler of the last call
    // when the geometry is the same (the target frames see the same sizes picture after picture).
    void Scale(const CAVFrame& source, int flags);
    // Runs a scaler into this frame's planes, through padded rows where the frame's rows are not.
    void ScaleInto(SwsContext* context, const std::uint8_t* const sourceData[], const int sourceStrides[],
                   int sourceHeight, AVPixelFormat targetFormat);
    // Bilinear resize of packed RGB pixels, one colour plane at a time (see CAVFrame.cpp).
    void ScaleByPlanes(const CAVFrame& source);

    libav::BufferPtr buffer_;
    std::uint32_t size_ = 0;
    std::size_t capacity_ = 0; // bytes of the block behind buffer_; at least size_
    libav::FramePtr planes_;
    PixelFormat format_ = PixelFormat::None;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    libav::ScalerPtr scaler_;

    // Scratch kept between calls: the scalers of ScaleByPlanes and the blocks of it and of ScaleInto,
    // which only grow.
    struct PlaneScaler {
        libav::ScalerPtr unpack;
        libav::ScalerPtr scale;
        libav::ScalerPtr pack;
        libav::BufferPtr sourcePlanes;
        std::size_t sourceCapacity = 0;
        libav::BufferPtr targetPlanes;
        std::size_t targetCapacity = 0;
        libav::BufferPtr paddedOutput; // for ScaleInto
        std::size_t paddedCapacity = 0;
    };
    std::unique_ptr<PlaneScaler> planeScaler_; // created on first use
};

} // namespace k72
