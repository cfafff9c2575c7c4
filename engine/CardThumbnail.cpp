#include "engine/CardThumbnail.h"

#include "codecs/LibavHandles.h"
#include "codecs/ff_convertermain.h"

#include <fstream>
#include <iterator>

namespace k72 {

bool ReadFirstMoviePicture(const std::filesystem::path& movie, std::vector<std::uint8_t>& jpeg) {
    RouteLibraryLogToDiagnostics();
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, movie.c_str(), nullptr, nullptr) < 0) {
        return false;
    }
    const libav::InputContextPtr input(raw);
    const libav::PacketPtr packet(av_packet_alloc());
    if (!packet) {
        return false;
    }
    int video = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            video = static_cast<int>(i);
            break;
        }
    }
    while (video >= 0 && av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == video && packet->size > 0) {
            jpeg.assign(packet->data, packet->data + packet->size);
            return true;
        }
        av_packet_unref(packet.get());
    }
    return false;
}

bool ReadCardThumbnail(const std::filesystem::path& file, std::uint32_t minWidth, std::uint32_t minHeight,
                       RgbImage& thumbnail) {
    std::vector<std::uint8_t> bytes;
    {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            return false;
        }
        char head[2] = {};
        in.read(head, 2);
        // A JPEG starts with its start-of-image marker; anything else is taken for a movie.
        if (in.gcount() == 2 && static_cast<unsigned char>(head[0]) == 0xFF &&
            static_cast<unsigned char>(head[1]) == 0xD8) {
            in.seekg(0);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (bytes.empty() && !ReadFirstMoviePicture(file, bytes)) {
        return false;
    }
    return RgbImage::FromJpeg(bytes.data(), bytes.size(), thumbnail, minWidth, minHeight);
}

} // namespace k72
