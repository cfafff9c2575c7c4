#include "codecs/CVideoConverter.h"

#include "base/ByteOrder.h"
#include "base/DeviceFormat.h"
#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"
#include "codecs/CAVIPacket.h"
#include "codecs/CAviWriter.h"
#include "codecs/CWinFile.h"
#include "codecs/FitGeometry.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "movie converter";

// The largest movie the device takes; the transcoder is told the same limit with "-fs".
constexpr std::uint64_t kMaxMovieSize = device::kMaxMovieFileSize;

// The AVI headers the transcoder writes fill bytes 0 … 499; "LIST", its length and "movi" follow.
using avilayout::kHeaderSize;
using avilayout::kMoviIdOffset;
using avilayout::kMoviLengthOffset;

// A failure of phase 2 whose reason has already gone to the diagnostic log.
struct RemuxFailure {};

// A failure of the converter's own steps with its result code.
struct StepFailure {
    ResultCode code;
};

// A file operation of the re-interleave that failed, with what the file object said about it.
struct FileFailure {
    CWinFile::Cause cause;
    std::string what;
};

// Stops the re-interleave when a file operation failed.
void Require(bool succeeded, const CWinFile& file) {
    if (!succeeded) {
        throw FileFailure{file.LastCause(), file.LastError()};
    }
}

[[noreturn]] void FailRemux(std::string_view message) {
    LogLine(kLogModule, message);
    throw RemuxFailure{};
}

using byteorder::LoadLE32;

void WriteLE32At(CWinFile& file, std::uint64_t offset, std::uint32_t value) {
    std::uint8_t field[4];
    byteorder::StoreLE32(field, value);
    Require(file.Seek(static_cast<std::int64_t>(offset), CWinFile::Begin), file);
    Require(file.WriteExact(field, sizeof field), file);
}

// One second of the device's movie: its frames come frameScale/frameRate seconds apart, and its sound
// is soundBytes long.
struct SecondLength {
    std::uint32_t frameRate;
    std::uint32_t frameScale;
    std::uint32_t soundBytes;
};

SecondLength SecondOf(const std::string& standard) {
    if (standard == "ntsc") {
        return {device::kNtscRateNumerator, device::kNtscRateDenominator,
                30 * 1471 * 4}; // 176520 bytes of sound
    }
    if (standard == "pal") {
        return {device::kPalRate, 1, 25 * 1764 * 4}; // 176400 bytes of sound
    }
    FailRemux("the frame rate is neither 29.97 nor 25 frames per second");
}

// The transcoder's AVI as the re-interleaver reads it: its headers, and the chunks of each stream in
// the order of its index.
struct RemuxSource {
    std::array<std::uint8_t, kHeaderSize> header{};
    std::deque<std::unique_ptr<CAVIPacket>> video;
    std::deque<std::unique_ptr<CAVIPacket>> sound;
};

// Reads the headers and the index and checks that every entry points at a chunk inside the file.
RemuxSource ReadSource(CWinFile& input, std::uint64_t inputLength) {
    RemuxSource source;
    Require(input.ReadExact(source.header.data(), source.header.size()), input);
    std::uint8_t word[4];
    if (input.Read(word, 4) != 4 || std::memcmp(word, "LIST", 4) != 0) {
        FailRemux("no LIST chunk after the header");
    }
    std::uint32_t moviLengthIn = 0;
    if (input.Read(word, 4) == 4) {
        moviLengthIn = LoadLE32(word);
    }
    if (input.Read(word, 4) != 4 || std::memcmp(word, "movi", 4) != 0) {
        FailRemux("no movi list");
    }

    Require(input.Seek(static_cast<std::int64_t>(kMoviIdOffset + moviLengthIn), CWinFile::Begin), input);
    if (input.Read(word, 4) != 4 || std::memcmp(word, avilayout::kIndexId, 4) != 0) {
        FailRemux("no idx1 index after the movi list");
    }
    const std::uint64_t indexStart = kMoviIdOffset + moviLengthIn + 8;
    std::uint32_t indexSize = 0;
    // The index is read whole, so a size beyond the file's end is refused before allocating it.
    if (input.Read(word, 4) != 4 || (indexSize = LoadLE32(word)) % CAVIPacket::kIndexEntrySize != 0 ||
        indexStart + indexSize > inputLength) {
        FailRemux("the index is not whole entries or runs past the end of the file");
    }
    std::vector<std::uint8_t> index(indexSize);
    Require(input.ReadExact(index.data(), index.size()), input);

    for (std::size_t at = 0; at < index.size(); at += CAVIPacket::kIndexEntrySize) {
        std::unique_ptr<CAVIPacket> entry;
        try {
            entry = std::make_unique<CAVIPacket>();
        } catch (const std::bad_alloc&) {
            FailRemux("out of memory for an index entry");
        }
        entry->Parse(index.data() + at);
        // An entry must point at a chunk inside the file; anything else is a damaged index.
        if (entry->chunkOffset < 4 ||
            kMoviIdOffset + entry->chunkOffset + 8 + std::uint64_t{entry->chunkLength} > inputLength) {
            FailRemux("an index entry points outside the file");
        }
        (entry->isVideo != 0 ? source.video : source.sound).push_back(std::move(entry));
    }
    return source;
}

// Writes the movi list one second at a time: that second's pictures, then its sound as one chunk.
// Sound packets that straddle a second are split, the rest carried into the next second.
class Interleaver {
public:
    Interleaver(CWinFile& input, CWinFile& output, RemuxSource& source, SecondLength second)
        : input_(input), output_(output), source_(source), second_(second) {
        written_.reserve(source.video.size() + source.sound.size());
    }

    bool Done() const { return source_.video.empty() && source_.sound.empty() && pending_.empty(); }

    void WriteOneSecond() {
        WritePictures();
        WriteSound();
    }

    // The chunks written, in file order, for the new index.
    const std::vector<std::unique_ptr<CAVIPacket>>& Written() const { return written_; }
    std::uint32_t MoviLength() const { return moviLength_; }

private:
    // One second of pictures (29.97 on average for ntsc).
    void WritePictures() {
        std::uint32_t frames = 0;
        while (frameAccumulator_ < second_.frameRate) {
            frameAccumulator_ += second_.frameScale;
            ++frames;
        }
        frameAccumulator_ -= second_.frameRate;

        for (std::uint32_t i = 0; i < frames && !source_.video.empty(); ++i) {
            std::unique_ptr<CAVIPacket> picture = std::move(source_.video.front());
            source_.video.pop_front();
            if (!picture->ReadData(input_)) {
                throw RemuxFailure{};
            }
            Keep(std::move(picture), "cannot write a picture chunk");
        }
    }

    void WriteSound() {
        // Gather one second of sound; a packet that straddles the second is carried into the next one.
        std::uint64_t gathered = carry_;
        carry_ = 0;
        while (gathered < second_.soundBytes && !source_.sound.empty()) {
            std::unique_ptr<CAVIPacket> packet = std::move(source_.sound.front());
            source_.sound.pop_front();
            if (!packet->ReadData(input_)) {
                throw RemuxFailure{};
            }
            gathered += packet->dataLength;
            pending_.push_back(std::move(packet));
        }
        if (gathered == 0) {
            // Whatever is still pending holds no bytes.
            pending_.clear();
            skip_ = 0;
            return;
        }
        std::unique_ptr<std::uint8_t[]> sound;
        try {
            sound = std::make_unique_for_overwrite<std::uint8_t[]>(second_.soundBytes);
        } catch (const std::bad_alloc&) {
            FailRemux("out of memory for a second of sound");
        }
        const std::uint32_t toCopy =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(gathered, second_.soundBytes));
        std::uint32_t copied = 0;
        while (copied < toCopy) {
            CAVIPacket& first = *pending_.front();
            const std::uint32_t left = first.dataLength - skip_;
            const std::uint32_t take = std::min(left, toCopy - copied);
            if (take > 0) {
                std::memcpy(sound.get() + copied, first.Bytes() + skip_, take);
            }
            copied += take;
            if (take == left) {
                pending_.pop_front();
                skip_ = 0;
            } else {
                skip_ += take;
            }
        }
        // Packets of no bytes at the front have nothing left to give.
        while (!pending_.empty() && pending_.front()->dataLength == skip_) {
            pending_.pop_front();
            skip_ = 0;
        }
        carry_ = static_cast<std::uint32_t>(gathered - toCopy);
        std::unique_ptr<CAVIPacket> chunk;
        try {
            chunk = CAVIPacket::CreateAVIPacket(std::move(sound), toCopy);
        } catch (const std::bad_alloc&) {
            FailRemux("out of memory for a sound chunk");
        }
        Keep(std::move(chunk), "cannot write a sound chunk");
    }

    // Writes a chunk at the end of the movi list and keeps its index entry.
    void Keep(std::unique_ptr<CAVIPacket> chunk, std::string_view failure) {
        const std::uint32_t written = chunk->WriteData(output_, moviLength_);
        if (written == 0) {
            FailRemux(failure);
        }
        chunk->FreeData();
        written_.push_back(std::move(chunk));
        moviLength_ += written;
    }

    CWinFile& input_;
    CWinFile& output_;
    RemuxSource& source_;
    const SecondLength second_;
    std::deque<std::unique_ptr<CAVIPacket>> pending_; // sound read but not yet all written
    std::vector<std::unique_ptr<CAVIPacket>> written_;
    std::uint32_t moviLength_ = 0;
    std::uint32_t frameAccumulator_ = 0;
    std::uint32_t carry_ = 0; // sound bytes gathered but not written last second
    std::uint32_t skip_ = 0;  // bytes of the first pending packet already written
};

// Writes the new index in one piece, then the lengths and the frame count the device reads.
void WriteNewIndex(CWinFile& output, const std::vector<std::unique_ptr<CAVIPacket>>& chunks,
                   std::uint32_t videoTotal, std::uint32_t moviLength) {
    std::vector<std::uint8_t> entries(8 + CAVIPacket::kIndexEntrySize * chunks.size());
    std::memcpy(entries.data(), avilayout::kIndexId, 4);
    const std::uint32_t indexBytes = static_cast<std::uint32_t>(CAVIPacket::kIndexEntrySize * chunks.size());
    byteorder::StoreLE32(entries.data() + 4, indexBytes);
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        chunks[i]->MakeOutputEntry(entries.data() + 8 + CAVIPacket::kIndexEntrySize * i);
    }
    Require(output.WriteExact(entries.data(), entries.size()), output);

    // The device reads the whole file's length at offset 4, the number of pictures at 48 and the movi
    // list's length at 504.
    WriteLE32At(output, 4, static_cast<std::uint32_t>(output.GetLength()));
    WriteLE32At(output, avilayout::kTotalFramesOffset, videoTotal);
    WriteLE32At(output, kMoviLengthOffset, moviLength + 4);
    Require(output.Flush(), output);
}

std::string ResultLine(ResultCode code) {
    char line[32];
    std::snprintf(line, sizeof line, "result code 0x%08X", static_cast<unsigned>(code));
    return line;
}

std::uint64_t VolumeFreeSpace(const std::filesystem::path& folder) {
    std::error_code error;
    const auto info = std::filesystem::space(folder, error);
    if (error) {
        // Not knowing the free space must not stop every conversion: the writes themselves still fail
        // cleanly on a full volume.
        LogLine(kLogModule, "free space of " + folder.string() + " unknown: " + error.message());
        return std::numeric_limits<std::uint64_t>::max();
    }
    return info.available;
}

} // namespace

CVideoConverter::CVideoConverter() = default;

CVideoConverter::~CVideoConverter() = default;

void CVideoConverter::SetFrameRateStandard(std::string_view name) {
    std::string lower(name.substr(0, 259));
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::lock_guard<std::mutex> lock(statusLock_);
    frameRateStandard_ = std::move(lower);
}

std::string CVideoConverter::FrameRateStandard() const {
    std::lock_guard<std::mutex> lock(statusLock_);
    return frameRateStandard_;
}

void CVideoConverter::SetQscaleText(std::string_view text) {
    std::lock_guard<std::mutex> lock(statusLock_);
    qscaleText_ = std::string(text);
}

std::string CVideoConverter::QscaleText() const {
    std::lock_guard<std::mutex> lock(statusLock_);
    return qscaleText_;
}

void CVideoConverter::SetFit(std::string_view word) {
    const std::optional<FitMode> mode = ParseFitWord(word);
    std::lock_guard<std::mutex> lock(statusLock_);
    fit_ = FitWord(mode.value_or(FitMode::Stretch));
}

std::string CVideoConverter::Fit() const {
    std::lock_guard<std::mutex> lock(statusLock_);
    return fit_;
}

void CVideoConverter::SetDeinterlace(bool on) {
    std::lock_guard<std::mutex> lock(statusLock_);
    deinterlace_ = on;
}

bool CVideoConverter::Deinterlace() const {
    std::lock_guard<std::mutex> lock(statusLock_);
    return deinterlace_;
}

void CVideoConverter::SetWorkFolder(std::filesystem::path folder) {
    workFolder_ = std::move(folder);
}

void CVideoConverter::SetFreeSpaceProbe(FreeSpaceProbe probe) {
    freeSpaceProbe_ = std::move(probe);
}

void CVideoConverter::SetTranscoder(Transcoder replacement) {
    transcoder_ = std::move(replacement);
}

std::uint64_t CVideoConverter::FreeSpaceOf(const std::filesystem::path& folder) const {
    return freeSpaceProbe_ ? freeSpaceProbe_(folder) : VolumeFreeSpace(folder);
}

void CVideoConverter::RecordResultLocked(ResultCode code) {
    if (!resultLatched_) {
        resultCode_.store(code);
    }
    if (code == rc::FileSizeOverLimit || code == rc::DiscSpaceInsufficient) {
        resultLatched_ = true;
    }
}

void CVideoConverter::RecordResult(ResultCode code) {
    std::lock_guard<std::mutex> lock(statusLock_);
    RecordResultLocked(code);
}

void CVideoConverter::EstimateDiscSpace(std::int32_t justWritten) {
    recentSizes_[recentIndex_] = static_cast<std::uint32_t>(justWritten);
    recentIndex_ += 1;
    bytesWritten_ += justWritten;
    std::uint64_t sum = 0;
    std::uint32_t count = 0;
    while (recentSizes_[count] != 0) { // the tenth word is always 0
        sum += recentSizes_[count];
        ++count;
    }
    const std::uint64_t mean = count == 0 ? 0 : sum / count;
    const std::int64_t estimate = bytesWritten_ + static_cast<std::int64_t>(2 * mean);
    if (estimate > 0 && freeSpace_ < static_cast<std::uint64_t>(estimate)) {
        if (!resultLatched_) {
            resultCode_.store(rc::DiscSpaceInsufficient);
        }
        resultLatched_ = true;
        abortRequested_.store(true);
    }
    if (recentIndex_ >= 9) {
        recentIndex_ = 0;
    }
}

std::int32_t CVideoConverter::ProgressCallback(void* context, std::int32_t kind, std::int32_t value) {
    auto* converter = static_cast<CVideoConverter*>(context);
    std::lock_guard<std::mutex> lock(converter->statusLock_);
    switch (kind) {
    case ReportResult:
        converter->RecordResultLocked(value);
        return 0;
    case ReportTotal:
        converter->progressTotal_.store(static_cast<std::uint32_t>(value));
        return 0;
    case ReportPosition:
        converter->progressPosition_.store(static_cast<std::uint32_t>(value));
        return converter->abortRequested_.load() ? -1 : 0;
    case ReportBytesWritten:
        converter->EstimateDiscSpace(value);
        return 0;
    default:
        return 0;
    }
}

ResultCode CVideoConverter::Convert(const std::string& sourcePath, const std::string& destinationPath) {
    Settings settings;
    {
        std::lock_guard<std::mutex> lock(statusLock_);
        if (state_.load() != Idle) {
            return rc::ConverterBusy;
        }
        state_.store(Converting);
        // A stop request that came after PrepareNextJob is meant for this job; without it, one left
        // over from before belongs to no job.
        if (!jobPrepared_.exchange(false)) {
            abortRequested_.store(false);
        }
        if (!resultLatched_) {
            resultCode_.store(0);
        }
        progressTotal_.store(100);
        progressPosition_.store(0);
        // A job uses the settings the converter holds when it starts.
        settings = Settings{frameRateStandard_, qscaleText_, deinterlace_, fit_};
    }

    std::filesystem::path temporaryPath;
    try {
        RunPhases(sourcePath, destinationPath, settings, temporaryPath);
    } catch (const StepFailure& failure) {
        RecordResult(failure.code);
    } catch (const RemuxFailure&) {
        RecordResult(rc::MigrationFailed);
        abortRequested_.store(false);
    } catch (const FileFailure& failure) {
        if (failure.cause == CWinFile::Cause::FileNotFound) {
            LogLine(kLogModule, "the transcoded movie is missing");
        }
        LogLine(kLogModule, failure.what);
        RecordResult(rc::FileError);
        abortRequested_.store(false);
    } catch (const std::bad_alloc&) {
        LogLine(kLogModule, "out of memory");
        RecordResult(rc::Fail);
    } catch (const std::exception& error) {
        LogLine(kLogModule, error.what());
        RecordResult(rc::Fail);
    }

    if (!temporaryPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporaryPath, ignored);
    }
    const ResultCode result = resultCode_.load();
    LogLine(kLogModule, ResultLine(result));
    {
        std::lock_guard<std::mutex> lock(statusLock_);
        abortRequested_.store(false);
        progressTotal_.store(0);
        progressPosition_.store(0);
        freeSpace_ = 0;
        bytesWritten_ = 0;
        std::fill(std::begin(recentSizes_), std::end(recentSizes_), 0u);
        recentIndex_ = 0;
        resultLatched_ = false;
        state_.store(Idle);
    }
    return Failed(result) ? result : 0;
}

void CVideoConverter::RunPhases(const std::string& sourcePath, const std::string& destinationPath,
                                const Settings& settings, std::filesystem::path& temporaryPath) {
    // Phase 1 writes into a uniquely named temporary file of the work folder.
    const std::filesystem::path folder =
        workFolder_.empty() ? std::filesystem::temp_directory_path() : workFolder_;
    std::string pattern = (folder / "MJPXXXXXX").string();
    if (!FileHandle(::mkstemp(pattern.data()))) { // only the name is wanted: the handle closes here
        LogLine(kLogModule, "cannot create a temporary file in " + folder.string());
        throw StepFailure{rc::TempFileFailed};
    }
    temporaryPath = pattern;
    {
        const std::uint64_t space = FreeSpaceOf(folder);
        std::lock_guard<std::mutex> lock(statusLock_);
        freeSpace_ = space;
    }

    std::vector<std::string> arguments = {"",
                                          "-fs",
                                          std::to_string(static_cast<int>(kMaxMovieSize)),
                                          "-y",
                                          "-i",
                                          sourcePath,
                                          "-acodec",
                                          "pcm_s16le",
                                          "-ar",
                                          std::to_string(device::kSoundRate),
                                          "-ac",
                                          "2",
                                          "-s",
                                          "640x480",
                                          "-r",
                                          settings.frameRateStandard,
                                          "-qscale",
                                          settings.qscaleText};
    if (settings.deinterlace) {
        arguments.insert(arguments.end(), {"-deinterlace", "-top", "-1"});
    }
    if (settings.fit != FitWord(FitMode::Stretch)) {
        arguments.insert(arguments.end(), {"-fit", settings.fit});
    }
    arguments.insert(arguments.end(), {"-vcodec", "mjpeg", "-pix_fmt", "yuvj422p", "-f", "avi", pattern});
    std::array<char*, 256> argv{};
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        argv[i] = arguments[i].data();
    }
    const int argc = static_cast<int>(arguments.size());
    // The transcoder's result arrives through ProgressCallback, where it is recorded with the rest.
    if (transcoder_) {
        transcoder_(&CVideoConverter::ProgressCallback, this, argc, argv.data());
    } else {
        static_cast<void>(ff_convertermain(&CVideoConverter::ProgressCallback, this, argc, argv.data()));
    }
    if (Failed(resultCode_.load())) {
        abortRequested_.store(false);
        return;
    }
    // A stop request that came after the transcoder's last progress report is kept, so that it still
    // stops the job at the first step of the re-interleave instead of being lost between the phases.

    const std::size_t slash = destinationPath.find_last_of('/');
    if (slash == std::string::npos) {
        throw StepFailure{rc::InvalidPath};
    }
    const std::filesystem::path destinationFolder =
        slash == 0 ? std::string("/") : destinationPath.substr(0, slash);
    {
        const std::uint64_t space = FreeSpaceOf(destinationFolder);
        std::lock_guard<std::mutex> lock(statusLock_);
        freeSpace_ = space;
    }

    state_.store(Interleaving);
    progressTotal_.store(100);
    progressPosition_.store(0);
    AVIRemux(pattern, destinationPath, settings.frameRateStandard);
}

void CVideoConverter::AVIRemux(const std::string& inputPath, const std::string& outputPath,
                               const std::string& standard) {
    CWinFile input;
    CWinFile output;
    Require(input.Open(inputPath, CWinFile::ModeRead), input);
    const std::uint64_t inputLength = input.GetLength();
    std::uint64_t available;
    {
        std::lock_guard<std::mutex> lock(statusLock_);
        available = freeSpace_;
    }
    if (inputLength > available) {
        RecordResult(rc::DiscSpaceInsufficient);
        FailRemux("not enough free space for the interleaved movie");
    } else if (inputLength > kMaxMovieSize) {
        RecordResult(rc::FileSizeOverLimit);
        FailRemux("the interleaved movie would pass the size limit");
    }
    Require(output.Open(outputPath, CWinFile::ModeCreate | CWinFile::ModeWrite), output);
    // Chunks leave in large pieces rather than one system call each.
    Require(output.SetWriteBuffer(1 << 20), output);
    const SecondLength second = SecondOf(standard);

    RemuxSource source = ReadSource(input, inputLength);
    const std::uint32_t videoTotal = static_cast<std::uint32_t>(source.video.size());
    const std::uint32_t total = static_cast<std::uint32_t>(source.video.size() + source.sound.size());
    progressTotal_.store(total);

    Require(output.WriteExact(source.header.data(), source.header.size()), output);
    Require(output.WriteExact("LISTSIZEmovi", 12), output);
    Interleaver interleaver(input, output, source, second);
    while (!interleaver.Done()) {
        interleaver.WriteOneSecond();
        progressPosition_.store(total - static_cast<std::uint32_t>(source.sound.size()) -
                                static_cast<std::uint32_t>(source.video.size()));
        if (abortRequested_.load()) {
            FailRemux("cancelled");
        }
    }
    WriteNewIndex(output, interleaver.Written(), videoTotal, interleaver.MoviLength());
}

} // namespace k72
