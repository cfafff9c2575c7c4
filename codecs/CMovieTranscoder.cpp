#include "codecs/CMovieTranscoder.h"

#include "codecs/TranscodeFailure.h"

namespace k72 {
namespace {

using transcoding::Fail;
using transcoding::FailLibav;
using transcoding::Failure;
using transcoding::kLogModule;

// Which pictures' in-loop deblocking a reduced decode skips (those no other picture is predicted
// from), and its flags.
constexpr AVDiscard kSkipLoopFilter = AVDISCARD_NONREF;
// How long before the moment a preview starts at its pictures go through the filters: more than the
// frame-rate step and the deinterlacer look back at any frame rate a movie has.
constexpr std::int64_t kLeadInMicroseconds = 200000;
constexpr int kDecoderFlags2 = AV_CODEC_FLAG2_FAST;

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
// show. It is skipped only on pictures no other picture is predicted from: there its error ends with the
// picture. Skipped on every picture it saved a tenth more of the decoding, but the error then travels
// from picture to picture until the next key picture, and the converted movie came out 0.3 dB below the
// command line's against a fully decoded reference; skipped on these alone it stays within 0.05 dB.
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

std::size_t PicturesAhead(const AVCodecParameters& video) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(video.format));
    const std::uint64_t bytesPerSample = descriptor != nullptr && descriptor->comp[0].depth > 8 ? 2 : 1;
    const std::uint64_t bytes = std::uint64_t{static_cast<std::uint32_t>(std::max(video.width, 1))} *
                                static_cast<std::uint32_t>(std::max(video.height, 1)) * 3 / 2 *
                                bytesPerSample;
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(kBytesAhead / bytes, 1, kPicturesAhead));
}

// Decoder threads: one a core and one more (the library's own choice), but fewer for pictures of 4K
// and more, where each thread holds a picture of its own (25 MB at 4K in 10 bits): one for each core
// the filters and the encoder leave, at most two. On two cores a second decoding thread held a picture
// more and took the phone movie over 250 MB.
int DecoderThreads(const AVCodecParameters& video) {
    const bool huge = std::int64_t{video.width} * video.height > std::int64_t{2560} * 1440;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return huge ? static_cast<int>(std::clamp(cores, 2u, 3u) - 1) : 0;
}

// Whether a source has pictures to deinterlace: its first picture is marked as interlaced, or its
// stream gives an order of fields. A progressive source (a phone's movie) is shown as it is: the
// deinterlacer would only soften it, hold a few full-size pictures and need every picture decoded.
bool InterlacedSource(const AVFrame& first, AVFieldOrder order) {
    return first.interlaced_frame != 0 || (order != AV_FIELD_UNKNOWN && order != AV_FIELD_PROGRESSIVE);
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
        FinishOutput();
    } catch (const Failure& failure) {
        result = failure.code;
        LogLine(kLogModule, failure.reason);
        // What fits under the limit is still a whole, readable file.
        if (failure.code == rc::FileSizeOverLimit && writer_ && Failed(writer_->Finish())) {
            LogLine(kLogModule, writer_->FailureReason());
        }
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
    fitGraph_.reset();
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
    ChooseStreams();
    videoDecoder_ = OpenDecoder(videoIndex_);
    if (audioIndex_ >= 0) {
        audioDecoder_ = OpenDecoder(audioIndex_);
    }
    ReadVideoDetails();
    FindStartTime();
    ReportTotal();
}

void CMovieTranscoder::ChooseStreams() {
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
}

void CMovieTranscoder::ReadVideoDetails() {
    const AVStream* video = input_->streams[videoIndex_];
    videoTimeBase_ = video->time_base;
    fieldOrder_ = video->codecpar->field_order;
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
}

void CMovieTranscoder::FindStartTime() {
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
        leadInPts_ = av_rescale_q(moment - kLeadInMicroseconds, AV_TIME_BASE_Q, videoTimeBase_);
    }
}

void CMovieTranscoder::ReportTotal() {
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
    // Pictures the frame-rate conversion drops need no decoding when nothing refers to them. Not while
    // deinterlacing, which looks at the pictures on either side of each, except those long before the
    // moment a preview starts at.
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !options_.fullDecode) {
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
    const ResultCode created = writer_->Create(options_.outputPath, options_.overwrite);
    if (Failed(created)) {
        const std::string reason = writer_->FailureReason();
        writer_.reset(); // nothing of it to finish
        Fail(created, reason);
    }
    progress_.Written(writer_->Size());
}

void CMovieTranscoder::FinishOutput() {
    const std::uint64_t before = writer_->Size();
    if (Failed(writer_->Finish())) {
        const std::string reason = writer_->FailureReason();
        writer_.reset(); // a file that could not be finished is not finished again
        Fail(rc::Error, reason);
    }
    progress_.Written(writer_->Size() - before);
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
        const libav::PacketPtr packet = libav::NewPacket();
        while (libav::ReadNextPacket(input_.get(), packet.get(), kLogModule)) {
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
    // Until the first picture shows whether the source is interlaced, a deinterlacer may need them all.
    const bool deinterlacing = options_.deinterlace && (!interlacingKnown_ || deinterlacing_);
    if (first->pts != AV_NOPTS_VALUE &&
        ((!deinterlacing && DroppedByFrameRate(first->pts)) || SupersededBeforeLeadIn(first->pts)) &&
        disposable_->Disposable(*first)) {
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

// Whether a picture is followed by another that still comes before the lead-in of the moment a
// preview starts at: it can never be shown, nor be a neighbour the deinterlacer looks at.
bool CMovieTranscoder::SupersededBeforeLeadIn(std::int64_t pts) const {
    if (leadInPts_ == AV_NOPTS_VALUE) {
        return false;
    }
    const auto next = recentPts_.upper_bound(pts);
    return next != recentPts_.end() && *next < leadInPts_;
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
        if (kind == Decoded::Kind::Picture && !PrepareWhileDecoding(item.frame, queue)) {
            continue;
        }
        if (!queue.Push(std::move(item), kind == Decoded::Kind::Picture)) {
            return false;
        }
    }
}

// What the decoding thread does to a picture before it hands it over: at the first, the choice of
// deinterlacing; a very large picture is fitted. False when there is nothing to hand over.
bool CMovieTranscoder::PrepareWhileDecoding(libav::FramePtr& frame, Queue& queue) {
    if (!interlacingKnown_) {
        interlacingKnown_ = true;
        deinterlacing_ = options_.deinterlace && InterlacedSource(*frame, fieldOrder_);
        fitWhileDecoding_ = FitsWhileDecoding(*frame);
    }
    if (!fitWhileDecoding_) {
        return true;
    }
    if (!fitGraph_) {
        BuildFitGraph(*frame);
        queue.SetPictureLimit(kPicturesAhead);
    }
    return FitWhileDecoding(frame);
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

    if (leadInPts_ != AV_NOPTS_VALUE && pts < leadInPts_ - shift) {
        if (!heldBeforeLeadIn_) {
            heldBeforeLeadIn_.reset(av_frame_alloc());
            if (!heldBeforeLeadIn_) {
                throw std::bad_alloc();
            }
        }
        av_frame_unref(heldBeforeLeadIn_.get());
        av_frame_move_ref(heldBeforeLeadIn_.get(), frame);
        return;
    }
    FilterHeldPicture();
    FilterPicture(frame);
}

void CMovieTranscoder::FilterHeldPicture() {
    if (heldBeforeLeadIn_ && heldBeforeLeadIn_->buf[0] != nullptr) {
        FilterPicture(heldBeforeLeadIn_.get());
    }
}

void CMovieTranscoder::FilterPicture(AVFrame* frame) {
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

} // namespace k72
