#pragma once
// One movie transcode: any movie FFmpeg reads becomes an MJPEG/PCM AVI at a constant frame rate.
// Pictures: optional deinterlacing (yadif) of an interlaced source, the fps filter (every output frame is a
// real picture; missing ones are repeated, surplus ones dropped), scaling to the output size without regard
// to the aspect ratio, full-range 4:2:2, MJPEG at a fixed quantiser with frame threads. Sound: resampled and
// down-mixed to 16-bit PCM, aligned with the first picture.
// Reading and decoding run on a thread of their own, a few pictures ahead of the filters, the encoder
// and the writer, which stay on the caller's thread (and so do all reports to the caller).

#include "codecs/CAviWriter.h"
#include "codecs/CMovieTranscoderQueue.h"
#include "codecs/CTranscodeProgress.h"
#include "codecs/DisposablePicture.h"
#include "codecs/LibavHandles.h"
#include "codecs/ResultCodes.h"
#include "codecs/TranscodeOptions.h"

#include <array>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace k72 {

class CMovieTranscoder {
public:
    CMovieTranscoder(const TranscodeOptions& options, CTranscodeProgress& progress);
    ~CMovieTranscoder();
    CMovieTranscoder(const CMovieTranscoder&) = delete;
    CMovieTranscoder& operator=(const CMovieTranscoder&) = delete;

    // Runs the whole conversion and reports its result through the progress object. Never throws.
    [[nodiscard]] ResultCode Run();

private:
    void OpenInput();
    // The picture stream (not a cover picture) and the sound that goes with it; the rest is discarded.
    void ChooseStreams();
    // The picture stream's time base, frame rate and display matrix.
    void ReadVideoDetails();
    // The moment the output starts at: the earliest start of the streams used, or the one asked for.
    void FindStartTime();
    // The scale of the progress reports: the duration in ms, or the file's size in KiB.
    void ReportTotal();
    libav::CodecContextPtr OpenDecoder(int streamIndex);
    void OpenEncoder();
    void CreateOutput();
    // Writes the index and the final counts; a failure is the transcode's.
    void FinishOutput();
    void Transcode();

    // What the decoding thread hands over, in decoding order.
    struct Decoded {
        enum class Kind { Picture, Sound, Position, PicturesEnd, End };
        Kind kind = Kind::End;
        libav::FramePtr frame;     // Picture, Sound
        std::int64_t position = 0; // Position: what the packet just decoded reports
        std::exception_ptr error;  // End: why decoding stopped early, when it failed
    };
    using Queue = CMovieTranscoderQueue<Decoded>;

    void ReadAndDecode(Queue& queue);
    bool Decode(AVCodecContext* decoder, const AVPacket* packet, Decoded::Kind kind, Queue& queue);
    bool DecodeVideo(AVPacket* packet, Queue& queue);
    bool DecodeFirstLookahead(Queue& queue);
    bool DroppedByFrameRate(std::int64_t pts) const;
    bool SupersededBeforeLeadIn(std::int64_t pts) const;
    std::int64_t PacketPosition(const AVPacket& packet) const;
    void PushVideo(AVFrame* frame);
    void FilterHeldPicture();
    void FilterPicture(AVFrame* frame);
    void PushAudio(AVFrame* frame);
    void CloseVideoGraph();
    void CloseAudioGraph();
    // Turning, cropping, scaling and padding the picture to the output's shape and size.
    std::string FitFilters(const AVFrame& first, AVRational aspect, const char* scaleFlags) const;
    // The picture source's arguments for a graph that takes pictures like the first; sets the aspect.
    std::string PictureSourceArguments(const AVFrame& first, AVRational* aspect) const;
    // Whether pictures like the first are turned, fitted and scaled on the decoding thread as soon as
    // they are decoded: pictures above 1440p, when they need neither deinterlacing nor tone mapping. A
    // full-size picture then goes back to the decoder at once instead of waiting in the queue and the
    // filters (25 MB each at 4K in 10 bits), and its scaling runs beside the encoder.
    bool FitsWhileDecoding(const AVFrame& first) const;
    void BuildFitGraph(const AVFrame& first);
    bool PrepareWhileDecoding(libav::FramePtr& frame, Queue& queue);
    // Replaces a decoded picture with its fitted one; false when the filters gave none.
    bool FitWhileDecoding(libav::FramePtr& frame);
    void BuildVideoGraph(const AVFrame& first);
    void BuildAudioGraph(const AVFrame& first);
    void PullVideo();
    void PullAudio();
    void Encode(AVFrame* frame);
    void WriteAudio(const AVFrame& frame);
    void AppendAudio(const std::uint8_t* data, std::size_t size);
    void FlushAudio();
    void WriteChunk(CAviWriter::Stream stream, const std::uint8_t* data, std::size_t size);

    const TranscodeOptions& options_;
    CTranscodeProgress& progress_;

    libav::InputContextPtr input_;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    std::int64_t startTime_ = 0; // AV_TIME_BASE units: the moment that becomes the first picture
    std::int64_t totalMs_ = 0;   // 0 when the duration is unknown and progress follows the bytes read
    libav::CodecContextPtr videoDecoder_;
    libav::CodecContextPtr audioDecoder_;
    libav::CodecContextPtr encoder_;
    libav::FramePtr decoded_; // the decoding thread's
    libav::FramePtr filtered_;
    libav::PacketPtr encoded_;

    // What the filters need of the streams, taken before decoding starts, as the reading thread may
    // touch the streams.
    AVRational videoTimeBase_{1, 1};
    AVRational videoRate_{25, 1}; // the stream's own frame rate, for pictures without a duration
    AVRational audioTimeBase_{1, 1};
    bool hasStreamMatrix_ = false;
    std::array<std::int32_t, 9> streamMatrix_{};

    libav::FilterGraphPtr videoGraph_;
    AVFilterContext* videoSource_ = nullptr;
    AVFilterContext* videoSink_ = nullptr;
    std::int64_t nextVideoPts_ = AV_NOPTS_VALUE; // the video stream's time base, after the shift
    bool videoGraphClosed_ = false;
    // A conversion that starts at a moment (a preview) decodes from the key picture before it. Pictures
    // more than the lead-in before the moment never reach the filters: only the last of them is held,
    // in case nothing later comes before the moment, and those that nothing refers to stay undecoded.
    libav::FramePtr heldBeforeLeadIn_;
    std::int64_t leadInPts_ = AV_NOPTS_VALUE; // the video stream's time base, before the shift
    AVFieldOrder fieldOrder_ = AV_FIELD_UNKNOWN;
    // Whether the pictures go through the deinterlacer: asked for, and the source is interlaced. Set by
    // the decoding thread as it decodes the first picture, before it hands that picture over.
    bool interlacingKnown_ = false;
    bool deinterlacing_ = false;
    bool fitWhileDecoding_ = false; // set with deinterlacing_; the graph below is the decoding thread's
    libav::FilterGraphPtr fitGraph_;
    AVFilterContext* fitSource_ = nullptr;
    AVFilterContext* fitSink_ = nullptr;
    bool reducing_ = false;    // the picture shrinks to half or less: lighter decoding, a sharper scaler
    bool expandRange_ = false; // the scaler keeps the limited range; ExpandRange makes it full

    libav::FilterGraphPtr audioGraph_;
    AVFilterContext* audioSource_ = nullptr;
    AVFilterContext* audioSink_ = nullptr;
    std::int64_t nextAudioPts_ = AV_NOPTS_VALUE; // 1 / input sample rate, after the shift
    bool audioGraphClosed_ = false;
    bool audioStarted_ = false;
    std::int64_t audioToSkip_ = 0; // output samples before the first picture
    std::vector<std::uint8_t> pendingAudio_;

    std::unique_ptr<CAviWriter> writer_;
    std::int64_t framesSent_ = 0;
    bool picturesDone_ = false;     // as many pictures as were asked for have been encoded
    std::int64_t decodeErrors_ = 0; // the decoding thread's until it ends

    // The decoding thread's: video packets held back a few at a time, so that each picture's successor
    // in display order is known when it is decoded, and pictures that the frame-rate conversion drops
    // and nothing refers to are left undecoded.
    std::optional<DisposablePicture> disposable_;
    std::deque<libav::PacketPtr> lookahead_;
    std::set<std::int64_t> recentPts_;
    std::int64_t picturesSkipped_ = 0;
};

} // namespace k72
