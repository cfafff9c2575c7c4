#include "codecs/CMovieTranscoder.h"

#include "base/DiagnosticLog.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "movie transcoder";

// A failure inside the transcode with its result code and the reason for the diagnostic log.
struct Failure {
    ResultCode code;
    std::string reason;
};

[[noreturn]] void Fail(ResultCode code, const std::string& reason) {
    throw Failure{code, reason};
}

[[noreturn]] void FailLibav(ResultCode code, const std::string& what, int error) {
    throw Failure{code, what + ": " + libav::ErrorText(error)};
}

std::string Rational(AVRational value) {
    return std::to_string(value.num) + "/" + std::to_string(value.den);
}

// The scaler's filter: bicubic, as the command line uses for "-s", with the accurate rounding off.
constexpr const char* kScaleFlags = "bicubic";
// A picture shrunk to half or less: lanczos, which keeps more of the detail such a reduction has to
// give up than bicubic (a few tenths of a dB against a reference of the fully decoded source), making
// up for the lighter decoding. Averaging by area was a third less scaler work than bicubic but a dB
// softer.
constexpr const char* kReducingScaleFlags = "lanczos";
// Which pictures' in-loop deblocking a reduced decode skips, and its flags.
constexpr AVDiscard kSkipLoopFilter = AVDISCARD_ALL;
constexpr int kDecoderFlags2 = AV_CODEC_FLAG2_FAST;

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

// Whether the picture shrinks to half or less in both directions (in the source's own directions, so
// a movie turned on its side is compared with the output's height across and width down). Stretched,
// fitted or cropped, the scale in each direction is then at most one half.
bool ReducesAtLeastTwice(const AVStream& stream, bool autoRotate, int width, int height) {
    bool sideways = false;
    size_t size = 0;
    const std::uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (autoRotate && data != nullptr && size >= 9 * sizeof(std::int32_t)) {
        const double turn =
            std::fabs(std::fmod(av_display_rotation_get(reinterpret_cast<const std::int32_t*>(data)), 180.0));
        sideways = std::fabs(turn - 90) < 1.0;
    }
    const std::int64_t across = sideways ? height : width;
    const std::int64_t down = sideways ? width : height;
    return across > 0 && down > 0 && stream.codecpar->width >= 2 * across &&
           stream.codecpar->height >= 2 * down;
}

// Work whose detail the scaler throws away when it shrinks the picture to half or less. The in-loop
// deblocking of H.264 and HEVC smooths block edges a few pixels wide, finer than the reduced picture can
// show; without it a decoder does about a fifth less work. The error it leaves in the pictures that
// others are predicted from stays below what the scaler averages away.
void ReduceDecoding(AVCodecContext& decoder) {
    if (decoder.codec_id == AV_CODEC_ID_H264 || decoder.codec_id == AV_CODEC_ID_HEVC) {
        decoder.skip_loop_filter = kSkipLoopFilter;
    }
    decoder.flags2 |= kDecoderFlags2;
}

// How far decoding may run ahead of the encoder: enough pictures to keep a core busy decoding while
// the other filters and encodes, few enough to cost little memory: four full-HD pictures (3 MB each),
// and fewer of larger ones (a 4K picture of 10 bits is 25 MB).
constexpr std::size_t kPicturesAhead = 4;
constexpr std::uint64_t kBytesAhead = std::uint64_t{4} * 1920 * 1080 * 3 / 2;
constexpr std::size_t kItemsAhead = 64;

// The largest picture (in pixels) that goes through the frame-rate step before it is scaled.
constexpr std::int64_t kLargestEarlyFrameRate = std::int64_t{2560} * 1440;

std::size_t PicturesAhead(const AVCodecParameters& video) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(video.format));
    const std::uint64_t bytesPerSample = descriptor != nullptr && descriptor->comp[0].depth > 8 ? 2 : 1;
    const std::uint64_t bytes = std::uint64_t{static_cast<std::uint32_t>(std::max(video.width, 1))} *
                                static_cast<std::uint32_t>(std::max(video.height, 1)) * 3 / 2 *
                                bytesPerSample;
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(kBytesAhead / bytes, 1, kPicturesAhead));
}

// Decoder threads: one a core and one more (the library's own choice), but fewer for pictures of 4K
// and more, where each thread holds pictures of its own: two keep both cores busy.
int DecoderThreads(const AVCodecParameters& video) {
    const bool huge = std::int64_t{video.width} * video.height > std::int64_t{2560} * 1440;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return huge ? static_cast<int>(std::min(cores, 2u)) : 0;
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

int EncoderThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 8u));
}

} // namespace

CMovieTranscoder::CMovieTranscoder(const TranscodeOptions& options, CTranscodeProgress& progress)
    : options_(options), progress_(progress) {}

CMovieTranscoder::~CMovieTranscoder() = default;

ResultCode CMovieTranscoder::Run() {
    ResultCode result = 0;
    try {
        decoded_.reset(av_frame_alloc());
        filtered_.reset(av_frame_alloc());
        encoded_.reset(av_packet_alloc());
        if (!decoded_ || !filtered_ || !encoded_) {
            throw std::bad_alloc();
        }
        OpenInput();
        OpenEncoder();
        CreateOutput();
        Transcode();
        progress_.Written(writer_->Finish());
    } catch (const Failure& failure) {
        result = failure.code;
        LogLine(kLogModule, failure.reason);
        if (failure.code == rc::FileSizeOverLimit && writer_) {
            // What fits under the limit is still a whole, readable file.
            try {
                writer_->Finish();
            } catch (const CAviWriter::Error& error) {
                LogLine(kLogModule, error.what());
            }
        }
    } catch (const CAviWriter::Error& error) {
        result = error.kind() == CAviWriter::Error::Exists       ? rc::FileExists
                 : error.kind() == CAviWriter::Error::CannotOpen ? rc::CannotOpenFile
                                                                 : rc::Error;
        LogLine(kLogModule, error.what());
    } catch (const std::bad_alloc&) {
        result = rc::Error;
        LogLine(kLogModule, "out of memory");
    } catch (const std::exception& error) {
        result = rc::Error;
        LogLine(kLogModule, error.what());
    }
    // The threads of the codecs end before the caller hears the result.
    encoder_.reset();
    videoDecoder_.reset();
    audioDecoder_.reset();
    videoGraph_.reset();
    audioGraph_.reset();
    input_.reset();
    writer_.reset();
    progress_.Result(result);
    return result;
}

void CMovieTranscoder::OpenInput() {
    AVFormatContext* raw = nullptr;
    int error = avformat_open_input(&raw, options_.inputPath.c_str(), nullptr, nullptr);
    if (error < 0) {
        FailLibav(rc::CannotOpenInput, "cannot open " + options_.inputPath, error);
    }
    input_.reset(raw);
    error = avformat_find_stream_info(input_.get(), nullptr);
    if (error < 0) {
        FailLibav(rc::UnknownFormat, "cannot read the streams of " + options_.inputPath, error);
    }

    // The movie's picture stream; a cover picture attached to a sound file is none.
    int best = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best >= 0 && (input_->streams[best]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
        best = -1;
        for (unsigned i = 0; i < input_->nb_streams; ++i) {
            const AVStream* stream = input_->streams[i];
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
                best = static_cast<int>(i);
                break;
            }
        }
    }
    if (best < 0) {
        Fail(rc::StreamNotFound, options_.inputPath + " holds no video stream");
    }
    videoIndex_ = best;
    audioIndex_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, videoIndex_, nullptr, 0);
    if (audioIndex_ < 0 || options_.noSound) {
        audioIndex_ = -1;
    }
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
        const bool used = static_cast<int>(i) == videoIndex_ || static_cast<int>(i) == audioIndex_;
        input_->streams[i]->discard = used ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }

    videoDecoder_ = OpenDecoder(videoIndex_);
    if (audioIndex_ >= 0) {
        audioDecoder_ = OpenDecoder(audioIndex_);
    }

    const AVStream* video = input_->streams[videoIndex_];
    videoTimeBase_ = video->time_base;
    videoRate_ = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
    if (videoRate_.num <= 0 || videoRate_.den <= 0) {
        videoRate_ = AVRational{25, 1};
    }
    size_t matrixSize = 0;
    if (const std::uint8_t* matrix = av_stream_get_side_data(video, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize);
        matrix != nullptr && matrixSize >= 9 * sizeof(std::int32_t)) {
        std::copy_n(reinterpret_cast<const std::int32_t*>(matrix), 9, streamMatrix_.begin());
        hasStreamMatrix_ = true;
    }
    if (audioIndex_ >= 0) {
        audioTimeBase_ = input_->streams[audioIndex_]->time_base;
    }

    // The first picture and the first sound sample both belong to the earliest moment of the streams
    // we use, so that a stream that starts late is padded and the two stay in step.
    startTime_ = AV_NOPTS_VALUE;
    for (const int index : {videoIndex_, audioIndex_}) {
        if (index < 0) {
            continue;
        }
        const AVStream* stream = input_->streams[index];
        if (stream->start_time != AV_NOPTS_VALUE) {
            const std::int64_t start = av_rescale_q(stream->start_time, stream->time_base, AV_TIME_BASE_Q);
            startTime_ = startTime_ == AV_NOPTS_VALUE ? start : std::min(startTime_, start);
        }
    }
    if (startTime_ == AV_NOPTS_VALUE) {
        startTime_ = input_->start_time != AV_NOPTS_VALUE ? input_->start_time : 0;
    }
    if (options_.startMicroseconds > 0) {
        // From the key picture before the moment; the fps filter drops what comes before it. A file
        // that cannot seek is read from its start, which ends in the same picture.
        const std::int64_t moment = startTime_ + options_.startMicroseconds;
        const int sought = avformat_seek_file(input_.get(), -1, INT64_MIN, moment, moment, 0);
        if (sought < 0) {
            LogLine(kLogModule, "cannot seek, reading from the start: " + libav::ErrorText(sought));
        }
        startTime_ = moment;
    }

    std::int64_t duration = input_->duration;
    if (duration <= 0) {
        const AVStream* stream = input_->streams[videoIndex_];
        if (stream->duration > 0) {
            duration = av_rescale_q(stream->duration, stream->time_base, AV_TIME_BASE_Q);
        }
    }
    if (duration > 0) {
        totalMs_ = std::max<std::int64_t>(1, duration / 1000);
        progress_.Total(totalMs_);
    } else {
        // No duration known: progress follows the bytes read, in KiB.
        const std::int64_t size = input_->pb != nullptr ? avio_size(input_->pb) : -1;
        progress_.Total(size > 0 ? size / 1024 : 1);
    }
}

libav::CodecContextPtr CMovieTranscoder::OpenDecoder(int streamIndex) {
    const AVStream* stream = input_->streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        Fail(rc::InputCodecUnsupported, std::string("no decoder for ") +
                                            avcodec_get_name(stream->codecpar->codec_id) + " in stream " +
                                            std::to_string(streamIndex));
    }
    libav::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder) {
        throw std::bad_alloc();
    }
    int error = avcodec_parameters_to_context(decoder.get(), stream->codecpar);
    if (error < 0) {
        FailLibav(rc::InputCodecUnsupported, std::string("cannot set up the ") + codec->name + " decoder",
                  error);
    }
    decoder->pkt_timebase = stream->time_base;
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !options_.fullDecode &&
        ReducesAtLeastTwice(*stream, options_.autoRotate, options_.width, options_.height)) {
        ReduceDecoding(*decoder);
        reducing_ = true;
    }
    // Pictures the frame-rate conversion drops need no decoding when nothing refers to them. Not with
    // deinterlacing, which looks at the pictures on either side of each.
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !options_.fullDecode && !options_.deinterlace) {
        disposable_.emplace(*stream->codecpar);
        if (!disposable_->Applies()) {
            disposable_.reset();
        }
    }
    decoder->thread_count =
        stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? DecoderThreads(*stream->codecpar) : 0;
    decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    error = avcodec_open2(decoder.get(), codec, nullptr);
    if (error < 0) {
        FailLibav(rc::InputCodecUnsupported, std::string("cannot open the ") + codec->name + " decoder",
                  error);
    }
    return decoder;
}

void CMovieTranscoder::OpenEncoder() {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (codec == nullptr) {
        Fail(rc::OutputCodecUnsupported, "no MJPEG encoder");
    }
    encoder_.reset(avcodec_alloc_context3(codec));
    if (!encoder_) {
        throw std::bad_alloc();
    }
    encoder_->width = options_.width;
    encoder_->height = options_.height;
    // Full-range 4:2:2 (what players call yuvj422p); stated as yuv422p with the JPEG range so the
    // scaler is not asked for a deprecated format.
    encoder_->pix_fmt = AV_PIX_FMT_YUV422P;
    encoder_->color_range = AVCOL_RANGE_JPEG;
    encoder_->sample_aspect_ratio = AVRational{1, 1};
    encoder_->time_base = AVRational{options_.frameRateDen, options_.frameRateNum};
    encoder_->framerate = AVRational{options_.frameRateNum, options_.frameRateDen};
    // A fixed quantiser: every picture is coded at the same quality, whatever its content.
    encoder_->flags |= AV_CODEC_FLAG_QSCALE;
    encoder_->global_quality = static_cast<int>(std::lround(options_.qscale * FF_QP2LAMBDA));
    // Pictures are independent, so whole frames are coded in parallel.
    encoder_->thread_count = EncoderThreads();
    encoder_->thread_type = FF_THREAD_FRAME;
    const int error = avcodec_open2(encoder_.get(), codec, nullptr);
    if (error < 0) {
        FailLibav(rc::EncodeFailed, "cannot open the MJPEG encoder", error);
    }
}

void CMovieTranscoder::CreateOutput() {
    CAviWriter::Format format;
    format.width = options_.width;
    format.height = options_.height;
    format.frameRateNum = options_.frameRateNum;
    format.frameRateDen = options_.frameRateDen;
    format.hasAudio = audioIndex_ >= 0;
    format.sampleRate = options_.sampleRate;
    format.channels = options_.channels;
    writer_ = std::make_unique<CAviWriter>(format);
    progress_.Written(writer_->Create(options_.outputPath, options_.overwrite));
}

void CMovieTranscoder::Transcode() {
    Queue queue(PicturesAhead(*input_->streams[videoIndex_]->codecpar), kItemsAhead);
    std::thread decoding(&CMovieTranscoder::ReadAndDecode, this, std::ref(queue));
    // However this thread leaves (a failure, a stop request), the decoding thread is told to give up
    // and has ended before the decoders and the input close.
    struct Joiner {
        Queue& queue;
        std::thread& thread;
        ~Joiner() {
            queue.Stop();
            if (thread.joinable()) {
                thread.join();
            }
        }
    } joiner{queue, decoding};

    while (!picturesDone_) {
        Decoded item = queue.Pop();
        switch (item.kind) {
        case Decoded::Kind::Picture:
            PushVideo(item.frame.get());
            continue;
        case Decoded::Kind::Sound:
            PushAudio(item.frame.get());
            continue;
        case Decoded::Kind::Position:
            if (!progress_.Position(item.position)) {
                Fail(rc::Error, "stopped at the caller's request");
            }
            continue;
        case Decoded::Kind::PicturesEnd:
            CloseVideoGraph();
            continue;
        case Decoded::Kind::End:
            decoding.join();
            if (item.error) {
                std::rethrow_exception(item.error);
            }
            break;
        }
        break;
    }
    if (picturesDone_) { // the decoding thread is not needed any more; its count is read below
        queue.Stop();
        decoding.join();
    }

    // Flush the remaining stages in order, so the last pictures and samples are not lost.
    if (audioDecoder_) {
        CloseAudioGraph();
        FlushAudio();
    }
    Encode(nullptr);
    if (decodeErrors_ > 0) {
        LogLine(kLogModule, std::to_string(decodeErrors_) + " damaged packets skipped");
    }
    if (writer_->VideoFrames() == 0) {
        Fail(rc::InputCodecUnsupported, "no picture of " + options_.inputPath + " could be decoded");
    }
}

// The decoding thread: reads every packet, decodes it and hands over the pictures and sound it gives,
// then the packet's position; at the end of the input it drains the decoders. It stops early when the
// other side stops taking (a failure or a stop request there).
void CMovieTranscoder::ReadAndDecode(Queue& queue) {
    Decoded end;
    try {
        libav::PacketPtr packet(av_packet_alloc());
        if (!packet) {
            throw std::bad_alloc();
        }
        for (;;) {
            const int error = av_read_frame(input_.get(), packet.get());
            if (error == AVERROR(EAGAIN)) {
                continue;
            }
            if (error < 0) {
                if (error != AVERROR_EOF) {
                    // A damaged end of file: keep what was read, as a player would.
                    LogLine(kLogModule, "reading stopped early: " + libav::ErrorText(error));
                }
                break;
            }
            Decoded position;
            position.kind = Decoded::Kind::Position;
            position.position = PacketPosition(*packet);
            bool taken = true;
            if (packet->stream_index == videoIndex_) {
                taken = DecodeVideo(packet.get(), queue);
            } else if (packet->stream_index == audioIndex_) {
                taken = Decode(audioDecoder_.get(), packet.get(), Decoded::Kind::Sound, queue);
            }
            av_packet_unref(packet.get());
            if (!taken || !queue.Push(std::move(position), false)) {
                return;
            }
        }
        Decoded picturesEnd;
        picturesEnd.kind = Decoded::Kind::PicturesEnd;
        if (!DecodeVideo(nullptr, queue) || !queue.Push(std::move(picturesEnd), false)) {
            return;
        }
        if (audioDecoder_ && !Decode(audioDecoder_.get(), nullptr, Decoded::Kind::Sound, queue)) {
            return;
        }
    } catch (...) {
        end.error = std::current_exception();
    }
    queue.Push(std::move(end), false);
}

// How many video packets are held back: more than any reordering of B-pictures spans.
constexpr std::size_t kLookaheadPackets = 8;
constexpr std::size_t kRecentTimestamps = 64;

// A video packet (nullptr: the end of the stream) on its way to the decoder, through the look-ahead
// when pictures may be skipped.
bool CMovieTranscoder::DecodeVideo(AVPacket* packet, Queue& queue) {
    if (!disposable_) {
        return Decode(videoDecoder_.get(), packet, Decoded::Kind::Picture, queue);
    }
    if (packet != nullptr) {
        if (packet->pts != AV_NOPTS_VALUE) {
            recentPts_.insert(packet->pts);
            if (recentPts_.size() > kRecentTimestamps) {
                recentPts_.erase(recentPts_.begin());
            }
        }
        libav::PacketPtr held(av_packet_alloc());
        if (!held) {
            throw std::bad_alloc();
        }
        av_packet_move_ref(held.get(), packet);
        lookahead_.push_back(std::move(held));
        return lookahead_.size() <= kLookaheadPackets || DecodeFirstLookahead(queue);
    }
    while (!lookahead_.empty()) {
        if (!DecodeFirstLookahead(queue)) {
            return false;
        }
    }
    if (picturesSkipped_ > 0) {
        LogLine(kLogModule,
                std::to_string(picturesSkipped_) + " pictures the frame rate drops left undecoded");
    }
    return Decode(videoDecoder_.get(), nullptr, Decoded::Kind::Picture, queue);
}

bool CMovieTranscoder::DecodeFirstLookahead(Queue& queue) {
    const libav::PacketPtr first = std::move(lookahead_.front());
    lookahead_.pop_front();
    if (first->pts != AV_NOPTS_VALUE && DroppedByFrameRate(first->pts) && disposable_->Disposable(*first)) {
        ++picturesSkipped_;
        return true;
    }
    return Decode(videoDecoder_.get(), first.get(), Decoded::Kind::Picture, queue);
}

// Whether the frame-rate conversion drops the picture shown at pts: it keeps, for every output instant,
// the last picture at or before it (timestamps rounded up to output instants), so a picture whose
// successor in display order rounds to the same instant or earlier is never shown.
bool CMovieTranscoder::DroppedByFrameRate(std::int64_t pts) const {
    const auto next = recentPts_.upper_bound(pts);
    if (next == recentPts_.end()) {
        return false;
    }
    const std::int64_t shift = av_rescale_q(startTime_, AV_TIME_BASE_Q, videoTimeBase_);
    const AVRational output{options_.frameRateDen, options_.frameRateNum};
    const auto instant = [&](std::int64_t stamp) {
        return av_rescale_q_rnd(stamp - shift, videoTimeBase_, output,
                                static_cast<AVRounding>(AV_ROUND_UP | AV_ROUND_PASS_MINMAX));
    };
    return instant(*next) <= instant(pts);
}

std::int64_t CMovieTranscoder::PacketPosition(const AVPacket& packet) const {
    if (totalMs_ > 0) {
        const std::int64_t stamp = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
        if (stamp == AV_NOPTS_VALUE) {
            return 0; // the reporter keeps the furthest position so far
        }
        const AVRational base = input_->streams[packet.stream_index]->time_base;
        return (av_rescale_q(stamp, base, AV_TIME_BASE_Q) - startTime_) / 1000;
    }
    return input_->pb != nullptr ? avio_tell(input_->pb) / 1024 : 0;
}

// Sends one packet (nullptr: the end of the stream) to a decoder and hands every picture or block of
// sound it gives over as `kind`. A damaged packet is counted and skipped; at the end of the stream the
// decoder is drained. False when the other side no longer takes anything.
bool CMovieTranscoder::Decode(AVCodecContext* decoder, const AVPacket* packet, Decoded::Kind kind,
                              Queue& queue) {
    int error = avcodec_send_packet(decoder, packet);
    if (error < 0 && error != AVERROR_EOF) {
        ++decodeErrors_;
        if (packet != nullptr) {
            return true;
        }
    }
    for (;;) {
        error = avcodec_receive_frame(decoder, decoded_.get());
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) {
            return true;
        }
        if (error < 0) {
            ++decodeErrors_;
            if (packet == nullptr && error != AVERROR_INVALIDDATA) {
                return true;
            }
            continue;
        }
        Decoded item;
        item.kind = kind;
        item.frame.reset(av_frame_alloc());
        if (!item.frame) {
            throw std::bad_alloc();
        }
        av_frame_move_ref(item.frame.get(), decoded_.get());
        if (!queue.Push(std::move(item), kind == Decoded::Kind::Picture)) {
            return false;
        }
    }
}

void CMovieTranscoder::PushVideo(AVFrame* frame) {
    const std::int64_t shift = av_rescale_q(startTime_, AV_TIME_BASE_Q, videoTimeBase_);
    std::int64_t pts = frame->best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE) {
        pts -= shift;
    } else {
        pts = nextVideoPts_ != AV_NOPTS_VALUE ? nextVideoPts_ : 0;
    }
    // How long this picture stands: its packet's duration, else one frame of the stream's own rate.
    std::int64_t duration = frame->pkt_duration;
    if (duration <= 0) {
        duration = std::max<std::int64_t>(1, av_rescale_q(1, av_inv_q(videoRate_), videoTimeBase_));
    }
    if (nextVideoPts_ != AV_NOPTS_VALUE && pts < nextVideoPts_ - duration * 64) {
        // Timestamps jumped backwards (a damaged or spliced file): carry on from where we were.
        pts = nextVideoPts_;
    }
    frame->pts = pts;
    nextVideoPts_ =
        std::max(nextVideoPts_ == AV_NOPTS_VALUE ? pts + duration : nextVideoPts_, pts + duration);

    if (!videoGraph_) {
        BuildVideoGraph(*frame);
    }
    const int error = av_buffersrc_add_frame_flags(videoSource_, frame, 0);
    av_frame_unref(frame);
    if (error < 0) {
        FailLibav(rc::Error, "cannot filter a picture", error);
    }
    PullVideo();
}

void CMovieTranscoder::BuildVideoGraph(const AVFrame& first) {
    videoGraph_.reset(avfilter_graph_alloc());
    if (!videoGraph_) {
        throw std::bad_alloc();
    }
    AVRational aspect = first.sample_aspect_ratio;
    if (aspect.num <= 0 || aspect.den <= 0) {
        aspect = AVRational{1, 1};
    }
    const char* format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(first.format));
    if (format == nullptr) {
        Fail(rc::InputCodecUnsupported, "the decoder gives pictures of an unknown pixel format");
    }
    const std::string sourceArguments =
        "video_size=" + std::to_string(first.width) + "x" + std::to_string(first.height) +
        ":pix_fmt=" + format + ":time_base=" + Rational(videoTimeBase_) + ":pixel_aspect=" + Rational(aspect);
    const char* scaleFlags = reducing_ ? kReducingScaleFlags : kScaleFlags;
    std::string chain;
    if (options_.deinterlace) {
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
    const bool toneMapped =
        first.color_trc == AVCOL_TRC_SMPTE2084 || first.color_trc == AVCOL_TRC_ARIB_STD_B67;
    // Pictures above 1440p come to the frame-rate step scaled: it holds two pictures, 50 MB at 4K in
    // 10 bits and 2 MB at the device's size. The pictures it drops are mostly left undecoded by then,
    // so hardly any is scaled in vain.
    const bool frameRateLast = std::int64_t{first.width} * first.height > kLargestEarlyFrameRate &&
                               !options_.deinterlace && !toneMapped;
    if (!frameRateLast) {
        chain += frameRate;
    }
    expandRange_ = ScalerKeepsLimitedRange(first, toneMapped);
    if (toneMapped) {
        const char* transfer = first.color_trc == AVCOL_TRC_SMPTE2084 ? "smpte2084" : "arib-std-b67";
        chain += std::string("zscale=tin=") + transfer +
                 ":min=bt2020nc:pin=bt2020:t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,"
                 "tonemap=tonemap=hable:desat=0,zscale=t=bt709:m=bt709:r=tv,format=yuv420p,";
    }
    // Turning and fitting come after the frame-rate conversion and before the scaler, so that the
    // scaler sees the picture upright and in the shape it is to keep.
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
    progress_.Written(writer_->WriteChunk(stream, data, size));
}

} // namespace k72
