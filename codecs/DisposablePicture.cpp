#include "codecs/DisposablePicture.h"

#include <algorithm>

namespace k72 {
namespace {

constexpr std::uint8_t kH264SliceFirst = 1; // non-IDR slice … IDR slice
constexpr std::uint8_t kH264SliceLast = 5;
constexpr std::uint8_t kHevcSliceLast = 31; // VCL NAL unit types are 0 … 31
// HEVC sub-layer non-reference pictures: TRAIL_N, TSA_N, STSA_N, RADL_N, RASL_N and the reserved
// RSV_VCL_N10, N12, N14: the even types below 16.
bool HevcSubLayerNonReference(std::uint8_t type) {
    return type < 16 && type % 2 == 0;
}

} // namespace

DisposablePicture::DisposablePicture(const AVCodecParameters& stream) : codec_(stream.codec_id) {
    const std::uint8_t* config = stream.extradata;
    const int size = stream.extradata_size;
    if (config == nullptr || size < 7 || config[0] != 1) {
        return; // no configuration record: start codes
    }
    if (codec_ == AV_CODEC_ID_H264) {
        lengthSize_ = (config[4] & 3) + 1;
    } else if (codec_ == AV_CODEC_ID_HEVC && size >= 23) {
        lengthSize_ = (config[21] & 3) + 1;
        const int layers = (config[21] >> 3) & 7;
        if (layers > 0) {
            highestLayer_ = layers - 1;
            layersKnown_ = true;
        }
    }
}

bool DisposablePicture::IsSlice(std::uint8_t firstByte) const {
    if (codec_ == AV_CODEC_ID_H264) {
        const std::uint8_t type = firstByte & 0x1F;
        return type >= kH264SliceFirst && type <= kH264SliceLast;
    }
    return ((firstByte >> 1) & 0x3F) <= kHevcSliceLast;
}

const std::uint8_t* DisposablePicture::FirstSliceHeader(const std::uint8_t* data, std::size_t size) const {
    const std::size_t headerBytes = codec_ == AV_CODEC_ID_HEVC ? 2 : 1;
    if (lengthSize_ > 0) {
        std::size_t at = 0;
        while (size - at > static_cast<std::size_t>(lengthSize_)) {
            std::size_t length = 0;
            for (int i = 0; i < lengthSize_; ++i) {
                length = (length << 8) | data[at + static_cast<std::size_t>(i)];
            }
            at += static_cast<std::size_t>(lengthSize_);
            if (length < headerBytes || length > size - at) {
                return nullptr;
            }
            if (IsSlice(data[at])) {
                return data + at;
            }
            at += length;
        }
        return nullptr;
    }
    for (std::size_t at = 0; at + 3 + headerBytes <= size; ++at) {
        if (data[at] == 0 && data[at + 1] == 0 && data[at + 2] == 1) {
            if (IsSlice(data[at + 3])) {
                return data + at + 3;
            }
            at += 2;
        }
    }
    return nullptr;
}

bool DisposablePicture::Disposable(const AVPacket& packet) {
    if (!Applies() || (packet.flags & AV_PKT_FLAG_KEY) != 0 || packet.data == nullptr || packet.size <= 0) {
        return false;
    }
    const std::uint8_t* slice = FirstSliceHeader(packet.data, static_cast<std::size_t>(packet.size));
    if (slice == nullptr) {
        return false;
    }
    if (codec_ == AV_CODEC_ID_H264) {
        return (slice[0] & 0x60) == 0; // nal_ref_idc 0
    }
    const std::uint8_t type = (slice[0] >> 1) & 0x3F;
    const int layer = (slice[1] & 7) - 1;
    if (!layersKnown_) {
        highestLayer_ = std::max(highestLayer_, layer);
    }
    // A sub-layer non-reference picture may still be referred to by pictures of higher layers.
    return HevcSubLayerNonReference(type) && layer >= highestLayer_;
}

} // namespace k72
