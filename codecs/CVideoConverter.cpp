#include "codecs/CVideoConverter.h"

#include "codecs/ByteOrder.h"
#include "codecs/CAVIPacket.h"
#include "codecs/CWinFile.h"
#include "codecs/DiagnosticLog.h"
#include "codecs/FileHandle.h"
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
#include <system_error>
#include <unistd.h>
#include <vector>

namespace k72 {
namespace {

// The largest movie the device takes; the transcoder is told the same limit with "-fs".
constexpr std::uint64_t kMaxMovieSize = 0x7D000000; // 2097152000

// The AVI headers the transcoder writes fill bytes 0 … 499; "LIST", its length and "movi" follow.
constexpr std::size_t kHeaderSize = 500;
constexpr std::uint64_t kMoviIdOffset = 508;
constexpr std::uint64_t kMainHeaderTotalFrames = 48;
constexpr std::uint64_t kMoviLengthOffset = 504;

// A failure of phase 2 whose reason has already gone to the diagnostic log.
struct RemuxFailure {};

// A failure of the converter's own steps with its result code.
struct StepFailure {
    ResultCode code;
};

[[noreturn]] void FailRemux(const char* message) {
    DebugOutput(message);
    throw RemuxFailure{};
}

using byteorder::LoadLE32;

void WriteLE32At(CWinFile& file, std::uint64_t offset, std::uint32_t value) {
    std::uint8_t field[4];
    byteorder::StoreLE32(field, value);
    file.Seek(static_cast<std::int64_t>(offset), CWinFile::Begin);
    file.WriteExact(field, sizeof field);
}

std::string HexLine(const char* format, ResultCode code) {
    char line[64];
    std::snprintf(line, sizeof line, format, static_cast<unsigned>(code));
    return line;
}

std::uint64_t VolumeFreeSpace(const std::filesystem::path& folder) {
    std::error_code error;
    const auto info = std::filesystem::space(folder, error);
    if (error) {
        // Not knowing the free space must not stop every conversion: the writes themselves still fail
        // cleanly on a full volume.
        DebugOutput("CVideoConverter : free space of " + folder.string() + " unknown: " + error.message() +
                    "\n");
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
    std::lock_guard<std::mutex> lock(statusLock);
    frameRateStandard = std::move(lower);
}

std::string CVideoConverter::FrameRateStandard() const {
    std::lock_guard<std::mutex> lock(statusLock);
    return frameRateStandard;
}

void CVideoConverter::SetQscaleText(std::string_view text) {
    std::lock_guard<std::mutex> lock(statusLock);
    qscaleText = std::string(text);
}

std::string CVideoConverter::QscaleText() const {
    std::lock_guard<std::mutex> lock(statusLock);
    return qscaleText;
}

void CVideoConverter::SetFit(std::string_view word) {
    const std::optional<FitMode> mode = ParseFitWord(word);
    std::lock_guard<std::mutex> lock(statusLock);
    fit = FitWord(mode.value_or(FitMode::Stretch));
}

std::string CVideoConverter::Fit() const {
    std::lock_guard<std::mutex> lock(statusLock);
    return fit;
}

void CVideoConverter::SetDeinterlace(bool on) {
    std::lock_guard<std::mutex> lock(statusLock);
    deinterlace = on ? 1 : 0;
}

bool CVideoConverter::Deinterlace() const {
    std::lock_guard<std::mutex> lock(statusLock);
    return deinterlace != 0;
}

void CVideoConverter::SetWorkFolder(std::filesystem::path folder) {
    workFolder = std::move(folder);
}

void CVideoConverter::SetFreeSpaceProbe(FreeSpaceProbe probe) {
    freeSpaceProbe = std::move(probe);
}

void CVideoConverter::SetTranscoder(Transcoder replacement) {
    transcoder = std::move(replacement);
}

std::uint64_t CVideoConverter::FreeSpaceOf(const std::filesystem::path& folder) const {
    return freeSpaceProbe ? freeSpaceProbe(folder) : VolumeFreeSpace(folder);
}

void CVideoConverter::RecordResultLocked(ResultCode code) {
    if (resultLatched == 0) {
        resultCode.store(code);
    }
    if (code == rc::FileSizeOverLimit || code == rc::DiscSpaceInsufficient) {
        resultLatched = 1;
    }
}

void CVideoConverter::RecordResult(ResultCode code) {
    std::lock_guard<std::mutex> lock(statusLock);
    RecordResultLocked(code);
}

void CVideoConverter::EstimateDiscSpace(std::int32_t justWritten) {
    recentSizes[recentIndex] = static_cast<std::uint32_t>(justWritten);
    recentIndex += 1;
    bytesWritten += justWritten;
    std::uint64_t sum = 0;
    std::uint32_t count = 0;
    while (recentSizes[count] != 0) { // the tenth word is always 0
        sum += recentSizes[count];
        ++count;
    }
    const std::uint64_t mean = count == 0 ? 0 : sum / count;
    const std::int64_t estimate = bytesWritten + static_cast<std::int64_t>(2 * mean);
    if (estimate > 0 && freeSpace < static_cast<std::uint64_t>(estimate)) {
        if (resultLatched == 0) {
            resultCode.store(rc::DiscSpaceInsufficient);
        }
        resultLatched = 1;
        abortRequested.store(1);
    }
    if (recentIndex >= 9) {
        recentIndex = 0;
    }
}

std::int32_t CVideoConverter::ProgressCallback(void* context, std::int32_t kind, std::int32_t value) {
    auto* converter = static_cast<CVideoConverter*>(context);
    std::lock_guard<std::mutex> lock(converter->statusLock);
    switch (kind) {
    case ReportResult:
        converter->RecordResultLocked(value);
        return 0;
    case ReportTotal:
        converter->progressTotal.store(static_cast<std::uint32_t>(value));
        return 0;
    case ReportPosition:
        converter->progressPosition.store(static_cast<std::uint32_t>(value));
        return converter->abortRequested.load() != 0 ? -1 : 0;
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
        std::lock_guard<std::mutex> lock(statusLock);
        if (state.load() != Idle) {
            return rc::ConverterBusy;
        }
        state.store(Converting);
        // A stop request that came after PrepareNextJob is meant for this job; without it, one left
        // over from before belongs to no job.
        if (jobPrepared.exchange(0) == 0) {
            abortRequested.store(0);
        }
        if (resultLatched == 0) {
            resultCode.store(0);
        }
        progressTotal.store(100);
        progressPosition.store(0);
        // A job uses the settings the converter holds when it starts.
        settings = Settings{frameRateStandard, qscaleText, deinterlace != 0, fit};
    }

    std::filesystem::path temporaryPath;
    try {
        RunPhases(sourcePath, destinationPath, settings, temporaryPath);
    } catch (const StepFailure& failure) {
        RecordResult(failure.code);
    } catch (const RemuxFailure&) {
        RecordResult(rc::MigrationFailed);
        abortRequested.store(0);
    } catch (const CWinFile::Error& error) {
        if (error.cause() == CWinFile::Cause::FileNotFound) {
            DebugOutput("CVideoConverter::AVIRemux() : File Not Found!\n");
        }
        DebugOutput(std::string("CVideoConverter::AVIRemux() : ") + error.what() + "\n");
        RecordResult(rc::FileError);
        abortRequested.store(0);
    } catch (const std::bad_alloc&) {
        DebugOutput("CVideoConverter::Convert() : out of memory\n");
        RecordResult(rc::Fail);
    } catch (const std::exception& error) {
        DebugOutput(std::string("CVideoConverter::Convert() : ") + error.what() + "\n");
        RecordResult(rc::Fail);
    }

    if (!temporaryPath.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporaryPath, ignored);
    }
    const ResultCode result = resultCode.load();
    DebugOutput(HexLine("ResultCode : 0x%08X\n", result));
    {
        std::lock_guard<std::mutex> lock(statusLock);
        abortRequested.store(0);
        progressTotal.store(0);
        progressPosition.store(0);
        freeSpace = 0;
        bytesWritten = 0;
        std::fill(std::begin(recentSizes), std::end(recentSizes), 0u);
        recentIndex = 0;
        resultLatched = 0;
        state.store(Idle);
    }
    return Failed(result) ? result : 0;
}

void CVideoConverter::RunPhases(const std::string& sourcePath, const std::string& destinationPath,
                                const Settings& settings, std::filesystem::path& temporaryPath) {
    // Phase 1 writes into a uniquely named temporary file of the work folder.
    const std::filesystem::path folder =
        workFolder.empty() ? std::filesystem::temp_directory_path() : workFolder;
    std::string pattern = (folder / "MJPXXXXXX").string();
    if (!FileHandle(::mkstemp(pattern.data()))) { // only the name is wanted: the handle closes here
        DebugOutput("CVideoConverter::Convert() : cannot create a temporary file in " + folder.string() +
                    "\n");
        throw StepFailure{rc::TempFileFailed};
    }
    temporaryPath = pattern;
    {
        const std::uint64_t space = FreeSpaceOf(folder);
        std::lock_guard<std::mutex> lock(statusLock);
        freeSpace = space;
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
                                          "44100",
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
    if (transcoder) {
        transcoder(&CVideoConverter::ProgressCallback, this, argc, argv.data());
    } else {
        ff_convertermain(&CVideoConverter::ProgressCallback, this, argc, argv.data());
    }
    if (Failed(resultCode.load())) {
        abortRequested.store(0);
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
        std::lock_guard<std::mutex> lock(statusLock);
        freeSpace = space;
    }

    state.store(Interleaving);
    progressTotal.store(100);
    progressPosition.store(0);
    AVIRemux(pattern, destinationPath, settings.frameRateStandard);
}

void CVideoConverter::AVIRemux(const std::string& inputPath, const std::string& outputPath,
                               const std::string& standard) {
    CWinFile input;
    CWinFile output;
    input.Open(inputPath, CWinFile::ModeRead);
    const std::uint64_t inputLength = input.GetLength();
    std::uint64_t available;
    {
        std::lock_guard<std::mutex> lock(statusLock);
        available = freeSpace;
    }
    if (inputLength > available) {
        RecordResult(rc::DiscSpaceInsufficient);
        FailRemux("CVideoConverter::AVIRemux() : Insufficient disc size\n");
    } else if (inputLength > kMaxMovieSize) {
        RecordResult(rc::FileSizeOverLimit);
        FailRemux("CVideoConverter::AVIRemux() : File size limit over\n");
    }
    output.Open(outputPath, CWinFile::ModeCreate | CWinFile::ModeWrite);
    // Chunks leave in large pieces rather than one system call each.
    output.SetWriteBuffer(1 << 20);

    std::uint32_t frameRate;
    std::uint32_t frameScale;
    std::uint32_t audioBytesPerStep;
    if (standard == "ntsc") {
        frameRate = 30000;
        frameScale = 1001;
        audioBytesPerStep = 30 * 1471 * 4; // 176520
    } else if (standard == "pal") {
        frameRate = 25;
        frameScale = 1;
        audioBytesPerStep = 25 * 1764 * 4; // 176400
    } else {
        FailRemux("CVideoConverter::AVIRemux() : Unknown FPS Standard\n");
    }

    std::array<std::uint8_t, kHeaderSize> header{};
    input.ReadExact(header.data(), header.size());
    std::uint8_t word[4];
    if (input.Read(word, 4) != 4 || std::memcmp(word, "LIST", 4) != 0) {
        FailRemux("CVideoConverter::AVIRemux() : LIST not found\n");
    }
    std::uint32_t moviLengthIn = 0;
    if (input.Read(word, 4) == 4) {
        moviLengthIn = LoadLE32(word);
    }
    if (input.Read(word, 4) != 4 || std::memcmp(word, "movi", 4) != 0) {
        FailRemux("CVideoConverter::AVIRemux() : movi not found\n");
    }

    input.Seek(static_cast<std::int64_t>(kMoviIdOffset + moviLengthIn), CWinFile::Begin);
    if (input.Read(word, 4) != 4 || std::memcmp(word, "idx1", 4) != 0) {
        FailRemux("CVideoConverter::AVIRemux() : idx1 not found\n");
    }
    const std::uint64_t indexStart = kMoviIdOffset + moviLengthIn + 8;
    std::uint32_t nbIDXSize = 0;
    // The index is read whole, so a size beyond the file's end is refused before allocating it.
    if (input.Read(word, 4) != 4 || (nbIDXSize = LoadLE32(word)) % CAVIPacket::kIndexEntrySize != 0 ||
        indexStart + nbIDXSize > inputLength) {
        FailRemux("CVideoConverter::AVIRemux() : Invalid value! nbIDXSize\n");
    }
    std::vector<std::uint8_t> index(nbIDXSize);
    input.ReadExact(index.data(), index.size());

    std::deque<std::unique_ptr<CAVIPacket>> videoQueue;
    std::deque<std::unique_ptr<CAVIPacket>> audioQueue;
    std::deque<std::unique_ptr<CAVIPacket>> pendingAudio;
    std::vector<std::unique_ptr<CAVIPacket>> indexList;
    for (std::size_t at = 0; at < index.size(); at += CAVIPacket::kIndexEntrySize) {
        std::unique_ptr<CAVIPacket> pAviPac;
        try {
            pAviPac = std::make_unique<CAVIPacket>();
        } catch (const std::bad_alloc&) {
            FailRemux("CVideoConverter::AVIRemux() : Allocate Failed - pAviPac\n");
        }
        pAviPac->Parse(index.data() + at);
        // An entry must point at a chunk inside the file; anything else is a damaged index.
        if (pAviPac->chunkOffset < 4 ||
            kMoviIdOffset + pAviPac->chunkOffset + 8 + std::uint64_t{pAviPac->chunkLength} > inputLength) {
            FailRemux("CVideoConverter::AVIRemux() : Index entry outside the file\n");
        }
        (pAviPac->isVideo != 0 ? videoQueue : audioQueue).push_back(std::move(pAviPac));
    }
    index.clear();
    index.shrink_to_fit();
    const std::uint32_t videoTotal = static_cast<std::uint32_t>(videoQueue.size());
    const std::uint32_t total = static_cast<std::uint32_t>(videoQueue.size() + audioQueue.size());
    progressTotal.store(total);
    indexList.reserve(total);

    output.WriteExact(header.data(), header.size());
    output.WriteExact("LISTSIZEmovi", 12);

    std::uint32_t moviLength = 0;
    std::uint32_t frameAccumulator = 0;
    std::uint32_t carry = 0;
    std::uint32_t skip = 0;
    while (!videoQueue.empty() || !audioQueue.empty() || !pendingAudio.empty()) {
        // The frames of this step: one second of pictures (29.97 on average for ntsc).
        std::uint32_t frames = 0;
        while (frameAccumulator < frameRate) {
            frameAccumulator += frameScale;
            ++frames;
        }
        frameAccumulator -= frameRate;

        for (std::uint32_t i = 0; i < frames && !videoQueue.empty(); ++i) {
            std::unique_ptr<CAVIPacket> ptr = std::move(videoQueue.front());
            videoQueue.pop_front();
            if (!ptr->ReadData(input)) {
                throw RemuxFailure{};
            }
            const std::uint32_t written = ptr->WriteData(output, moviLength);
            if (written == 0) {
                FailRemux("CVideoConverter::AVIRemux() : ptr->WriteData - FAILED\n");
            }
            ptr->FreeData();
            indexList.push_back(std::move(ptr));
            moviLength += written;
        }

        // Gather one step of sound; a packet that straddles the step is carried into the next one.
        std::uint64_t gathered = carry;
        carry = 0;
        while (gathered < audioBytesPerStep && !audioQueue.empty()) {
            std::unique_ptr<CAVIPacket> packet = std::move(audioQueue.front());
            audioQueue.pop_front();
            if (!packet->ReadData(input)) {
                throw RemuxFailure{};
            }
            gathered += packet->dataLength;
            pendingAudio.push_back(std::move(packet));
        }
        if (gathered > 0) {
            std::unique_ptr<std::uint8_t[]> pAudioData;
            try {
                pAudioData = std::make_unique_for_overwrite<std::uint8_t[]>(audioBytesPerStep);
            } catch (const std::bad_alloc&) {
                FailRemux("CVideoConverter::AVIRemux() : Allocate Failed - pAudioData\n");
            }
            const std::uint32_t toCopy =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(gathered, audioBytesPerStep));
            std::uint32_t copied = 0;
            while (copied < toCopy) {
                CAVIPacket& first = *pendingAudio.front();
                const std::uint32_t left = first.dataLength - skip;
                const std::uint32_t take = std::min(left, toCopy - copied);
                if (take > 0) {
                    std::memcpy(pAudioData.get() + copied, first.Bytes() + skip, take);
                }
                copied += take;
                if (take == left) {
                    pendingAudio.pop_front();
                    skip = 0;
                } else {
                    skip += take;
                }
            }
            // Packets of no bytes at the front have nothing left to give.
            while (!pendingAudio.empty() && pendingAudio.front()->dataLength == skip) {
                pendingAudio.pop_front();
                skip = 0;
            }
            carry = static_cast<std::uint32_t>(gathered - toCopy);
            std::unique_ptr<CAVIPacket> audio;
            try {
                audio = CAVIPacket::CreateAVIPacket(std::move(pAudioData), toCopy);
            } catch (const std::bad_alloc&) {
                FailRemux("CVideoConverter::AVIRemux() : Allocate Failed - CreateAVIPacket()\n");
            }
            const std::uint32_t written = audio->WriteData(output, moviLength);
            if (written == 0) {
                FailRemux("CVideoConverter::AVIRemux() : ptr->WriteData - FAILED\n");
            }
            audio->FreeData();
            indexList.push_back(std::move(audio));
            moviLength += written;
        } else {
            // Whatever is still pending holds no bytes.
            pendingAudio.clear();
            skip = 0;
        }

        progressPosition.store(total - static_cast<std::uint32_t>(audioQueue.size()) -
                               static_cast<std::uint32_t>(videoQueue.size()));
        if (abortRequested.load() != 0) {
            FailRemux("CVideoConverter::AVIRemux() : Canceled\n");
        }
    }

    // The new index, written in one piece.
    std::vector<std::uint8_t> entries(8 + CAVIPacket::kIndexEntrySize * indexList.size());
    std::memcpy(entries.data(), "idx1", 4);
    const std::uint32_t indexBytes =
        static_cast<std::uint32_t>(CAVIPacket::kIndexEntrySize * indexList.size());
    byteorder::StoreLE32(entries.data() + 4, indexBytes);
    for (std::size_t i = 0; i < indexList.size(); ++i) {
        indexList[i]->MakeOutputEntry(entries.data() + 8 + CAVIPacket::kIndexEntrySize * i);
    }
    output.WriteExact(entries.data(), entries.size());

    // The device reads the whole file's length at offset 4, the number of pictures at 48 and the movi
    // list's length at 504.
    WriteLE32At(output, 4, static_cast<std::uint32_t>(output.GetLength()));
    WriteLE32At(output, kMainHeaderTotalFrames, videoTotal);
    WriteLE32At(output, kMoviLengthOffset, moviLength + 4);
    output.Flush();
}

} // namespace k72
