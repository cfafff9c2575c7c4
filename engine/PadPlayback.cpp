#include "engine/PadPlayback.h"

#include "base/DiagnosticLog.h"
#include "codecs/ff_convertermain.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "playback";

// A short jump ahead (a late timer, a dropped picture) reads on instead of seeking.
constexpr std::int64_t kLongestReadAhead = 30;

} // namespace

void PadPlayback::Reset() {
    movie_.reset();
    packet_.reset();
    videoStream_ = -1;
    frames_ = 0;
    nextIndex_ = -1;
    slides_.clear();
    secondsPerSlide_ = 0;
    duration_ = 0;
    pictureRate_ = 0;
    shownIndex_ = -1;
    sound_ = SoundStream();
}

ResultCode PadPlayback::OpenMovie(const std::filesystem::path& movie, const std::filesystem::path& sound) {
    Reset();
    RouteLibraryLogToDiagnostics();
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, movie.c_str(), nullptr, nullptr) < 0) {
        return rc::CannotOpenInput;
    }
    libav::InputContextPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return rc::CannotOpenInput;
    }
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) {
        return rc::StreamNotFound;
    }
    // Only the pictures are read here; the sound has a reader of its own.
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        input->streams[i]->discard = static_cast<int>(i) == video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    const AVStream* stream = input->streams[video];
    AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = AVRational{25, 1};
    }
    rate_ = rate;
    pictureRate_ = av_q2d(rate);
    frames_ = stream->nb_frames > 0 ? stream->nb_frames
              : stream->duration > 0
                  ? av_rescale_q(stream->duration, stream->time_base, av_inv_q(rate))
                  : static_cast<std::int64_t>(
                        std::llround(static_cast<double>(input->duration) / AV_TIME_BASE * pictureRate_));
    frames_ = std::max<std::int64_t>(frames_, 1);
    duration_ = static_cast<double>(frames_) / pictureRate_;
    videoStream_ = video;
    videoTimeBase_ = stream->time_base;
    packet_.reset(av_packet_alloc());
    movie_ = std::move(input);
    nextIndex_ = 0;

    if (!(sound.empty() ? sound_.Open(movie) : sound_.Open(sound))) {
        LogLine(kLogModule, "no sound to play with " + movie.string());
    }
    return 0;
}

ResultCode PadPlayback::OpenSlideshow(std::vector<std::filesystem::path> pictures, double secondsPerPicture,
                                      const std::filesystem::path& sound) {
    Reset();
    if (pictures.empty() || !(secondsPerPicture > 0)) {
        return rc::CannotOpenInput;
    }
    slides_ = std::move(pictures);
    secondsPerSlide_ = secondsPerPicture;
    pictureRate_ = 1.0 / secondsPerPicture;
    duration_ = static_cast<double>(slides_.size()) * secondsPerPicture;
    if (!sound.empty()) {
        if (sound_.Open(sound)) {
            duration_ = std::max(duration_, sound_.Duration());
        } else {
            LogLine(kLogModule, "the sound cannot be read: " + sound.string());
        }
    }
    return 0;
}

std::int64_t PadPlayback::PictureIndexAt(double seconds) const {
    const double at = std::isfinite(seconds) ? std::max(0.0, seconds) : 0.0;
    if (!slides_.empty()) {
        const auto index = static_cast<std::int64_t>(std::floor(at / secondsPerSlide_ + 1e-9));
        return index % static_cast<std::int64_t>(slides_.size());
    }
    const auto index = static_cast<std::int64_t>(std::floor(at * pictureRate_ + 1e-9));
    return std::clamp<std::int64_t>(index, 0, std::max<std::int64_t>(frames_ - 1, 0));
}

bool PadPlayback::PictureAt(double seconds, RgbImage& picture, bool* changed) {
    const std::int64_t index = PictureIndexAt(seconds);
    if (changed != nullptr) {
        *changed = false;
    }
    if (index == shownIndex_) {
        return true;
    }
    if (!slides_.empty()) {
        std::ifstream in(slides_[static_cast<std::size_t>(index)], std::ios::binary);
        jpeg_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else if (!movie_ || !ReadMoviePicture(index, jpeg_)) {
        return false;
    }
    if (!RgbImage::FromJpeg(jpeg_.data(), jpeg_.size(), picture)) {
        LogLine(kLogModule, "a picture cannot be decoded");
        return false;
    }
    shownIndex_ = index;
    if (changed != nullptr) {
        *changed = true;
    }
    return true;
}

// The MJPEG bytes of picture index: read on when it lies a little ahead, else sought. Every picture of
// a device movie is a key picture, so a seek lands on the picture itself.
bool PadPlayback::ReadMoviePicture(std::int64_t index, std::vector<std::uint8_t>& jpeg) {
    if (nextIndex_ < 0 || index < nextIndex_ || index - nextIndex_ > kLongestReadAhead) {
        const std::int64_t target = av_rescale_q(index, av_inv_q(rate_), videoTimeBase_);
        if (av_seek_frame(movie_.get(), videoStream_, target, AVSEEK_FLAG_BACKWARD) < 0) {
            return false;
        }
        nextIndex_ = -1; // known again from the first packet's time stamp
    }
    while (av_read_frame(movie_.get(), packet_.get()) >= 0) {
        if (packet_->stream_index != videoStream_) {
            av_packet_unref(packet_.get());
            continue;
        }
        std::int64_t at = nextIndex_;
        if (packet_->pts != AV_NOPTS_VALUE) {
            at = static_cast<std::int64_t>(
                std::llround(static_cast<double>(packet_->pts) * av_q2d(videoTimeBase_) * pictureRate_));
        } else if (packet_->dts != AV_NOPTS_VALUE) {
            at = static_cast<std::int64_t>(
                std::llround(static_cast<double>(packet_->dts) * av_q2d(videoTimeBase_) * pictureRate_));
        }
        nextIndex_ = at + 1;
        if (at >= index && packet_->size > 0) {
            jpeg.assign(packet_->data, packet_->data + packet_->size);
            av_packet_unref(packet_.get());
            return true;
        }
        av_packet_unref(packet_.get());
    }
    nextIndex_ = -1;
    return false;
}

} // namespace k72
