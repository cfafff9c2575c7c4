#include "codecs/PixelFormat.h"

namespace k72 {

AVPixelFormat ToAVPixelFormat(PixelFormat format) {
    switch (format) {
    case PixelFormat::YUV420P:
        return AV_PIX_FMT_YUV420P;
    case PixelFormat::YUYV422:
        return AV_PIX_FMT_YUYV422;
    case PixelFormat::RGB24:
        return AV_PIX_FMT_RGB24;
    case PixelFormat::BGR24:
        return AV_PIX_FMT_BGR24;
    case PixelFormat::YUV422P:
        return AV_PIX_FMT_YUV422P;
    case PixelFormat::RGB32:
        return AV_PIX_FMT_0RGB;
    case PixelFormat::YUVJ422P:
        return AV_PIX_FMT_YUVJ422P;
    case PixelFormat::BGR32:
        return AV_PIX_FMT_BGR0;
    case PixelFormat::None:
        break;
    }
    return AV_PIX_FMT_NONE;
}

int PackedPixelBytes(PixelFormat format) {
    switch (format) {
    case PixelFormat::RGB24:
    case PixelFormat::BGR24:
        return 3;
    case PixelFormat::RGB32:
    case PixelFormat::BGR32:
        return 4;
    default:
        return 0;
    }
}

} // namespace k72
