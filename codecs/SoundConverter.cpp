#include "codecs/SoundConverter.h"

#include "base/ByteOrder.h"
#include "base/DeviceFormat.h"
#include "base/DiagnosticLog.h"
#include "codecs/FlacSoundReader.h"
#include "codecs/LibavHandles.h"
#include "codecs/ff_convertermain.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "sound converter";

constexpr int kRate = device::kSoundRate;
constexpr int kChannels = 2;
constexpr int kBytesPerFrame = kChannels * 2;
constexpr std::uint32_t kHeaderBytes = 44;
// The RIFF size field counts everything after its own 8 bytes in 32 bits.
constexpr std::uint64_t kLargestData = 0xFFFFFFFFull - (kHeaderBytes - 8);

struct Failure {
    ResultCode code;
    std::string reason;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::array<std::uint8_t, kHeaderBytes> WavHeader(std::uint32_t dataBytes) {
    std::array<std::uint8_t, kHeaderBytes> h{};
    std::copy_n("RIFF", 4, h.begin());
    byteorder::StoreLE32(&h[4], dataBytes + kHeaderBytes - 8);
    std::copy_n("WAVEfmt ", 8, h.begin() + 8);
    byteorder::StoreLE32(&h[16], 16);
    byteorder::StoreLE16(&h[20], 1); // PCM
    byteorder::StoreLE16(&h[22], kChannels);
    byteorder::StoreLE32(&h[24], kRate);
    byteorder::StoreLE32(&h[28], kRate * kBytesPerFrame);
    byteorder::StoreLE16(&h[32], kBytesPerFrame);
    byteorder::StoreLE16(&h[34], 16);
    std::copy_n("data", 4, h.begin() + 36);
    byteorder::StoreLE32(&h[40], dataBytes);
    return h;
}

// The open and every read of the source ask this whether to give up, so that a cancel reaches a read
// that waits on a slow file too.
int InterruptRequested(void* flag) {
    return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

class SoundJob {
public:
    SoundJob(const std::string& source, const std::string& destination, const SoundConversionControl& control)
        : source_(source), destination_(destination), control_(control) {}

    void Run() {
        Open();
        StopIfCancelled();
        output_.reset(std::fopen(destination_.c_str(), "wb"));
        if (!output_) {
            throw Failure{rc::FileError, "cannot create " + destination_};
        }
        Write(WavHeader(0).data(), kHeaderBytes);
        frame_.reset(av_frame_alloc());
        if (!frame_) {
            throw std::bad_alloc();
        }
        if (NeedsLibFlac(*input_->streams[streamIndex_]->codecpar)) {
            ReadThroughLibFlac();
        } else {
            ReadPackets();
        }
        Decode(nullptr);
        FlushResampler();
        if (dataBytes_ == 0) {
            throw Failure{rc::InputCodecUnsupported, "no sound of " + source_ + " could be decoded"};
        }
        if (std::fseek(output_.get(), 0, SEEK_SET) != 0) {
            throw Failure{rc::FileError, "cannot finish " + destination_};
        }
        Write(WavHeader(static_cast<std::uint32_t>(dataBytes_)).data(), kHeaderBytes);
        if (std::fclose(output_.release()) != 0) {
            throw WriteFailure("cannot finish ");
        }
        if (control_.progress) {
            control_.progress(1000);
        }
    }

private:
    void ReadPackets() {
        const libav::PacketPtr packet = libav::NewPacket();
        while (libav::ReadNextPacket(input_.get(), packet.get(), kLogModule)) {
            if (packet->stream_index == streamIndex_) {
                Decode(packet.get());
                Report(*packet);
            }
            av_packet_unref(packet.get());
            StopIfCancelled();
        }
        StopIfCancelled();
    }

    // Memory that ran out is said as such, not taken for a sound that cannot be read.
    static void ThrowIfOutOfMemory(int error) {
        if (error == AVERROR(ENOMEM)) {
            throw std::bad_alloc();
        }
    }

    void StopIfCancelled() const {
        if (control_.cancel != nullptr && control_.cancel->load()) {
            throw Failure{rc::Error, "cancelled"};
        }
    }

    // The share of the source read so far: the packet's time within the sound's length where the file
    // tells both, otherwise the position in the file. It only grows, and stays below 1000 until the
    // file is written.
    void Report(const AVPacket& packet) {
        if (!control_.progress) {
            return;
        }
        int permille = -1;
        const AVStream* stream = input_->streams[streamIndex_];
        const std::int64_t at = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
        double length = 0;
        if (stream->duration > 0) {
            length = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
        } else if (input_->duration > 0) {
            length = static_cast<double>(input_->duration) / AV_TIME_BASE;
        }
        if (at != AV_NOPTS_VALUE && length > 0) {
            const double start = stream->start_time != AV_NOPTS_VALUE
                                     ? static_cast<double>(stream->start_time) * av_q2d(stream->time_base)
                                     : 0.0;
            const double end = static_cast<double>(at + packet.duration) * av_q2d(stream->time_base);
            permille = static_cast<int>((end - start) / length * 1000);
        } else if (input_->pb != nullptr) {
            const std::int64_t size = avio_size(input_->pb);
            const std::int64_t position = avio_tell(input_->pb);
            if (size > 0 && position >= 0) {
                permille = static_cast<int>(position * 1000 / size);
            }
        }
        permille = std::min(permille, 999);
        if (permille > reported_) {
            reported_ = permille;
            control_.progress(permille);
        }
    }

    void Open() {
        AVFormatContext* raw = avformat_alloc_context();
        if (raw == nullptr) {
            throw std::bad_alloc();
        }
        if (control_.cancel != nullptr) {
            raw->interrupt_callback.callback = InterruptRequested;
            raw->interrupt_callback.opaque = const_cast<std::atomic<bool>*>(control_.cancel);
        }
        // On failure the context is freed and raw set to null.
        int error = avformat_open_input(&raw, source_.c_str(), nullptr, nullptr);
        if (error < 0) {
            StopIfCancelled();
            ThrowIfOutOfMemory(error);
            throw Failure{rc::CannotOpenInput, "cannot open " + source_ + ": " + libav::ErrorText(error)};
        }
        input_.reset(raw);
        if ((error = avformat_find_stream_info(input_.get(), nullptr)) < 0) {
            StopIfCancelled();
            ThrowIfOutOfMemory(error);
            throw Failure{rc::CannotOpenInput, "cannot read the streams of " + source_};
        }
        const AVCodec* codec = nullptr;
        streamIndex_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (streamIndex_ == AVERROR_DECODER_NOT_FOUND) {
            throw Failure{rc::InputCodecUnsupported, "no decoder for the sound of " + source_};
        }
        if (streamIndex_ < 0) {
            throw Failure{rc::StreamNotFound, source_ + " holds no sound"};
        }
        for (unsigned i = 0; i < input_->nb_streams; ++i) {
            input_->streams[i]->discard =
                static_cast<int>(i) == streamIndex_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        }
        decoder_.reset(avcodec_alloc_context3(codec));
        if (!decoder_) {
            throw std::bad_alloc();
        }
        const AVStream* stream = input_->streams[streamIndex_];
        if (avcodec_parameters_to_context(decoder_.get(), stream->codecpar) < 0 ||
            avcodec_open2(decoder_.get(), codec, nullptr) < 0) {
            throw Failure{rc::InputCodecUnsupported,
                          std::string("cannot open the ") + codec->name + " decoder"};
        }
        decoder_->pkt_timebase = stream->time_base;
    }

    void Decode(const AVPacket* packet) {
        int error = avcodec_send_packet(decoder_.get(), packet);
        ThrowIfOutOfMemory(error);
        if (error < 0 && error != AVERROR_EOF) {
            ++damaged_;
            if (packet != nullptr) {
                return; // a damaged packet: the rest of the sound still counts
            }
        }
        for (;;) {
            error = avcodec_receive_frame(decoder_.get(), frame_.get());
            ThrowIfOutOfMemory(error);
            if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) {
                return;
            }
            if (error < 0) {
                ++damaged_;
                if (packet == nullptr && error != AVERROR_INVALIDDATA) {
                    return;
                }
                continue;
            }
            Resample(*frame_);
            av_frame_unref(frame_.get());
        }
    }

    // The whole file through libFLAC; failures inside its callbacks are carried out of them, since they
    // may not unwind through the library's C code.
    void ReadThroughLibFlac() {
        std::exception_ptr failure;
        std::string reason;
        const bool read = ReadFlacFile(
            source_,
            [&](const AVFrame& frame, int permille) {
                try {
                    Resample(frame);
                    StopIfCancelled();
                    if (control_.progress && std::min(permille, 999) > reported_) {
                        reported_ = std::min(permille, 999);
                        control_.progress(reported_);
                    }
                    return true;
                } catch (...) {
                    failure = std::current_exception();
                    return false;
                }
            },
            &reason);
        if (failure) {
            std::rethrow_exception(failure);
        }
        if (!read) {
            LogLine(kLogModule, reason);
        }
    }

    // (Re)creates the resampler for the frame's format; a stream whose format changes part way through
    // (a chained Ogg file, a radio recording) goes on with a new one.
    void Prepare(const AVFrame& frame) {
        AVChannelLayout layout{};
        if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame.ch_layout.nb_channels <= 0) {
            av_channel_layout_default(&layout,
                                      frame.ch_layout.nb_channels > 0 ? frame.ch_layout.nb_channels : 1);
        } else if (av_channel_layout_copy(&layout, &frame.ch_layout) < 0) {
            throw std::bad_alloc();
        }
        const bool same = resampler_ && inRate_ == frame.sample_rate && inFormat_ == frame.format &&
                          av_channel_layout_compare(&inLayout_, &layout) == 0;
        if (same) {
            av_channel_layout_uninit(&layout);
            return;
        }
        FlushResampler();
        fedSamples_ = 0;
        madeSamples_ = 0;
        av_channel_layout_uninit(&inLayout_);
        inLayout_ = layout;
        inRate_ = frame.sample_rate;
        inFormat_ = frame.format;
        SwrContext* raw = nullptr;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&raw, &stereo, AV_SAMPLE_FMT_S16, kRate, &inLayout_,
                                static_cast<AVSampleFormat>(frame.format), frame.sample_rate, 0,
                                nullptr) < 0 ||
            raw == nullptr) {
            throw Failure{rc::InputCodecUnsupported, "the sound's format cannot be resampled"};
        }
        resampler_.reset(raw);
        if (swr_init(resampler_.get()) < 0) {
            throw Failure{rc::InputCodecUnsupported, "the sound's format cannot be resampled"};
        }
    }

    void Resample(const AVFrame& frame) {
        if (frame.nb_samples <= 0 || frame.sample_rate <= 0) {
            return;
        }
        if (frame.sample_rate > libav::kHighestSourceSoundRate) {
            throw Failure{rc::InputCodecUnsupported, libav::SoundRateRefusal(frame.sample_rate)};
        }
        Prepare(frame);
        fedSamples_ += frame.nb_samples;
        Convert(const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
    }

    void FlushResampler() {
        if (!resampler_) {
            return;
        }
        if (madeSamples_ == 0 && fedSamples_ > 0) {
            FlushShortSound();
        }
        Convert(nullptr, 0);
        outputLimit_ = -1;
    }

    // A sound shorter than the resampler's filter (a few dozen samples: a click, a blip) gives nothing
    // when flushed: the filter never fills. Silence after it carries it through, and the output is cut
    // to the length the sound has at the device's rate.
    void FlushShortSound() {
        const int silence = std::max(inRate_ / 10, 64);
        std::uint8_t** planes = nullptr;
        if (av_samples_alloc_array_and_samples(&planes, nullptr, inLayout_.nb_channels, silence,
                                               static_cast<AVSampleFormat>(inFormat_), 0) < 0) {
            throw std::bad_alloc();
        }
        const std::unique_ptr<std::uint8_t*, void (*)(std::uint8_t**)> owner(planes, [](std::uint8_t** p) {
            av_freep(&p[0]);
            av_freep(&p);
        });
        av_samples_set_silence(planes, 0, silence, inLayout_.nb_channels,
                               static_cast<AVSampleFormat>(inFormat_));
        outputLimit_ = std::max<std::int64_t>(1, av_rescale(fedSamples_, kRate, inRate_));
        Convert(const_cast<const std::uint8_t**>(planes), silence);
    }

    void Convert(const std::uint8_t** in, int samples) {
        for (;;) {
            const int room = swr_get_out_samples(resampler_.get(), samples);
            if (room < 0) {
                throw Failure{rc::Error, "the resampler failed"};
            }
            const int capacity = room + 256;
            buffer_.resize(static_cast<std::size_t>(capacity) * kBytesPerFrame);
            std::uint8_t* out = buffer_.data();
            const int made = swr_convert(resampler_.get(), &out, capacity, in, samples);
            ThrowIfOutOfMemory(made);
            if (made < 0) {
                throw Failure{rc::Error, "the resampler failed"};
            }
            std::int64_t kept = made;
            if (outputLimit_ >= 0) {
                kept = std::min(kept, outputLimit_ - madeSamples_);
            }
            if (kept > 0) {
                Append(buffer_.data(), static_cast<std::size_t>(kept) * kBytesPerFrame);
                madeSamples_ += kept;
            }
            // Fed input is taken whole; a flush goes on until the resampler holds nothing more.
            if (in != nullptr || made == 0) {
                return;
            }
        }
    }

    void Append(const std::uint8_t* data, std::size_t bytes) {
        if (dataBytes_ + bytes > kLargestData) {
            throw Failure{rc::FileSizeOverLimit, source_ + " is too long for a WAV file"};
        }
        Write(data, bytes);
        dataBytes_ += bytes;
    }

    void Write(const std::uint8_t* data, std::size_t bytes) {
        if (std::fwrite(data, 1, bytes, output_.get()) != bytes) {
            throw WriteFailure("cannot write ");
        }
    }
    // A full disk is told apart from other write errors: the user can do something about it.
    Failure WriteFailure(const std::string& what) const {
        const bool full = errno == ENOSPC || errno == EDQUOT;
        return Failure{full ? rc::DiscSpaceInsufficient : rc::FileError,
                       what + destination_ + ": " + std::strerror(errno)};
    }

public:
    ~SoundJob() { av_channel_layout_uninit(&inLayout_); }
    SoundJob(const SoundJob&) = delete;
    SoundJob& operator=(const SoundJob&) = delete;

    std::int64_t Damaged() const { return damaged_; }

private:
    std::string source_;
    std::string destination_;
    const SoundConversionControl& control_;
    int reported_ = -1;
    libav::InputContextPtr input_;
    libav::CodecContextPtr decoder_;
    libav::FramePtr frame_;
    int streamIndex_ = -1;
    libav::ResamplerPtr resampler_;
    AVChannelLayout inLayout_{};
    int inRate_ = 0;
    int inFormat_ = -1;
    std::int64_t fedSamples_ = 0;   // into the present resampler
    std::int64_t madeSamples_ = 0;  // out of it, written
    std::int64_t outputLimit_ = -1; // a short sound's length at the device's rate; -1: none
    std::vector<std::uint8_t> buffer_;
    std::unique_ptr<std::FILE, FileCloser> output_;
    std::uint64_t dataBytes_ = 0;
    std::int64_t damaged_ = 0;
};

} // namespace

ResultCode ConvertSoundToDeviceWav(const std::string& sourcePath, const std::string& destinationPath) {
    return ConvertSoundToDeviceWav(sourcePath, destinationPath, SoundConversionControl{});
}

ResultCode ConvertSoundToDeviceWav(const std::string& sourcePath, const std::string& destinationPath,
                                   const SoundConversionControl& control) {
    RouteLibraryLogToDiagnostics();
    ResultCode result = 0;
    {
        SoundJob job(sourcePath, destinationPath, control);
        try {
            job.Run();
            if (job.Damaged() > 0) {
                LogLine(kLogModule, std::to_string(job.Damaged()) + " damaged packets skipped");
            }
        } catch (const Failure& failure) {
            LogLine(kLogModule, failure.reason);
            result = failure.code;
        } catch (const std::bad_alloc&) {
            LogLine(kLogModule, "out of memory");
            result = rc::OutOfMemory;
        } catch (const std::exception& error) {
            LogLine(kLogModule, error.what());
            result = rc::Error;
        }
    }
    if (Failed(result)) {
        std::error_code ignored;
        std::filesystem::remove(destinationPath, ignored);
    }
    return result;
}

} // namespace k72
