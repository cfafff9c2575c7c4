#include "engine/SoundStream.h"

#include "base/DeviceFormat.h"
#include "base/DiagnosticLog.h"
#include "codecs/ff_convertermain.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "sound stream";
constexpr int kChannels = device::kSoundChannels;

} // namespace

bool SoundStream::Open(const std::filesystem::path& path) {
    input_.reset();
    decoder_.reset();
    resampler_.reset();
    pending_.clear();
    pendingStart_ = 0;
    ended_ = false;
    seekTarget_ = -1;
    duration_ = 0;
    RouteLibraryLogToDiagnostics();
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return false;
    }
    libav::InputContextPtr input(raw);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return false;
    }
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || codec == nullptr) {
        return false;
    }
    libav::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), input->streams[stream]->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return false;
    }
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        input->streams[i]->discard = static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_) {
        return false;
    }
    const AVStream* sound = input->streams[stream];
    duration_ = sound->duration > 0   ? static_cast<double>(sound->duration) * av_q2d(sound->time_base)
                : input->duration > 0 ? static_cast<double>(input->duration) / AV_TIME_BASE
                                      : 0.0;
    stream_ = stream;
    path_ = path;
    input_ = std::move(input);
    decoder_ = std::move(decoder);
    return true;
}

void SoundStream::Seek(double seconds) {
    if (!input_) {
        return;
    }
    seconds = std::max(0.0, seconds);
    const AVStream* sound = input_->streams[stream_];
    const std::int64_t target =
        av_rescale_q(static_cast<std::int64_t>(seconds * AV_TIME_BASE), AV_TIME_BASE_Q, sound->time_base);
    // The device's movies mark only their pictures as key frames in the index, so a seek that wants a
    // key frame of the sound fails on them; any sound packet is a place to start decoding from (what
    // lies before the moment is dropped as it is decoded). Where even that fails, the file is opened
    // again and read from its start: a seek to its first byte would hand its headers to the demuxer,
    // which then reads pictures as sound, a burst of noise.
    if (av_seek_frame(input_.get(), stream_, target, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(input_.get(), stream_, target, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0) {
        const std::filesystem::path path = path_;
        if (!Open(path)) {
            return;
        }
    }
    avcodec_flush_buffers(decoder_.get());
    pending_.clear();
    pendingStart_ = 0;
    ended_ = false;
    seekTarget_ = seconds;
}

std::size_t SoundStream::Read(std::int16_t* samples, std::size_t frames) {
    std::size_t done = 0;
    while (done < frames && input_) {
        const std::size_t available = (pending_.size() - pendingStart_) / kChannels;
        if (available == 0) {
            pending_.clear();
            pendingStart_ = 0;
            if (!DecodeMore()) {
                break;
            }
            continue;
        }
        const std::size_t take = std::min(available, frames - done);
        std::memcpy(samples + done * kChannels, pending_.data() + pendingStart_,
                    take * kChannels * sizeof(std::int16_t));
        pendingStart_ += take * kChannels;
        done += take;
    }
    return done;
}

// Decodes the next packet of sound into pending_; false at the end of the sound or on an error.
bool SoundStream::DecodeMore() {
    while (!ended_) {
        const int received = avcodec_receive_frame(decoder_.get(), frame_.get());
        if (received == 0) {
            Append(*frame_);
            av_frame_unref(frame_.get());
            if (pending_.size() > pendingStart_) {
                return true;
            }
            continue;
        }
        if (received == AVERROR_EOF) {
            ended_ = true;
            break;
        }
        if (received != AVERROR(EAGAIN)) {
            LogLine(kLogModule, "cannot decode the sound: " + libav::ErrorText(received));
            ended_ = true;
            break;
        }
        const int read = av_read_frame(input_.get(), packet_.get());
        if (read < 0) {
            avcodec_send_packet(decoder_.get(), nullptr); // drain what the decoder still holds
            continue;
        }
        if (packet_->stream_index == stream_) {
            const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
            if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA) {
                LogLine(kLogModule, "cannot decode the sound: " + libav::ErrorText(sent));
            }
        }
        av_packet_unref(packet_.get());
    }
    return pending_.size() > pendingStart_;
}

void SoundStream::Append(const AVFrame& frame) {
    if (frame.nb_samples <= 0 || frame.sample_rate <= 0) {
        return;
    }
    if (!resampler_) {
        AVChannelLayout layout{};
        if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame.ch_layout.nb_channels <= 0) {
            av_channel_layout_default(&layout, std::max(1, frame.ch_layout.nb_channels));
        } else {
            av_channel_layout_copy(&layout, &frame.ch_layout);
        }
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        SwrContext* raw = nullptr;
        const int made =
            swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_S16, device::kSoundRate, &layout,
                                static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        resampler_.reset(raw);
        if (made < 0 || raw == nullptr || swr_init(raw) < 0) {
            LogLine(kLogModule, "the sound's format cannot be resampled");
            resampler_.reset();
            ended_ = true;
            return;
        }
    }
    const int room = swr_get_out_samples(resampler_.get(), frame.nb_samples) + 256;
    if (room <= 0) {
        return;
    }
    const std::size_t start = pending_.size();
    pending_.resize(start + static_cast<std::size_t>(room) * kChannels);
    auto* out = reinterpret_cast<std::uint8_t*>(pending_.data() + start);
    const int converted =
        swr_convert(resampler_.get(), &out, room, const_cast<const std::uint8_t**>(frame.extended_data),
                    frame.nb_samples);
    pending_.resize(start + static_cast<std::size_t>(std::max(0, converted)) * kChannels);

    if (seekTarget_ >= 0) {
        // The first sound after a seek: what lies before the moment is dropped.
        if (frame.best_effort_timestamp != AV_NOPTS_VALUE) {
            const double at = static_cast<double>(frame.best_effort_timestamp) *
                              av_q2d(input_->streams[stream_]->time_base);
            const auto early =
                static_cast<std::size_t>(std::max(0.0, std::round((seekTarget_ - at) * device::kSoundRate)));
            const std::size_t have = (pending_.size() - pendingStart_) / kChannels;
            if (early >= have) {
                pending_.resize(pendingStart_);
                return; // still before the moment: the next frame is looked at the same way
            }
            pendingStart_ += early * kChannels;
        }
        seekTarget_ = -1;
    }
}

} // namespace k72
