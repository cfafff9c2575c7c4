#include "codecs/HeifHevcPlugin.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "codecs/PictureLimits.h"

#include <libde265/de265.h>
#include <libheif/heif_plugin.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <sched.h>
#include <unistd.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "picture decoder";

// The coded data of one HEVC item as libheif hands it over: the parameter sets and then the slices,
// each NAL unit behind a 4-byte big-endian length. Kept as the NAL units' bytes and where each starts.
struct HevcItemDecoder {
    std::vector<std::uint8_t> bytes;
    std::vector<std::pair<std::size_t, std::size_t>> units;
    bool skipLoopFilter = false;
    bool strict = false;
    bool damaged = false;
};

heif_error Failure(heif_error_code code, const char* message) {
    return heif_error{code, heif_suberror_Unspecified, message};
}

heif_error Success() {
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

const char* PluginName() {
    return "K-72 libde265 HEVC decoder";
}

int SupportsFormat(heif_compression_format format) {
    // Above libde265's 100, so libheif picks this one for HEVC on the contexts it is registered on.
    return format == heif_compression_HEVC ? 200 : 0;
}

heif_error NewDecoder(void** decoder, bool skipLoopFilter) {
    auto* created = new (std::nothrow) HevcItemDecoder;
    if (created == nullptr) {
        return Failure(heif_error_Memory_allocation_error, "out of memory");
    }
    created->skipLoopFilter = skipLoopFilter;
    *decoder = created;
    return Success();
}

heif_error NewFullDecoder(void** decoder) {
    return NewDecoder(decoder, false);
}

heif_error NewFastDecoder(void** decoder) {
    return NewDecoder(decoder, true);
}

void FreeDecoder(void* decoder) {
    delete static_cast<HevcItemDecoder*>(decoder);
}

heif_error PushData(void* decoder, const void* data, size_t size) {
    auto* self = static_cast<HevcItemDecoder*>(decoder);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (bytes == nullptr && size != 0) {
        return Failure(heif_error_Decoder_plugin_error, "no data");
    }
    try {
        std::size_t at = 0;
        while (at < size) {
            if (size - at < 4) {
                self->damaged = true;
                return Failure(heif_error_Invalid_input, "HEVC data ends inside a NAL length");
            }
            const std::uint32_t length = byteorder::LoadBE32(bytes + at);
            at += 4;
            if (length > size - at) {
                self->damaged = true;
                return Failure(heif_error_Invalid_input, "HEVC NAL unit runs past its item");
            }
            self->units.emplace_back(self->bytes.size(), length);
            self->bytes.insert(self->bytes.end(), bytes + at, bytes + at + length);
            at += length;
        }
    } catch (const std::bad_alloc&) {
        return Failure(heif_error_Memory_allocation_error, "out of memory");
    }
    return Success();
}

// Adds one full-size plane to the picture, filled from a decoded plane that is subsampled (or not) by
// the given factors: each decoded sample covers factorX x factorY output samples.
heif_error CopyPlane(const de265_image* decoded, int channel, int factorX, int factorY, heif_image* picture,
                     heif_channel target, int width, int height, int bitDepth) {
    const int inWidth = de265_get_image_width(decoded, channel);
    const int inHeight = de265_get_image_height(decoded, channel);
    int inStride = 0;
    const std::uint8_t* in = de265_get_image_plane(decoded, channel, &inStride);
    const std::size_t sampleBytes = bitDepth > 8 ? 2 : 1;
    if (in == nullptr || inWidth <= 0 || inHeight <= 0 || inStride < 0 ||
        static_cast<std::size_t>(inStride) < static_cast<std::size_t>(inWidth) * sampleBytes ||
        static_cast<std::int64_t>(inWidth) * factorX < width ||
        static_cast<std::int64_t>(inHeight) * factorY < height) {
        return Failure(heif_error_Decoder_plugin_error, "HEVC picture has no usable plane");
    }
    heif_error error = heif_image_add_plane(picture, target, width, height, bitDepth);
    if (error.code != heif_error_Ok) {
        return error;
    }
    int outStride = 0;
    std::uint8_t* out = heif_image_get_plane(picture, target, &outStride);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * sampleBytes;
    if (out == nullptr || outStride < 0 || static_cast<std::size_t>(outStride) < rowBytes) {
        return Failure(heif_error_Decoder_plugin_error, "unexpected plane layout");
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* from = in + static_cast<std::ptrdiff_t>(y / factorY) * inStride;
        std::uint8_t* to = out + static_cast<std::ptrdiff_t>(y) * outStride;
        if (factorY > 1 && y % factorY != 0) {
            std::memcpy(to, to - outStride, rowBytes); // the row above came from the same samples
        } else if (factorX == 1) {
            std::memcpy(to, from, rowBytes);
        } else if (sampleBytes == 1) {
            for (int x = 0; x < width; ++x) {
                to[x] = from[x / 2];
            }
        } else {
            auto* to16 = reinterpret_cast<std::uint16_t*>(to);
            const auto* from16 = reinterpret_cast<const std::uint16_t*>(from);
            for (int x = 0; x < width; ++x) {
                to16[x] = from16[x / 2];
            }
        }
    }
    return Success();
}

// A full-size plane of one value: the colour planes of a grey picture.
heif_error FillPlane(heif_image* picture, heif_channel target, int width, int height, int bitDepth) {
    heif_error error = heif_image_add_plane(picture, target, width, height, bitDepth);
    if (error.code != heif_error_Ok) {
        return error;
    }
    int stride = 0;
    std::uint8_t* out = heif_image_get_plane(picture, target, &stride);
    if (out == nullptr || stride < 0) {
        return Failure(heif_error_Decoder_plugin_error, "unexpected plane layout");
    }
    const std::uint16_t middle = static_cast<std::uint16_t>(1u << (bitDepth - 1));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = out + static_cast<std::ptrdiff_t>(y) * stride;
        if (bitDepth <= 8) {
            std::memset(row, middle, static_cast<std::size_t>(width));
        } else {
            auto* row16 = reinterpret_cast<std::uint16_t*>(row);
            std::fill(row16, row16 + width, middle);
        }
    }
    return Success();
}

struct De265Deleter {
    void operator()(de265_decoder_context* context) const { de265_free_decoder(context); }
};

// Hands the item's NAL units to the decoder and decodes until its one picture is out.
heif_error DecodeUnits(const HevcItemDecoder& self, de265_decoder_context* context,
                       const de265_image** decoded) {
    for (const auto& [offset, length] : self.units) {
        if (length > static_cast<std::size_t>(INT_MAX) ||
            !de265_isOK(
                de265_push_NAL(context, self.bytes.data() + offset, static_cast<int>(length), 0, nullptr))) {
            return Failure(heif_error_Decoder_plugin_error, "HEVC data cannot be taken");
        }
    }
    if (!de265_isOK(de265_flush_data(context))) {
        return Failure(heif_error_Decoder_plugin_error, "HEVC data cannot be taken");
    }
    // The picture must be taken out as soon as it is ready: a full output queue keeps the decoder
    // asking for more turns.
    *decoded = nullptr;
    int more = 1;
    while (more != 0 && *decoded == nullptr) {
        more = 0;
        const de265_error error = de265_decode(context, &more);
        if (!de265_isOK(error)) {
            LogLine(kLogModule, std::string("HEVC item cannot be decoded: ") + de265_get_error_text(error));
            return Failure(heif_error_Decoder_plugin_error, "HEVC item cannot be decoded");
        }
        *decoded = de265_get_next_picture(context);
    }
    if (*decoded == nullptr) {
        return Failure(heif_error_Decoder_plugin_error, "HEVC item holds no picture");
    }
    if (self.strict) {
        const de265_error warning = de265_get_warning(context);
        if (!de265_isOK(warning)) {
            return Failure(heif_error_Decoder_plugin_error, de265_get_error_text(warning));
        }
    }
    return Success();
}

// The decoded picture as libheif takes it. Handed over as three full-size planes in an "RGB 4:4:4"
// picture that holds Y, Cb and Cr (see the header): libheif then neither converts the colours nor
// changes the layout, and still turns, mirrors, crops and pastes grid tiles plane by plane.
heif_error ToHeifImage(const de265_image* decoded, heif_image** out) {
    const int width = de265_get_image_width(decoded, 0);
    const int height = de265_get_image_height(decoded, 0);
    const de265_chroma chroma = de265_get_chroma_format(decoded);
    const int bitDepth = de265_get_bits_per_pixel(decoded, 0);
    if (width <= 0 || height <= 0 ||
        !PictureSizeAcceptable(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height)) ||
        bitDepth < 8 || bitDepth > 16 ||
        (chroma != de265_chroma_mono && (de265_get_bits_per_pixel(decoded, 1) != bitDepth ||
                                         de265_get_bits_per_pixel(decoded, 2) != bitDepth))) {
        return Failure(heif_error_Unsupported_feature, "HEVC picture layout not supported");
    }
    const int factorX = chroma == de265_chroma_420 || chroma == de265_chroma_422 ? 2 : 1;
    const int factorY = chroma == de265_chroma_420 ? 2 : 1;
    heif_image* picture = nullptr;
    heif_error error = heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_444, &picture);
    if (error.code != heif_error_Ok || picture == nullptr) {
        return error.code != heif_error_Ok ? error
                                           : Failure(heif_error_Memory_allocation_error, "out of memory");
    }
    error = CopyPlane(decoded, 0, 1, 1, picture, heif_channel_R, width, height, bitDepth);
    if (error.code == heif_error_Ok) {
        error = chroma == de265_chroma_mono ? FillPlane(picture, heif_channel_G, width, height, bitDepth)
                                            : CopyPlane(decoded, 1, factorX, factorY, picture, heif_channel_G,
                                                        width, height, bitDepth);
    }
    if (error.code == heif_error_Ok) {
        error = chroma == de265_chroma_mono ? FillPlane(picture, heif_channel_B, width, height, bitDepth)
                                            : CopyPlane(decoded, 2, factorX, factorY, picture, heif_channel_B,
                                                        width, height, bitDepth);
    }
    if (error.code != heif_error_Ok) {
        heif_image_release(picture);
        return error;
    }
    *out = picture;
    return Success();
}

heif_error DecodeImage(void* decoder, heif_image** out) {
    auto* self = static_cast<HevcItemDecoder*>(decoder);
    *out = nullptr;
    if (self->damaged || self->units.empty()) {
        return Failure(heif_error_Decoder_plugin_error, "no HEVC data");
    }
    const std::unique_ptr<de265_decoder_context, De265Deleter> context(de265_new_decoder());
    if (!context) {
        return Failure(heif_error_Memory_allocation_error, "out of memory");
    }
    // Wavefront rows of one picture are decoded on the usable cores.
    const int threads = UsableCores();
    if (threads > 1) {
        de265_start_worker_threads(context.get(), threads);
    }
    if (self->skipLoopFilter) {
        de265_set_parameter_bool(context.get(), DE265_DECODER_PARAM_DISABLE_DEBLOCKING, 1);
        de265_set_parameter_bool(context.get(), DE265_DECODER_PARAM_DISABLE_SAO, 1);
    }
    const de265_image* decoded = nullptr;
    const heif_error error = DecodeUnits(*self, context.get(), &decoded);
    return error.code != heif_error_Ok ? error : ToHeifImage(decoded, out);
}

void SetStrictDecoding(void* decoder, int flag) {
    static_cast<HevcItemDecoder*>(decoder)->strict = flag != 0;
}

heif_decoder_plugin MakePlugin(heif_error (*newDecoder)(void**), const char* idName) {
    return {.plugin_api_version = 3,
            .get_plugin_name = PluginName,
            .init_plugin = nullptr,
            .deinit_plugin = nullptr,
            .does_support_format = SupportsFormat,
            .new_decoder = newDecoder,
            .free_decoder = FreeDecoder,
            .push_data = PushData,
            .decode_image = DecodeImage,
            .set_strict_decoding = SetStrictDecoding,
            .id_name = idName};
}

const heif_decoder_plugin kFullPlugin = MakePlugin(NewFullDecoder, "k72-de265");
const heif_decoder_plugin kFastPlugin = MakePlugin(NewFastDecoder, "k72-de265-fast");

// Every other coding (AV1 above all) is claimed ahead of libheif's own plugins and refused at once.
int ClaimsOtherFormats(heif_compression_format format) {
    return format == heif_compression_HEVC ? 0 : 1000;
}

heif_error RefuseDecoder(void** decoder) {
    *decoder = nullptr;
    return Failure(heif_error_Unsupported_feature, "not an HEVC item");
}

heif_decoder_plugin MakeRefuser() {
    heif_decoder_plugin plugin = MakePlugin(RefuseDecoder, "k72-not-hevc");
    plugin.does_support_format = ClaimsOtherFormats;
    return plugin;
}

const heif_decoder_plugin kRefuser = MakeRefuser();

} // namespace

const heif_decoder_plugin* HevcPlugin(bool skipLoopFilter) {
    return skipLoopFilter ? &kFastPlugin : &kFullPlugin;
}

const heif_decoder_plugin* OtherCodingsRefuser() {
    return &kRefuser;
}

int UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) {
            return count < 16 ? count : 16;
        }
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online < 16 ? online : 16) : 1;
}

} // namespace k72
