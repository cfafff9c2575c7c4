#include "codecs/TranscodeOptions.h"

extern "C" {
#include <libavutil/parseutils.h>
}

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace k72 {
namespace {

template <typename Number> bool ParseNumber(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

bool ParseDouble(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size();
}

} // namespace

ResultCode TranscodeOptions::Parse(int argc, const char* const* argv, std::string* reason) {
    auto fail = [reason](ResultCode code, const std::string& why) {
        if (reason != nullptr) {
            *reason = why;
        }
        return code;
    };
    bool haveInput = false;
    bool haveOutput = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i] != nullptr ? argv[i] : "";
        if (option == "-y") {
            overwrite = true;
            continue;
        }
        if (option == "-deinterlace") {
            deinterlace = true;
            continue;
        }
        if (option == "-noautorotate") {
            autoRotate = false;
            continue;
        }
        if (option == "-fulldecode") {
            fullDecode = true;
            continue;
        }
        if (option == "-an") {
            noSound = true;
            continue;
        }
        if (option.empty() || option[0] != '-' || option == "-") {
            if (haveOutput) {
                return fail(rc::Error, "more than one output: " + option);
            }
            outputPath = option;
            haveOutput = !option.empty();
            continue;
        }
        if (i + 1 >= argc || argv[i + 1] == nullptr) {
            return fail(rc::Error, "option " + option + " has no value");
        }
        const std::string value = argv[++i];
        if (option == "-fs") {
            if (!ParseNumber(value, maxFileSize) || maxFileSize < 0) {
                return fail(rc::Error, "bad size limit " + value);
            }
        } else if (option == "-i") {
            inputPath = value;
            haveInput = !value.empty();
        } else if (option == "-acodec") {
            if (value != "pcm_s16le") {
                return fail(rc::OutputCodecUnsupported, "audio codec " + value + " cannot be written");
            }
        } else if (option == "-vcodec") {
            if (value != "mjpeg") {
                return fail(rc::OutputCodecUnsupported, "video codec " + value + " cannot be written");
            }
        } else if (option == "-pix_fmt") {
            if (value != "yuvj422p") {
                return fail(rc::OutputCodecUnsupported, "pixel format " + value + " cannot be written");
            }
        } else if (option == "-f") {
            if (value != "avi") {
                return fail(rc::OutputTypeUnknown, "output type " + value + " is unknown");
            }
        } else if (option == "-ar") {
            if (!ParseNumber(value, sampleRate) || sampleRate < 8000 || sampleRate > 192000) {
                return fail(rc::Error, "bad sample rate " + value);
            }
        } else if (option == "-ac") {
            if (!ParseNumber(value, channels) || channels < 1 || channels > 2) {
                return fail(rc::Error, "bad channel count " + value);
            }
        } else if (option == "-s") {
            if (av_parse_video_size(&width, &height, value.c_str()) < 0 || width % 2 != 0 ||
                height % 2 != 0 || width > 4096 || height > 4096) {
                return fail(rc::Error, "bad picture size " + value);
            }
        } else if (option == "-r") {
            AVRational rate{0, 1};
            if (av_parse_video_rate(&rate, value.c_str()) < 0 || rate.num <= 0 || rate.den <= 0 ||
                av_q2d(rate) > 240) {
                return fail(rc::IncorrectFrameRate, "bad frame rate " + value);
            }
            frameRateNum = rate.num;
            frameRateDen = rate.den;
        } else if (option == "-qscale") {
            if (!ParseDouble(value, qscale) || !(qscale >= 1 && qscale <= 31)) {
                return fail(rc::Error, "bad quantiser " + value);
            }
        } else if (option == "-fit") {
            const std::optional<FitMode> mode = ParseFitWord(value);
            if (!mode) {
                return fail(rc::Error, "unknown fit " + value);
            }
            fit = *mode;
        } else if (option == "-ss") {
            if (av_parse_time(&startMicroseconds, value.c_str(), 1) < 0 || startMicroseconds < 0) {
                return fail(rc::Error, "bad start time " + value);
            }
        } else if (option == "-vframes") {
            if (!ParseNumber(value, maxPictures) || maxPictures < 0) {
                return fail(rc::Error, "bad picture count " + value);
            }
        } else if (option == "-top") {
            if (!ParseNumber(value, topFieldFirst) || topFieldFirst < -1 || topFieldFirst > 1) {
                return fail(rc::Error, "bad field order " + value);
            }
        } else {
            return fail(rc::Error, "unknown option " + option);
        }
    }
    if (!haveInput) {
        return fail(rc::CannotOpenInput, "no input given");
    }
    if (!haveOutput) {
        return fail(rc::OutputNotSpecified, "no output given");
    }
    return 0;
}

} // namespace k72
