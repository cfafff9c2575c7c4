#include "engine/PreviewRenderer.h"

#include "base/DeviceFormat.h"
#include "base/DiagnosticLog.h"
#include "codecs/LibavHandles.h"
#include "codecs/PictureDecoder.h"
#include "codecs/ff_convertermain.h"
#include "engine/CardThumbnail.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "preview";

// The converted movie's picture rate for a frame-rate word, as the movie converter reads it.
AVRational OutputRate(const std::string& standard) {
    return standard == "pal" ? AVRational{device::kPalRate, 1}
                             : AVRational{device::kNtscRateNumerator, device::kNtscRateDenominator};
}

struct MovieFacts {
    bool readable = false; // the media library reads the file
    bool pictures = false; // it holds a picture stream (a cover picture of a sound is none)
    double duration = 0;   // seconds; 0 when unknown
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The running time and stored size of a movie, from its header.
MovieFacts ReadMovieFacts(const std::filesystem::path& source) {
    MovieFacts facts;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, source.c_str(), nullptr, nullptr) < 0) {
        return facts;
    }
    const libav::InputContextPtr input(raw);
    // Most containers state the picture stream, its size and the running time in their header; only
    // where they do not are packets decoded to find out (that opens decoders, which the converter does
    // again right after).
    const auto stated = [&input] {
        const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        return video >= 0 && input->streams[video]->codecpar->width > 0 && input->duration > 0;
    };
    if (!stated() && avformat_find_stream_info(input.get(), nullptr) < 0) {
        return facts;
    }
    facts.readable = true;
    if (input->duration > 0) {
        facts.duration = static_cast<double>(input->duration) / AV_TIME_BASE;
    }
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0 && (input->streams[video]->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
        facts.pictures = true;
        const AVStream* stream = input->streams[video];
        facts.width = static_cast<std::uint32_t>(std::max(0, stream->codecpar->width));
        facts.height = static_cast<std::uint32_t>(std::max(0, stream->codecpar->height));
        if (facts.duration <= 0 && stream->duration > 0) {
            facts.duration = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
        }
    }
    return facts;
}

bool ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !bytes.empty();
}

void RemoveQuietly(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

} // namespace

PreviewRenderer::PreviewRenderer() {
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "k72-preview-XXXXXX").string();
    if (!error && ::mkdtemp(pattern.data()) != nullptr) {
        workFolder_ = pattern;
        movieConverter_.SetWorkFolder(workFolder_);
    } else {
        LogLine(kLogModule, "cannot make a work folder for previews");
    }
}

PreviewRenderer::~PreviewRenderer() {
    if (!workFolder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(workFolder_, ignored);
    }
}

void PreviewRenderer::RequestStop() {
    stopRequested_.store(true);
    movieConverter_.RequestAbort();
}

PreviewResult PreviewRenderer::Render(const std::filesystem::path& source, const PreviewSettings& settings,
                                      double atSeconds, RgbImage& picture) {
    stopRequested_.store(false);
    PreviewResult result;
    if (workFolder_.empty()) {
        result.code = rc::TempFileFailed;
        return result;
    }
    RouteLibraryLogToDiagnostics();
    // A picture is told by its signature; anything else is opened once, as a movie, here (the general
    // kind test would open it a second time before the converter opens it a third).
    std::array<std::uint8_t, 64> head{};
    std::ifstream stream(source, std::ios::binary);
    std::error_code ec;
    if (!stream || !std::filesystem::is_regular_file(source, ec)) {
        result.code = rc::CannotOpenInput;
        return result;
    }
    stream.read(reinterpret_cast<char*>(head.data()), head.size());
    if (PictureDecoder::LooksLikePicture(head.data(), static_cast<std::size_t>(stream.gcount()))) {
        return RenderPicture(source, settings, picture);
    }
    return RenderMovie(source, settings, atSeconds, picture);
}

PreviewResult PreviewRenderer::RenderPicture(const std::filesystem::path& source,
                                             const PreviewSettings& settings, RgbImage& picture) {
    PreviewResult result;
    result.kind = MediaKind::Picture;
    const std::filesystem::path converted = workFolder_ / "preview.jpg";
    RemoveQuietly(converted);
    stillConverter_.SetQuality(settings.stillQuality);
    stillConverter_.SetFit(settings.fit);
    result.code = stillConverter_.Convert(source.string(), converted.string()).code;
    // The device's file holds the main picture as its JPEG stream; the thumbnail sits in its EXIF
    // block, which a decoder passes over.
    std::vector<std::uint8_t> bytes;
    if (!Failed(result.code) &&
        !(ReadWholeFile(converted, bytes) && RgbImage::FromJpeg(bytes.data(), bytes.size(), picture))) {
        result.code = rc::JpegDecodeFailed;
    }
    RemoveQuietly(converted);
    return result;
}

PreviewResult PreviewRenderer::RenderMovie(const std::filesystem::path& source,
                                           const PreviewSettings& settings, double atSeconds,
                                           RgbImage& picture) {
    PreviewResult result;
    result.kind = MediaKind::Movie;
    const MovieFacts facts = ReadMovieFacts(source);
    if (!facts.pictures) {
        result.kind = MediaKind::Unknown;
        result.code = facts.readable ? rc::StreamNotFound : rc::UnknownFormat;
        return result;
    }
    result.durationSeconds = facts.duration;
    result.sourceWidth = facts.width;
    result.sourceHeight = facts.height;

    // The converted movie shows picture k from k / rate on: the moment is moved back to the start of
    // its picture, and kept before the last one.
    const AVRational rate = OutputRate(settings.frameRateStandard);
    double at = std::isfinite(atSeconds) ? std::max(0.0, atSeconds) : 0.0;
    if (facts.duration > 0) {
        at = std::min(at, std::max(0.0, facts.duration - av_q2d(av_inv_q(rate))));
    }
    const auto index = static_cast<std::int64_t>(std::floor(at * av_q2d(rate) + 1e-6));
    const std::int64_t startMicroseconds =
        av_rescale(index, static_cast<std::int64_t>(rate.den) * AV_TIME_BASE, rate.num);
    result.shownAtSeconds = static_cast<double>(startMicroseconds) / AV_TIME_BASE;

    // The movie converter as an import sets it up, its transcoder told to start at the moment and to
    // stop after one picture without sound.
    movieConverter_.SetFrameRateStandard(settings.frameRateStandard);
    movieConverter_.SetQscaleText(settings.qscaleText);
    movieConverter_.SetDeinterlace(settings.deinterlace);
    movieConverter_.SetFit(FitWord(settings.fit));
    const std::string start = std::to_string(startMicroseconds) + "us";
    movieConverter_.SetTranscoder([start](ConverterCallback callback, void* context, int argc, char** argv) {
        std::vector<std::string> extra = {"-ss", start, "-vframes", "1", "-an"};
        std::vector<char*> arguments(argv, argv + argc);
        // The output path comes last; the options go before it.
        std::vector<char*> options;
        for (std::string& word : extra) {
            options.push_back(word.data());
        }
        arguments.insert(arguments.end() - 1, options.begin(), options.end());
        return ff_convertermain(callback, context, static_cast<int>(arguments.size()), arguments.data());
    });
    const std::filesystem::path converted = workFolder_ / "preview.avi";
    RemoveQuietly(converted);
    if (stopRequested_.load()) {
        result.code = rc::Error;
        return result;
    }
    result.code = movieConverter_.Convert(source.string(), converted.string());
    std::vector<std::uint8_t> jpeg;
    if (!Failed(result.code) &&
        !(ReadFirstMoviePicture(converted, jpeg) && RgbImage::FromJpeg(jpeg.data(), jpeg.size(), picture))) {
        result.code = rc::JpegDecodeFailed;
    }
    RemoveQuietly(converted);
    return result;
}

} // namespace k72
