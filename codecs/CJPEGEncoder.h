#pragma once
// Turns the two YUVJ422P frames of a still picture into two complete baseline JPEG streams: the
// 640 x 480 main picture and the 160 x 120 thumbnail. One MJPEG encoder per picture size, each held in
// an "image2" output context, created once and reused for every picture.

#include "codecs/CAVFrame.h"
#include "codecs/LibavHandles.h"
#include "codecs/ResultCodes.h"

#include <cstdint>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace k72 {

class CJPEGEncoder {
public:
    CJPEGEncoder();
    virtual ~CJPEGEncoder();
    CJPEGEncoder(const CJPEGEncoder&) = delete;
    CJPEGEncoder& operator=(const CJPEGEncoder&) = delete;

    // Creates the main slot (640 x 480) and the thumbnail slot (160 x 120). 0, or rc::Fail when either
    // could not be created (Encode then fails too).
    [[nodiscard]] ResultCode Open();

    // mainLength and thumbLength hold the buffers' capacities on entry and the lengths of the JPEG
    // streams written on return, both 0 after a failure. quality (0 ... 1) is the main picture's
    // quantiser compression; the thumbnail always takes the library's defaults. 0 or rc::Fail.
    [[nodiscard]] ResultCode Encode(CAVFrame& mainFrame, CAVFrame& thumbFrame, std::uint8_t* mainBuffer,
                      std::int32_t& mainLength, std::uint8_t* thumbBuffer, std::int32_t& thumbLength,
                      float quality);

    void Close();

private:
    friend class CJPEGEncoderTestAccess;

    struct JpegEncoderSlot {
        const AVOutputFormat* outputFormat = nullptr;
        libav::OutputContextPtr formatContext;
        AVStream* stream = nullptr; // owned by formatContext
        libav::CodecContextPtr codecContext;
        std::int64_t nextPts = 0;
    };

    [[nodiscard]] static ResultCode CreateSlot(std::unique_ptr<JpegEncoderSlot>& slot, int width, int height,
                                 bool mainSlot);
    // Runs the output-header step and encodes one frame into buffer; the JPEG stream's length or a
    // negative number.
    std::int64_t EncodeSlot(JpegEncoderSlot* slot, CAVFrame& frame, std::uint8_t* buffer,
                            std::int32_t capacity);

    std::unique_ptr<JpegEncoderSlot> mainSlot_;
    std::unique_ptr<JpegEncoderSlot> thumbSlot_;
    libav::PacketPtr packet_;
};

} // namespace k72
