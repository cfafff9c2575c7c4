// The movie transcoder's filter graphs: the picture turned, fitted, scaled and stretched to full range
// for the encoder, and the sound resampled and written in the device's chunks.
#include "codecs/CMovieTranscoder.h"

#include "codecs/TranscodeFailure.h"

namespace k72 {
namespace {

using transcoding::Fail;
using transcoding::FailLibav;
using transcoding::kLogModule;
using transcoding::Rational;

// The largest picture (in pixels) that goes through the frame-rate step before it is scaled.
constexpr std::int64_t kLargestEarlyFrameRate = std::int64_t{2560} * 1440;

// The scaler's filter: bicubic, as the command line uses for "-s", with the accurate rounding off.
constexpr const char* kScaleFlags = "bicubic";
// A picture shrunk to half or less: lanczos, which keeps more of the detail such a reduction has to
// give up than bicubic (a few tenths of a dB against a reference of the fully decoded source), making
// up for the lighter decoding. Averaging by area was a third less scaler work than bicubic but a dB
// softer.
constexpr const char* kReducingScaleFlags = "lanczos";
// Whether the picture is HDR (PQ or HLG, wide gamut).
bool ToneMapped(const AVFrame& first) {
    return first.color_trc == AVCOL_TRC_SMPTE2084 || first.color_trc == AVCOL_TRC_ARIB_STD_B67;
}

// The filters that tone-map an HDR picture (PQ or HLG, wide gamut) to an ordinary one.
std::string ToneMapFilters(const AVFrame& first) {
    const char* transfer = first.color_trc == AVCOL_TRC_SMPTE2084 ? "smpte2084" : "arib-std-b67";
    return std::string("zscale=tin=") + transfer +
           ":min=bt2020nc:pin=bt2020:t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,"
           "tonemap=tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,format=yuv420p,";
}

// Leading sound before the first picture is padded with silence, but never by more than this.
constexpr std::int64_t kLongestLeadingSilenceSeconds = 60;

// Creates a graph's source and sink and links them through a filter chain; what names the graph in
// the diagnostic log ("picture", "sound").
void BuildFilterGraph(AVFilterGraph* graph, const char* sourceFilter, const std::string& sourceArguments,
                      const char* sinkFilter, const std::string& chain, const std::string& what,
                      AVFilterContext** source, AVFilterContext** sink) {
    int error = avfilter_graph_create_filter(source, avfilter_get_by_name(sourceFilter), "in",
                                             sourceArguments.c_str(), nullptr, graph);
    if (error < 0) {
        FailLibav(rc::Error, "cannot create the " + what + " source (" + sourceArguments + ")", error);
    }
    error =
        avfilter_graph_create_filter(sink, avfilter_get_by_name(sinkFilter), "out", nullptr, nullptr, graph);
    if (error < 0) {
        FailLibav(rc::Error, "cannot create the " + what + " sink", error);
    }
    libav::FilterInOutPtr outputs(avfilter_inout_alloc());
    libav::FilterInOutPtr inputs(avfilter_inout_alloc());
    if (!outputs || !inputs) {
        throw std::bad_alloc();
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = *source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = *sink;
    AVFilterInOut* open = inputs.release();
    AVFilterInOut* closed = outputs.release();
    error = avfilter_graph_parse_ptr(graph, chain.c_str(), &open, &closed, nullptr);
    inputs.reset(open);
    outputs.reset(closed);
    if (error < 0) {
        FailLibav(rc::Error, "cannot build the " + what + " filters " + chain, error);
    }
    error = avfilter_graph_config(graph, nullptr);
    if (error < 0) {
        FailLibav(rc::Error, "cannot configure the " + what + " filters " + chain, error);
    }
}

// The filters that turn a picture upright as its display matrix says, as players do: a turn by 90,
// 180 or 270 degrees, with or without a mirror. Sets *transposed when width and height swap.
std::string OrientationFilters(const std::int32_t* matrix, bool* transposed) {
    *transposed = false;
    if (matrix == nullptr) {
        return {};
    }
    double theta = -std::round(av_display_rotation_get(matrix));
    if (std::isnan(theta)) {
        return {};
    }
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    if (std::abs(theta - 90) < 1.0) {
        *transposed = true;
        return matrix[3] > 0 ? "transpose=dir=cclock_flip," : "transpose=dir=clock,";
    }
    if (std::abs(theta - 180) < 1.0) {
        std::string filters;
        if (matrix[0] < 0) {
            filters += "hflip,";
        }
        if (matrix[4] < 0) {
            filters += "vflip,";
        }
        return filters;
    }
    if (std::abs(theta - 270) < 1.0) {
        *transposed = true;
        return matrix[3] < 0 ? "transpose=dir=clock_flip," : "transpose=dir=cclock,";
    }
    if (std::abs(theta) < 1.0 && matrix[4] < 0) {
        return "vflip,";
    }
    // Any other angle is rare enough (a hand-made file) to be shown as stored.
    return {};
}

// The picture's own display matrix, else the stream's (nullptr when there is none).
const std::int32_t* DisplayMatrix(const AVFrame& frame, const std::int32_t* streamMatrix) {
    if (const AVFrameSideData* side = av_frame_get_side_data(&frame, AV_FRAME_DATA_DISPLAYMATRIX);
        side != nullptr && side->size >= 9 * sizeof(std::int32_t)) {
        return reinterpret_cast<const std::int32_t*>(side->data);
    }
    return streamMatrix;
}

// Whether the picture the last scaler sees is YCbCr of the limited range (luma 16-235): most movies.
// The scaler then keeps that range, and ExpandRange stretches the small output to the full range the
// device's JPEG pictures use. Converting the range inside the scaler takes it off its fast path: at
// 1080p it then costs about two and a half times as much (1.5 ms more a picture, a tenth of the whole
// conversion's processor time). RGB and full-range sources go to full range in the scaler, at no extra
// cost.
bool ScalerKeepsLimitedRange(const AVFrame& first, bool toneMapped) {
    if (toneMapped) {
        return true; // the tone mapping ends in limited-range YCbCr
    }
    const auto format = static_cast<AVPixelFormat>(first.format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (descriptor == nullptr || (descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0 ||
        descriptor->nb_components < 3) {
        return false;
    }
    const bool fullRangeFormat = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
                                 format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P ||
                                 format == AV_PIX_FMT_YUVJ411P;
    return !fullRangeFormat && first.color_range != AVCOL_RANGE_JPEG;
}

// Limited to full range, rounded to the nearest level as the scaler does it: luma 16-235 to 0-255,
// colour 16-240 around 128 to 0-255, values beyond the limits clipped.
struct RangeTables {
    std::array<std::uint8_t, 256> luma{};
    std::array<std::uint8_t, 256> colour{};
    RangeTables() {
        for (int value = 0; value < 256; ++value) {
            const long y = std::lround((value - 16) * 255.0 / 219.0);
            const long c = std::lround((value - 128) * 255.0 / 224.0) + 128;
            luma[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(std::clamp(y, 0L, 255L));
            colour[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(std::clamp(c, 0L, 255L));
        }
    }
};

void MapPlane(std::uint8_t* plane, int stride, int width, int height,
              const std::array<std::uint8_t, 256>& table) {
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = plane + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < width; ++x) {
            row[x] = table[row[x]];
        }
    }
}

// Stretches a limited-range 8-bit planar YCbCr picture (the scaler's yuv422p) to full range in place.
void ExpandRange(AVFrame& frame) {
    static const RangeTables tables;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    const int colourWidth = AV_CEIL_RSHIFT(frame.width, descriptor->log2_chroma_w);
    const int colourHeight = AV_CEIL_RSHIFT(frame.height, descriptor->log2_chroma_h);
    MapPlane(frame.data[0], frame.linesize[0], frame.width, frame.height, tables.luma);
    MapPlane(frame.data[1], frame.linesize[1], colourWidth, colourHeight, tables.colour);
    MapPlane(frame.data[2], frame.linesize[2], colourWidth, colourHeight, tables.colour);
    frame.color_range = AVCOL_RANGE_JPEG;
}

} // namespace

std::string CMovieTranscoder::FitFilters(const AVFrame& first, AVRational aspect,
                                         const char* scaleFlags) const {
    // Turning and fitting come after the frame-rate conversion and before the scaler, so that the
    // scaler sees the picture upright and in the shape it is to keep.
    std::string chain;
    bool transposed = false;
    std::string turn;
    if (options_.autoRotate) {
        turn = OrientationFilters(DisplayMatrix(first, hasStreamMatrix_ ? streamMatrix_.data() : nullptr),
                                  &transposed);
    }
    // The fit, in the upright picture's terms ("auto" settled against its display shape).
    const auto width = static_cast<std::uint32_t>(transposed ? first.height : first.width);
    const auto height = static_cast<std::uint32_t>(transposed ? first.width : first.height);
    const AVRational shape = transposed ? AVRational{aspect.den, aspect.num} : aspect;
    const auto outWidth = static_cast<std::uint32_t>(options_.width);
    const auto outHeight = static_cast<std::uint32_t>(options_.height);
    const FitMode fit = ResolveFit(options_.fit, width, height, shape.num, shape.den, outWidth, outHeight);
    const FitPlan plan = fit == FitMode::Stretch
                             ? FitPlan{0, 0, width, height, outWidth, outHeight, 0, 0}
                             : PlanFit(fit, width, height, shape.num, shape.den, outWidth, outHeight);
    const bool crops = plan.CropsSource(width, height);
    const bool pads = !plan.FillsTarget(outWidth, outHeight);
    if (transposed && !crops) {
        // Scaling then turning gives the same picture (up to rounding) as turning then scaling, and turns
        // a picture of the output's size instead of the source's: a phone's 4K movie held upright is
        // turned at 270 x 480 instead of 3840 x 2160. The scaler below then only changes the format.
        chain += "scale=w=" + std::to_string(plan.scaledHeight) + ":h=" + std::to_string(plan.scaledWidth) +
                 ":flags=" + scaleFlags + "," + turn;
    } else {
        chain += turn;
        if (crops) {
            chain += "crop=w=" + std::to_string(plan.cropWidth) + ":h=" + std::to_string(plan.cropHeight) +
                     ":x=" + std::to_string(plan.cropX) + ":y=" + std::to_string(plan.cropY) + ":exact=1,";
        }
        if (pads) {
            chain += "scale=w=" + std::to_string(plan.scaledWidth) +
                     ":h=" + std::to_string(plan.scaledHeight) + ":flags=" + scaleFlags + ",";
        }
    }
    if (pads) {
        // Padded with black in the source's own pixel format, whose black the padding knows; the scaler
        // below then only changes the format.
        chain += "pad=w=" + std::to_string(outWidth) + ":h=" + std::to_string(outHeight) +
                 ":x=" + std::to_string(plan.offsetX) + ":y=" + std::to_string(plan.offsetY) +
                 ":color=black,";
    }
    return chain;
}

std::string CMovieTranscoder::PictureSourceArguments(const AVFrame& first, AVRational* aspect) const {
    *aspect = first.sample_aspect_ratio;
    if (aspect->num <= 0 || aspect->den <= 0) {
        *aspect = AVRational{1, 1};
    }
    const char* format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(first.format));
    if (format == nullptr) {
        Fail(rc::InputCodecUnsupported, "the decoder gives pictures of an unknown pixel format");
    }
    return "video_size=" + std::to_string(first.width) + "x" + std::to_string(first.height) +
           ":pix_fmt=" + format + ":time_base=" + Rational(videoTimeBase_) +
           ":pixel_aspect=" + Rational(*aspect);
}

bool CMovieTranscoder::FitsWhileDecoding(const AVFrame& first) const {
    return std::int64_t{first.width} * first.height > kLargestEarlyFrameRate && !deinterlacing_ &&
           !ToneMapped(first);
}

void CMovieTranscoder::BuildFitGraph(const AVFrame& first) {
    fitGraph_.reset(avfilter_graph_alloc());
    if (!fitGraph_) {
        throw std::bad_alloc();
    }
    AVRational aspect{1, 1};
    const std::string sourceArguments = PictureSourceArguments(first, &aspect);
    const char* scaleFlags = reducing_ ? kReducingScaleFlags : kScaleFlags;
    // Turned and fitted as the picture filters would, in the source's own pixel format; a picture that
    // is only stretched is scaled here, and the scaler there then only changes the format.
    const std::string chain = FitFilters(first, aspect, scaleFlags) +
                              "scale=w=" + std::to_string(options_.width) +
                              ":h=" + std::to_string(options_.height) + ":flags=" + scaleFlags;
    BuildFilterGraph(fitGraph_.get(), "buffer", sourceArguments, "buffersink", chain, "fitting", &fitSource_,
                     &fitSink_);
}

bool CMovieTranscoder::FitWhileDecoding(libav::FramePtr& frame) {
    const int error = av_buffersrc_add_frame_flags(fitSource_, frame.get(), 0);
    if (error < 0) {
        FailLibav(rc::Error, "cannot fit a picture", error);
    }
    // The fitting filters give one picture for each, at once.
    const int taken = av_buffersink_get_frame(fitSink_, frame.get());
    if (taken == AVERROR(EAGAIN)) {
        return false;
    }
    if (taken < 0) {
        FailLibav(rc::Error, "cannot take a fitted picture", taken);
    }
    return true;
}

void CMovieTranscoder::BuildVideoGraph(const AVFrame& first) {
    videoGraph_.reset(avfilter_graph_alloc());
    if (!videoGraph_) {
        throw std::bad_alloc();
    }
    AVRational aspect{1, 1};
    const std::string sourceArguments = PictureSourceArguments(first, &aspect);
    const char* scaleFlags = reducing_ ? kReducingScaleFlags : kScaleFlags;
    std::string chain;
    if (deinterlacing_) {
        const char* parity = options_.topFieldFirst < 0    ? "auto"
                             : options_.topFieldFirst == 1 ? "tff"
                                                           : "bff";
        chain += std::string("yadif=mode=send_frame:parity=") + parity + ":deint=all,";
    }
    // The frame-rate conversion comes before the scaler, so dropped pictures are never scaled and
    // repeated ones are repeats of real pictures. Each output picture is the one on screen at its
    // instant: the last picture that has begun by then (timestamps rounded up). Of two pictures that
    // fall into one output interval (a 60 fps movie at 29.97) the first is kept; phones code the second
    // of such pairs as a picture nothing refers to, which then need not be decoded at all.
    const std::string frameRate = "fps=fps=" + std::to_string(options_.frameRateNum) + "/" +
                                  std::to_string(options_.frameRateDen) + ":start_time=0:round=up,";
    // HDR (PQ or HLG, wide gamut) is tone-mapped to an ordinary picture; scaled as it is it would look
    // grey and washed out.
    const bool toneMapped = ToneMapped(first);
    // Pictures above 1440p come to the frame-rate step scaled: it holds two pictures, 50 MB at 4K in
    // 10 bits and 2 MB at the device's size. The pictures it drops are mostly left undecoded by then,
    // so hardly any is scaled in vain. (Most such pictures come here fitted already by the decoding
    // thread, see FitsWhileDecoding.)
    const bool frameRateLast =
        std::int64_t{first.width} * first.height > kLargestEarlyFrameRate && !deinterlacing_ && !toneMapped;
    if (!frameRateLast) {
        chain += frameRate;
    }
    expandRange_ = ScalerKeepsLimitedRange(first, toneMapped);
    if (toneMapped) {
        chain += ToneMapFilters(first);
    }
    if (!fitWhileDecoding_) {
        chain += FitFilters(first, aspect, scaleFlags);
    }
    if (frameRateLast) {
        chain += frameRate;
    }
    chain += "scale=w=" + std::to_string(options_.width) + ":h=" + std::to_string(options_.height) +
             ":flags=" + scaleFlags + (expandRange_ ? ":out_range=tv" : ":out_range=full") +
             ",setsar=1,format=pix_fmts=yuv422p";

    BuildFilterGraph(videoGraph_.get(), "buffer", sourceArguments, "buffersink", chain, "picture",
                     &videoSource_, &videoSink_);
}

void CMovieTranscoder::CloseVideoGraph() {
    // A movie that ends before the lead-in of the moment shows its last picture.
    FilterHeldPicture();
    if (!videoGraph_ || videoGraphClosed_) {
        return;
    }
    videoGraphClosed_ = true;
    // The last picture stands for its own duration, so the fps filter knows where the movie ends. The
    // filter rounds timestamps up; the end, half an output interval earlier, then falls where rounding
    // to the nearest instant puts it, so a movie keeps the length in pictures it always had.
    const std::int64_t halfInterval =
        av_rescale_q(1, AVRational{options_.frameRateDen, 2 * options_.frameRateNum}, videoTimeBase_);
    const int error = av_buffersrc_close(videoSource_, nextVideoPts_ - halfInterval, 0);
    if (error < 0) {
        FailLibav(rc::Error, "cannot end the picture filters", error);
    }
    PullVideo();
}

void CMovieTranscoder::PullVideo() {
    while (!picturesDone_) {
        const int error = av_buffersink_get_frame(videoSink_, filtered_.get());
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) {
            return;
        }
        if (error < 0) {
            FailLibav(rc::Error, "cannot take a filtered picture", error);
        }
        if (expandRange_) {
            const int writable = av_frame_make_writable(filtered_.get());
            if (writable < 0) {
                FailLibav(rc::Error, "cannot take a filtered picture", writable);
            }
            ExpandRange(*filtered_);
        }
        filtered_->pts = framesSent_++;
        filtered_->quality = encoder_->global_quality; // the quantiser of a fixed-quality picture
        filtered_->pict_type = AV_PICTURE_TYPE_NONE;
        Encode(filtered_.get());
        av_frame_unref(filtered_.get());
        picturesDone_ = options_.maxPictures > 0 && framesSent_ >= options_.maxPictures;
        // One packet can give thousands of pictures (a damaged timestamp far ahead makes the fps
        // filter repeat the last picture up to it, and so does the end of the movie): a stop
        // request must be heard between pictures, not only between packets.
        if (!progress_.RepeatPosition()) {
            Fail(rc::Error, "stopped at the caller's request");
        }
    }
}

void CMovieTranscoder::Encode(AVFrame* frame) {
    int error = avcodec_send_frame(encoder_.get(), frame);
    while (error == AVERROR(EAGAIN)) {
        // The encoder holds finished pictures; take them and offer the frame again.
        const int received = avcodec_receive_packet(encoder_.get(), encoded_.get());
        if (received < 0) {
            FailLibav(rc::EncodeFailed, "the MJPEG encoder takes no more pictures", received);
        }
        WriteChunk(CAviWriter::Stream::Video, encoded_->data, static_cast<std::size_t>(encoded_->size));
        av_packet_unref(encoded_.get());
        error = avcodec_send_frame(encoder_.get(), frame);
    }
    if (error < 0 && !(frame == nullptr && error == AVERROR_EOF)) {
        FailLibav(rc::EncodeFailed, "cannot encode a picture", error);
    }
    for (;;) {
        error = avcodec_receive_packet(encoder_.get(), encoded_.get());
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) {
            return;
        }
        if (error < 0) {
            FailLibav(rc::EncodeFailed, "cannot encode a picture", error);
        }
        WriteChunk(CAviWriter::Stream::Video, encoded_->data, static_cast<std::size_t>(encoded_->size));
        av_packet_unref(encoded_.get());
    }
}

void CMovieTranscoder::PushAudio(AVFrame* frame) {
    if (frame->nb_samples <= 0 || frame->sample_rate <= 0) {
        av_frame_unref(frame);
        return;
    }
    if (frame->sample_rate > libav::kHighestSourceSoundRate) {
        av_frame_unref(frame);
        Fail(rc::InputCodecUnsupported, libav::SoundRateRefusal(frame->sample_rate));
    }
    const AVRational base{1, frame->sample_rate};
    std::int64_t pts = frame->best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE) {
        pts = av_rescale_q(pts, audioTimeBase_, base) - av_rescale_q(startTime_, AV_TIME_BASE_Q, base);
    } else {
        pts = nextAudioPts_ != AV_NOPTS_VALUE ? nextAudioPts_ : 0;
    }
    frame->pts = pts;
    nextAudioPts_ = pts + frame->nb_samples;
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        const int channels = frame->ch_layout.nb_channels;
        av_channel_layout_uninit(&frame->ch_layout);
        av_channel_layout_default(&frame->ch_layout, channels);
    }

    if (!audioGraph_) {
        BuildAudioGraph(*frame);
    }
    const int error = av_buffersrc_add_frame_flags(audioSource_, frame, 0);
    av_frame_unref(frame);
    if (error < 0) {
        FailLibav(rc::Error, "cannot filter sound", error);
    }
    PullAudio();
}

void CMovieTranscoder::BuildAudioGraph(const AVFrame& first) {
    audioGraph_.reset(avfilter_graph_alloc());
    if (!audioGraph_) {
        throw std::bad_alloc();
    }
    char layout[128] = {};
    if (av_channel_layout_describe(&first.ch_layout, layout, sizeof layout) < 0) {
        Fail(rc::InputCodecUnsupported, "the sound has an unknown channel layout");
    }
    const char* format = av_get_sample_fmt_name(static_cast<AVSampleFormat>(first.format));
    if (format == nullptr) {
        Fail(rc::InputCodecUnsupported, "the sound has an unknown sample format");
    }
    const std::string sourceArguments = "time_base=1/" + std::to_string(first.sample_rate) +
                                        ":sample_rate=" + std::to_string(first.sample_rate) +
                                        ":sample_fmt=" + format + ":channel_layout=" + layout;
    const std::string rate = std::to_string(options_.sampleRate);
    const std::string chain = "aresample=" + rate + ",aformat=sample_fmts=s16:sample_rates=" + rate +
                              ":channel_layouts=" + (options_.channels == 1 ? "mono" : "stereo");

    BuildFilterGraph(audioGraph_.get(), "abuffer", sourceArguments, "abuffersink", chain, "sound",
                     &audioSource_, &audioSink_);
}

void CMovieTranscoder::CloseAudioGraph() {
    if (!audioGraph_ || audioGraphClosed_) {
        return;
    }
    audioGraphClosed_ = true;
    const int error = av_buffersrc_close(audioSource_, nextAudioPts_, 0);
    if (error < 0) {
        FailLibav(rc::Error, "cannot end the sound filters", error);
    }
    PullAudio();
}

void CMovieTranscoder::PullAudio() {
    for (;;) {
        const int error = av_buffersink_get_frame(audioSink_, filtered_.get());
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) {
            return;
        }
        if (error < 0) {
            FailLibav(rc::Error, "cannot take filtered sound", error);
        }
        WriteAudio(*filtered_);
        av_frame_unref(filtered_.get());
    }
}

void CMovieTranscoder::WriteAudio(const AVFrame& frame) {
    const std::size_t bytesPerSample = static_cast<std::size_t>(options_.channels) * 2;
    const std::uint8_t* data = frame.data[0];
    std::int64_t samples = frame.nb_samples;
    if (!audioStarted_) {
        audioStarted_ = true;
        // Sound sample 0 plays with picture 0: sound that starts later is preceded by silence, sound
        // from before the first picture is left out.
        std::int64_t lead = frame.pts == AV_NOPTS_VALUE ? 0 : frame.pts;
        lead = std::min<std::int64_t>(lead, kLongestLeadingSilenceSeconds * options_.sampleRate);
        if (lead > 0) {
            const std::vector<std::uint8_t> silence(static_cast<std::size_t>(options_.sampleRate / 10) *
                                                    bytesPerSample);
            const std::int64_t perChunk = options_.sampleRate / 10;
            for (std::int64_t done = 0; done < lead; done += perChunk) {
                const std::int64_t count = std::min(perChunk, lead - done);
                AppendAudio(silence.data(), static_cast<std::size_t>(count) * bytesPerSample);
            }
        } else {
            audioToSkip_ = -lead;
        }
    }
    if (audioToSkip_ > 0) {
        const std::int64_t skipped = std::min(audioToSkip_, samples);
        audioToSkip_ -= skipped;
        samples -= skipped;
        data += static_cast<std::size_t>(skipped) * bytesPerSample;
    }
    if (samples > 0) {
        AppendAudio(data, static_cast<std::size_t>(samples) * bytesPerSample);
    }
}

void CMovieTranscoder::AppendAudio(const std::uint8_t* data, std::size_t size) {
    // Sound goes out in quarter-second chunks: fewer chunks make a smaller index and a quicker
    // re-interleave, which regroups the sound anyway.
    const std::size_t chunkBytes = static_cast<std::size_t>(options_.sampleRate / 4) * options_.channels * 2;
    pendingAudio_.insert(pendingAudio_.end(), data, data + size);
    if (pendingAudio_.size() >= chunkBytes) {
        FlushAudio();
    }
}

void CMovieTranscoder::FlushAudio() {
    if (!pendingAudio_.empty()) {
        WriteChunk(CAviWriter::Stream::Audio, pendingAudio_.data(), pendingAudio_.size());
        pendingAudio_.clear();
    }
}

void CMovieTranscoder::WriteChunk(CAviWriter::Stream stream, const std::uint8_t* data, std::size_t size) {
    if (options_.maxFileSize > 0 &&
        writer_->FinishedSizeWith(size) > static_cast<std::uint64_t>(options_.maxFileSize)) {
        Fail(rc::FileSizeOverLimit,
             "the output reached its size limit of " + std::to_string(options_.maxFileSize) + " bytes");
    }
    const std::uint64_t before = writer_->Size();
    if (Failed(writer_->WriteChunk(stream, data, size))) {
        Fail(rc::Error, writer_->FailureReason());
    }
    progress_.Written(writer_->Size() - before);
}

} // namespace k72
