// The picture decoders (JPEG, PNG, BMP, WebP, TIFF, GIF, HEIF/AVIF, told apart by content, with the
// orientation tags they carry) and, for every picture they accept, the rest of the still picture path:
// loading the bitmap into a frame, turning it upright, stretching, letterboxing or cropping it, colour
// conversion, JPEG encoding and the EXIF writer.
#include "fuzz/FuzzSupport.h"

#include "codecs/CDibImage.h"
#include "codecs/PictureDecoder.h"
#include "engine/StillImageConverter.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static k72::PictureDecoder decoder;
    static k72::StillImageConverter converter;
    static const std::filesystem::path source = k72fuzz::ScratchFolder() / "picture";
    static const std::filesystem::path output = k72fuzz::ScratchFolder() / "picture.jpg";

    // Half the inputs are decoded for a 640 x 480 target, so JPEG's reduced-size decoding is tried too.
    if ((size & 1) != 0) {
        decoder.SetMinimumSize(640, 480);
    } else {
        decoder.SetMinimumSize(0, 0);
    }
    k72::CDibImage image;
    const k72::ConversionProblem decoded = decoder.Decode(data, size, image);
    if (decoded.Failed()) {
        // Every refusal names its cause for the user.
        if (decoded.cause.empty()) {
            std::abort();
        }
        return 0;
    }
    // Every row of an accepted picture is there to be read.
    unsigned sum = 0;
    for (std::uint32_t y = 0; y < image.Height(); ++y) {
        const std::uint8_t* row = image.Row(y);
        sum += row[0] + row[image.RowBytes() - 1];
    }
    static_cast<void>(sum);

    // A few bytes of run-length data can declare a picture of up to 2^27 pixels, which the program
    // accepts; converting one takes longer than an input may take here under the sanitizers. Pictures
    // above 16 megapixels are decoded (above) but not converted; the tests and the benchmark convert
    // large ones.
    if (static_cast<std::uint64_t>(image.Width()) * image.Height() > (std::uint64_t{1} << 24)) {
        return 0;
    }
    // Each fit in turn, chosen by the input's length.
    converter.SetFit(static_cast<k72::FitMode>((size >> 1) % 3));
    k72fuzz::WriteWholeFile(source, data, size);
    const k72::ConversionProblem result = converter.Convert(source.string(), output.string());
    std::error_code ec;
    if (result.Ok() && !std::filesystem::exists(output, ec)) {
        std::abort();
    }
    std::filesystem::remove(output, ec);
    return 0;
}
