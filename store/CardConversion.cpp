#include "store/CardConversion.h"

#include "base/FileHandle.h"
#include "engine/CAviProbe.h"
#include "engine/CConversionManager.h"
#include "engine/ConversionProgressModel.h"
#include "engine/StillImageConverter.h"
#include "store/CardLayout.h"
#include "store/StoreMessages.h"

#include <cctype>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace k72 {
namespace {

// The progress window of a caller that gave none: waits for the job, polling as the dialog does.
ConversionOutcome WaitForConversion(CConversionManager& manager) {
    ConversionProgressModel model;
    model.Start();
    while (!model.Closed()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        model.Poll(&manager);
    }
    return model.Outcome();
}

// The length of a converted file, or none when it cannot be opened.
std::optional<std::uintmax_t> ConvertedFileSize(const std::filesystem::path& path) {
    const FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uintmax_t>(info.st_size);
}

ConversionResult Failure(ConversionFailure failure, ResultCode code = 0) {
    ConversionResult result;
    result.failure = failure;
    result.code = code;
    return result;
}

} // namespace

ConversionResult ConvertMovie(const std::filesystem::path& source, const std::filesystem::path& destination,
                              const Settings& settings, IConversionProgress* progress,
                              const MovieConverterHook& hook) {
    ConversionOutcome outcome;
    {
        // Ends with this block: a conversion still writing after its window was closed has stopped
        // before the converted file is looked at, or its folder removed by the caller.
        CConversionManager manager;
        CVideoConverter& converter = manager.Converter();
        converter.SetFrameRateStandard(settings.FrameRateWord());
        converter.SetQscaleText(settings.MovieQualityScale());
        converter.SetDeinterlace(settings.DeinterlaceFlag() != 0);
        converter.SetFit(FitWord(settings.fit));
        // The transcoder's intermediate file goes beside the destination, into the caller's private
        // folder, which a later run removes should this one be killed; never loose in the temporary
        // folder, where nothing would ever take it away.
        converter.SetWorkFolder(destination.parent_path());
        if (hook) {
            hook(converter);
        }
        manager.AddJob(source.string(), destination.string());
        if (progress != nullptr) {
            progress->SetSource(source);
        }
        outcome = progress != nullptr ? progress->Run(manager) : WaitForConversion(manager);
    }
    if (!outcome.Completed()) {
        const ResultCode code = Failed(outcome.finalResult) ? outcome.finalResult : rc::Fail;
        return Failure(outcome.cancelled ? ConversionFailure::Cancelled : ConversionFailure::Failed, code);
    }
    if (!FitsOnCard(destination)) {
        return Failure(ConversionFailure::TooLarge);
    }
    ConversionResult result;
    result.frames = MovieFrames(destination);
    return result;
}

ConversionResult ConvertPicture(const std::filesystem::path& source, const std::filesystem::path& destination,
                                const Settings& settings) {
    StillImageConverter converter;
    converter.SetQuality(settings.StillImageQuality());
    converter.SetFit(settings.fit);
    const ConversionProblem problem = converter.Convert(source.string(), destination.string());
    if (problem.Failed()) {
        ConversionResult failed = Failure(ConversionFailure::Failed, problem.code);
        failed.cause = problem.cause;
        return failed;
    }
    if (!FitsOnCard(destination)) {
        return Failure(ConversionFailure::TooLarge);
    }
    return {};
}

std::optional<std::uint32_t> MovieFrames(const std::filesystem::path& path) {
    CAviProbe probe;
    if (Failed(probe.Probe(path.string()))) {
        return std::nullopt;
    }
    return probe.Frames();
}

bool FitsOnCard(const std::filesystem::path& converted) {
    const auto size = ConvertedFileSize(converted);
    return size && *size < cardlayout::kLargestConvertedFile;
}

std::string ConversionFailureMessage(ResultCode code, const std::string& temporaryFolder) {
    switch (code) {
    case rc::FileSizeOverLimit:
    case rc::ConvertedFileTooLarge:
        return messages::kFileTooLarge;
    case rc::TempFileFailed:
    case rc::DiscSpaceInsufficient:
        return messages::TemporaryDiskFull(temporaryFolder);
    default:
        return messages::kLoadFailed;
    }
}

std::optional<std::string> ConversionMessage(const ConversionResult& result,
                                             const std::string& temporaryFolder) {
    switch (result.failure) {
    case ConversionFailure::Failed: {
        // The program's message first, as before, then the converter's cause on a line of its own.
        std::string text = ConversionFailureMessage(result.code, temporaryFolder);
        if (!result.cause.empty()) {
            text += "\n" + result.cause;
            text[text.size() - result.cause.size()] = static_cast<char>(
                std::toupper(static_cast<unsigned char>(text[text.size() - result.cause.size()])));
            text += ".";
        }
        return text;
    }
    case ConversionFailure::TooLarge:
        return std::string(messages::kFileTooLarge);
    case ConversionFailure::None:
    case ConversionFailure::Cancelled:
        break;
    }
    return std::nullopt;
}

} // namespace k72
