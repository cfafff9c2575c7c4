#include "codecs/HeifHevcPlugin.h"

#include "codecs/DiagnosticLog.h"
#include "codecs/PictureDecodeStatus.h"

#include <libde265/de265.h>
#include <libheif/heif_plugin.h>

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
            const std::uint32_t length = (std::uint32_t{bytes[at]} << 24) |
                                         (std::uint32_t{bytes[at + 1]} << 16) |
                                         (std::uint32_t{bytes[at + 2]} << 8) | std::uint32_t{bytes[at + 3]};
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

heif_error CopyPlane(const de265_image* decoded, int channel, heif_image* picture, heif_channel target,
                     int bitDepth) {
    const int width = de265_get_image_width(decoded, channel);
    const int height = de265_get_image_height(decoded, channel);
    int inStride = 0;
    const std::uint8_t* in = de265_get_image_plane(decoded, channel, &inStride);
    if (in == nullptr || width <= 0 || height <= 0) {
        return Failure(heif_error_Decoder_plugin_error, "HEVC picture has no plane");
    }
    heif_error error = heif_image_add_plane(picture, target, width, height, bitDepth);
    if (error.code != heif_error_Ok) {
        return error;
    }
    int outStride = 0;
    std::uint8_t* out = heif_image_get_plane(picture, target, &outStride);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (bitDepth > 8 ? 2 : 1);
    if (out == nullptr || outStride < 0 || static_cast<std::size_t>(outStride) < rowBytes || inStride < 0 ||
        static_cast<std::size_t>(inStride) < rowBytes) {
        return Failure(heif_error_Decoder_plugin_error, "unexpected plane layout");
    }
    for (int y = 0; y < height; ++y) {
        std::memcpy(out + static_cast<std::ptrdiff_t>(y) * outStride,
                    in + static_cast<std::ptrdiff_t>(y) * inStride, rowBytes);
    }
    return Success();
}

struct De265Deleter {
    void operator()(de265_decoder_context* context) const { de265_free_decoder(context); }
};

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
    for (const auto& [offset, length] : self->units) {
        if (length > static_cast<std::size_t>(INT_MAX) ||
            !de265_isOK(de265_push_NAL(context.get(), self->bytes.data() + offset, static_cast<int>(length),
                                       0, nullptr))) {
            return Failure(heif_error_Decoder_plugin_error, "HEVC data cannot be taken");
        }
    }
    if (!de265_isOK(de265_flush_data(context.get()))) {
        return Failure(heif_error_Decoder_plugin_error, "HEVC data cannot be taken");
    }
    // The picture must be taken out as soon as it is ready: a full output queue keeps the decoder
    // asking for more turns.
    const de265_image* decoded = nullptr;
    int more = 1;
    while (more != 0 && decoded == nullptr) {
        more = 0;
        const de265_error error = de265_decode(context.get(), &more);
        if (!de265_isOK(error)) {
            LogLine(kLogModule, std::string("HEVC item cannot be decoded: ") + de265_get_error_text(error));
            return Failure(heif_error_Decoder_plugin_error, "HEVC item cannot be decoded");
        }
        decoded = de265_get_next_picture(context.get());
    }
    if (decoded == nullptr) {
        return Failure(heif_error_Decoder_plugin_error, "HEVC item holds no picture");
    }
    if (self->strict) {
        const de265_error warning = de265_get_warning(context.get());
        if (!de265_isOK(warning)) {
            return Failure(heif_error_Decoder_plugin_error, de265_get_error_text(warning));
        }
    }
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
    const heif_chroma layout = chroma == de265_chroma_mono  ? heif_chroma_monochrome
                               : chroma == de265_chroma_420 ? heif_chroma_420
                               : chroma == de265_chroma_422 ? heif_chroma_422
                                                            : heif_chroma_444;
    heif_image* picture = nullptr;
    heif_error error = heif_image_create(
        width, height, chroma == de265_chroma_mono ? heif_colorspace_monochrome : heif_colorspace_YCbCr,
        layout, &picture);
    if (error.code != heif_error_Ok || picture == nullptr) {
        return error.code != heif_error_Ok ? error
                                           : Failure(heif_error_Memory_allocation_error, "out of memory");
    }
    error = CopyPlane(decoded, 0, picture, heif_channel_Y, bitDepth);
    if (error.code == heif_error_Ok && chroma != de265_chroma_mono) {
        error = CopyPlane(decoded, 1, picture, heif_channel_Cb, bitDepth);
        if (error.code == heif_error_Ok) {
            error = CopyPlane(decoded, 2, picture, heif_channel_Cr, bitDepth);
        }
    }
    if (error.code != heif_error_Ok) {
        heif_image_release(picture);
        return error;
    }
    *out = picture;
    return Success();
}

void SetStrictDecoding(void* decoder, int flag) {
    static_cast<HevcItemDecoder*>(decoder)->strict = flag != 0;
}

heif_decoder_plugin MakePlugin(heif_error (*newDecoder)(void**), const char* idName) {
    heif_decoder_plugin plugin{};
    plugin.plugin_api_version = 3;
    plugin.get_plugin_name = PluginName;
    plugin.init_plugin = nullptr;
    plugin.deinit_plugin = nullptr;
    plugin.does_support_format = SupportsFormat;
    plugin.new_decoder = newDecoder;
    plugin.free_decoder = FreeDecoder;
    plugin.push_data = PushData;
    plugin.decode_image = DecodeImage;
    plugin.set_strict_decoding = SetStrictDecoding;
    plugin.id_name = idName;
    return plugin;
}

const heif_decoder_plugin kFullPlugin = MakePlugin(NewFullDecoder, "k72-de265");
const heif_decoder_plugin kFastPlugin = MakePlugin(NewFastDecoder, "k72-de265-fast");

} // namespace

const heif_decoder_plugin* HevcPlugin(bool skipLoopFilter) {
    return skipLoopFilter ? &kFastPlugin : &kFullPlugin;
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
