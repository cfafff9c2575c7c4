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
    std::string why;
    const ResultCode code = ParseArguments(argc, argv, why);
    if (Failed(code) && reason != nullptr) {
        *reason = why;
    }
    return code;
}

ResultCode TranscodeOptions::ParseArguments(int argc, const char* const* argv, std::string& why) {
    bool haveInput = false;
    bool haveOutput = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i] != nullptr ? argv[i] : "";
        if (ParseFlag(option)) {
            continue;
        }
        if (option.empty() || option[0] != '-' || option == "-") {
            if (haveOutput) {
                why = "more than one output: " + option;
                return rc::Error;
            }
            outputPath = option;
            haveOutput = !option.empty();
            continue;
        }
        if (i + 1 >= argc || argv[i + 1] == nullptr) {
            why = "option " + option + " has no value";
            return rc::Error;
        }
        const std::string value = argv[++i];
        if (option == "-i") {
            inputPath = value;
            haveInput = !value.empty();
            continue;
        }
        const ResultCode code = ParseValue(option, value, why);
        if (Failed(code)) {
            return code;
        }
    }
    if (!haveInput) {
        why = "no input given";
        return rc::CannotOpenInput;
    }
    if (!haveOutput) {
        why = "no output given";
        return rc::OutputNotSpecified;
    }
    return 0;
}

bool TranscodeOptions::ParseFlag(const std::string& option) {
    if (option == "-y") {
        overwrite = true;
    } else if (option == "-deinterlace") {
        deinterlace = true;
    } else if (option == "-noautorotate") {
        autoRotate = false;
    } else if (option == "-fulldecode") {
        fullDecode = true;
    } else if (option == "-an") {
        noSound = true;
    } else {
        return false;
    }
    return true;
}

ResultCode TranscodeOptions::ParseValue(const std::string& option, const std::string& value,
                                        std::string& why) {
    // The output's form: only the device's codecs and container can be written.
    const auto onlyWritable = [&](const char* wanted, const char* what, ResultCode code) {
        if (value == wanted) {
            return ResultCode{0};
        }
        why = std::string(what) + " " + value +
              (code == rc::OutputTypeUnknown ? " is unknown" : " cannot be written");
        return code;
    };
    const auto bad = [&](const char* what) {
        why = std::string(what) + " " + value;
        return rc::Error;
    };
    if (option == "-acodec") {
        return onlyWritable("pcm_s16le", "audio codec", rc::OutputCodecUnsupported);
    }
    if (option == "-vcodec") {
        return onlyWritable("mjpeg", "video codec", rc::OutputCodecUnsupported);
    }
    if (option == "-pix_fmt") {
        return onlyWritable("yuvj422p", "pixel format", rc::OutputCodecUnsupported);
    }
    if (option == "-f") {
        return onlyWritable("avi", "output type", rc::OutputTypeUnknown);
    }
    if (option == "-fs") {
        return ParseNumber(value, maxFileSize) && maxFileSize >= 0 ? 0 : bad("bad size limit");
    }
    if (option == "-ar") {
        return ParseNumber(value, sampleRate) && sampleRate >= 8000 && sampleRate <= 192000
                   ? 0
                   : bad("bad sample rate");
    }
    if (option == "-ac") {
        return ParseNumber(value, channels) && channels >= 1 && channels <= 2 ? 0 : bad("bad channel count");
    }
    if (option == "-s") {
        const bool fits = av_parse_video_size(&width, &height, value.c_str()) >= 0 && width % 2 == 0 &&
                          height % 2 == 0 && width <= 4096 && height <= 4096;
        return fits ? 0 : bad("bad picture size");
    }
    if (option == "-r") {
        AVRational rate{0, 1};
        if (av_parse_video_rate(&rate, value.c_str()) < 0 || rate.num <= 0 || rate.den <= 0 ||
            av_q2d(rate) > 240) {
            why = "bad frame rate " + value;
            return rc::IncorrectFrameRate;
        }
        frameRateNum = rate.num;
        frameRateDen = rate.den;
        return 0;
    }
    if (option == "-qscale") {
        return ParseDouble(value, qscale) && qscale >= 1 && qscale <= 31 ? 0 : bad("bad quantiser");
    }
    if (option == "-fit") {
        const std::optional<FitMode> mode = ParseFitWord(value);
        fit = mode.value_or(fit);
        return mode ? 0 : bad("unknown fit");
    }
    if (option == "-ss") {
        return av_parse_time(&startMicroseconds, value.c_str(), 1) >= 0 && startMicroseconds >= 0
                   ? 0
                   : bad("bad start time");
    }
    if (option == "-vframes") {
        return ParseNumber(value, maxPictures) && maxPictures >= 0 ? 0 : bad("bad picture count");
    }
    if (option == "-top") {
        return ParseNumber(value, topFieldFirst) && topFieldFirst >= -1 && topFieldFirst <= 1
                   ? 0
                   : bad("bad field order");
    }
    why = "unknown option " + option;
    return rc::Error;
}

} // namespace k72
