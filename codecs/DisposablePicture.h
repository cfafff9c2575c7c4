#pragma once
// Whether a coded H.264 or HEVC picture is one that no other picture is predicted from, so that it can
// be left undecoded when the frame-rate conversion would drop it anyway: an H.264 picture of
// nal_ref_idc 0, or an HEVC sub-layer non-reference picture of the highest temporal layer.

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavcodec/packet.h>
}

namespace k72 {

class DisposablePicture {
public:
    // Reads the NAL length size and the HEVC temporal layers from the stream's decoder configuration;
    // without one the packets are taken as Annex B byte streams.
    explicit DisposablePicture(const AVCodecParameters& stream);
    virtual ~DisposablePicture() = default;

    // Whether the stream's coding is one this knows (H.264, HEVC).
    [[nodiscard]] bool Applies() const { return codec_ == AV_CODEC_ID_H264 || codec_ == AV_CODEC_ID_HEVC; }

    // Whether the packet holds a picture no other picture refers to. Never for a key picture.
    [[nodiscard]] bool Disposable(const AVPacket& packet);

private:
    // The header of the first coded slice in the packet, nullptr when there is none.
    const std::uint8_t* FirstSliceHeader(const std::uint8_t* data, std::size_t size) const;
    [[nodiscard]] bool IsSlice(std::uint8_t firstByte) const;

    AVCodecID codec_;
    int lengthSize_ = 0;    // 1 … 4; 0 for Annex B start codes
    int highestLayer_ = -1; // HEVC: the highest temporal layer, from the configuration or as seen
    bool layersKnown_ = false;
};

} // namespace k72
