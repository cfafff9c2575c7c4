#include "store/CPadFile.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "store/PadFileSnapshot.h"
#include "store/WriteFaults.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "pad file";

using namespace padlayout;

// Field offsets within a 1,364-byte record.
namespace movieoff {
constexpr std::size_t kFileName = 8;
constexpr std::size_t kDeviceValue1 = 24;
constexpr std::size_t kDeviceValue2 = 28;
constexpr std::size_t kFrameCount = 32;
constexpr std::size_t kAudioFileName = 36;
constexpr std::size_t kDeviceValue3 = 52;
constexpr std::size_t kDeviceValue4 = 56;
constexpr std::size_t kDeviceByte1 = 60;
constexpr std::size_t kDeviceByte2 = 61;
constexpr std::size_t kDeviceByte3 = 64;
} // namespace movieoff

namespace stilloff {
constexpr std::size_t kStillNames = 8;
constexpr std::size_t kStillCount = 1308;
constexpr std::size_t kAudioFileName = 1312;
constexpr std::size_t kDeviceValue1 = 1328;
constexpr std::size_t kDeviceValue2 = 1332;
constexpr std::size_t kDeviceValue3 = 1336;
constexpr std::size_t kDeviceBytes = 1340;
constexpr std::size_t kDeviceByte4 = 1360;
constexpr std::size_t kDeviceByte2 = 1361;
} // namespace stilloff

// The byte ranges of a record that belong to its fields; everything else in the record is a gap that
// only the device writes.
struct Span {
    std::size_t begin;
    std::size_t end;
};
constexpr Span kHeaderSpans[] = {{0, 8}};
constexpr Span kMovieSpans[] = {{0, 21}, {24, 49}, {52, 62}, {64, 65}};
constexpr Span kStillSpans[] = {{0, 1325}, {1328, 1345}, {1360, 1362}};

using byteorder::LoadLE32;
using byteorder::StoreLE32;

void GetName(const std::uint8_t* p, NameField& field) {
    std::memcpy(field.data(), p, field.size());
}
void PutName(std::uint8_t* p, const NameField& field) {
    std::memcpy(p, field.data(), field.size());
}

void ParseRecord(const std::uint8_t* r, PadEntry& entry) {
    entry.used = static_cast<std::int32_t>(LoadLE32(r));
    entry.kindCode = static_cast<std::int32_t>(LoadLE32(r + 4));
    if (entry.used != kUsed) {
        return;
    }
    if (entry.kindCode == kKindMovie) {
        MovieRecord& m = entry.movie.emplace();
        GetName(r + movieoff::kFileName, m.fileName);
        m.deviceValue1 = LoadLE32(r + movieoff::kDeviceValue1);
        m.deviceValue2 = LoadLE32(r + movieoff::kDeviceValue2);
        m.frameCount = LoadLE32(r + movieoff::kFrameCount);
        GetName(r + movieoff::kAudioFileName, m.audioFileName);
        m.audioFileName[kNameFieldSize - 1] = '\0';
        m.deviceValue3 = LoadLE32(r + movieoff::kDeviceValue3);
        m.deviceValue4 = LoadLE32(r + movieoff::kDeviceValue4);
        m.deviceByte1 = r[movieoff::kDeviceByte1];
        m.deviceByte2 = r[movieoff::kDeviceByte2];
        m.deviceByte3 = r[movieoff::kDeviceByte3];
    } else if (entry.kindCode == kKindStill) {
        StillRecord& s = entry.stills.emplace();
        for (std::size_t i = 0; i < kMaxStills; ++i) {
            GetName(r + stilloff::kStillNames + i * kNameFieldSize, s.stillNames[i]);
        }
        s.stillCount = LoadLE32(r + stilloff::kStillCount);
        GetName(r + stilloff::kAudioFileName, s.audioFileName);
        s.audioFileName[kNameFieldSize - 1] = '\0';
        s.deviceValue1 = LoadLE32(r + stilloff::kDeviceValue1);
        s.deviceValue2 = LoadLE32(r + stilloff::kDeviceValue2);
        s.deviceValue3 = LoadLE32(r + stilloff::kDeviceValue3);
        std::memcpy(s.deviceBytes.data(), r + stilloff::kDeviceBytes, s.deviceBytes.size());
        s.deviceByte4 = r[stilloff::kDeviceByte4];
        s.deviceByte2 = r[stilloff::kDeviceByte2];
    }
}

// Lays out an entry's header and fields in r and says which byte ranges of the record they occupy.
// An entry marked as a movie or still pad without its record (never made by this program) is written
// as its header alone rather than inventing field values.
std::pair<const Span*, std::size_t> FormatRecord(const PadEntry& entry, std::uint8_t* r) {
    StoreLE32(r, static_cast<std::uint32_t>(entry.used));
    StoreLE32(r + 4, static_cast<std::uint32_t>(entry.kindCode));
    if (entry.used == kUsed && entry.kindCode == kKindMovie && entry.movie) {
        const MovieRecord& m = *entry.movie;
        PutName(r + movieoff::kFileName, m.fileName);
        StoreLE32(r + movieoff::kDeviceValue1, m.deviceValue1);
        StoreLE32(r + movieoff::kDeviceValue2, m.deviceValue2);
        StoreLE32(r + movieoff::kFrameCount, m.frameCount);
        PutName(r + movieoff::kAudioFileName, m.audioFileName);
        StoreLE32(r + movieoff::kDeviceValue3, m.deviceValue3);
        StoreLE32(r + movieoff::kDeviceValue4, m.deviceValue4);
        r[movieoff::kDeviceByte1] = m.deviceByte1;
        r[movieoff::kDeviceByte2] = m.deviceByte2;
        r[movieoff::kDeviceByte3] = m.deviceByte3;
        return {kMovieSpans, std::size(kMovieSpans)};
    }
    if (entry.used == kUsed && entry.kindCode == kKindStill && entry.stills) {
        const StillRecord& s = *entry.stills;
        for (std::size_t i = 0; i < kMaxStills; ++i) {
            PutName(r + stilloff::kStillNames + i * kNameFieldSize, s.stillNames[i]);
        }
        StoreLE32(r + stilloff::kStillCount, s.stillCount);
        PutName(r + stilloff::kAudioFileName, s.audioFileName);
        StoreLE32(r + stilloff::kDeviceValue1, s.deviceValue1);
        StoreLE32(r + stilloff::kDeviceValue2, s.deviceValue2);
        StoreLE32(r + stilloff::kDeviceValue3, s.deviceValue3);
        std::memcpy(r + stilloff::kDeviceBytes, s.deviceBytes.data(), s.deviceBytes.size());
        r[stilloff::kDeviceByte4] = s.deviceByte4;
        r[stilloff::kDeviceByte2] = s.deviceByte2;
        return {kStillSpans, std::size(kStillSpans)};
    }
    return {kHeaderSpans, std::size(kHeaderSpans)};
}

void LogErrno(const char* what) {
    LogLine(kLogModule, std::string(what) + ": " + std::strerror(errno));
}

// Reads up to size bytes at offset; a short read is not an error (the rest stays as it was).
bool ReadAt(int fd, std::uint8_t* data, std::size_t size, off_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            LogErrno("read");
            return false;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAt(int fd, const std::uint8_t* data, std::size_t size, off_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            LogErrno("write");
            return false;
        }
        if (n == 0) {
            errno = EIO;
            LogErrno("write");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Takes the exclusive lock of a writer. Another writer (k72-card, or the desktop program, which holds
// its card for as long as it is open) refuses it at once; commands that only read hold the file for a
// moment each, and are waited for.
CardOpenFailure LockForWriting(int fd) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(CPadFile::kReaderWaitMilliseconds);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return CardOpenFailure::None;
        }
        if (errno != EWOULDBLOCK) {
            LogErrno("lock");
            return CardOpenFailure::IoError;
        }
        // Only readers hold it while a shared lock can still be had.
        if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
            LogLine(kLogModule, "held by another writer");
            return CardOpenFailure::Locked;
        }
        ::flock(fd, LOCK_UN);
        if (std::chrono::steady_clock::now() >= deadline) {
            LogLine(kLogModule, "readers kept holding it");
            return CardOpenFailure::Busy;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void Failed(CardOpenResult& result, CardOpenFailure failure, int error) {
    result.failure = failure;
    result.errorNumber = error;
}

// Opens the pad file, for writing unless the card is only looked at, and makes sure it is a regular
// file; nothing open, with the reason in result, otherwise. O_NOFOLLOW: a pad file that is a link may
// point anywhere outside the card, and is never written through (the folders above it may be links: a
// card mounted under a linked path). O_NONBLOCK keeps a FIFO or device named like the pad file from
// blocking the open.
FileHandle OpenRegularFile(const std::filesystem::path& path, CardAccess access, CardOpenResult& result) {
    FileHandle fd(::open(path.c_str(), (access == CardAccess::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC |
                                           O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    struct stat info {};
    if (!fd) {
        const int error = errno;
        LogErrno("open");
        if (error == ENOENT || error == ENOTDIR) {
            Failed(result, CardOpenFailure::NotFound, error);
        } else if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            result.fileType = FileTypeWords(info.st_mode);
            Failed(result, CardOpenFailure::NotARegularFile, error);
        } else if (access != CardAccess::Snapshot &&
                   (error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY)) {
            // Told as a card that cannot be written; a snapshot is only read, so for it this is
            // any other failure.
            Failed(result, CardOpenFailure::ReadOnly, error);
        } else {
            Failed(result, CardOpenFailure::IoError, error);
        }
        return {};
    }
    if (::fstat(fd.get(), &info) != 0) {
        Failed(result, CardOpenFailure::IoError, errno);
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        LogLine(kLogModule, "not a regular file");
        result.fileType = FileTypeWords(info.st_mode);
        Failed(result, CardOpenFailure::NotARegularFile, 0);
        return {};
    }
    return fd;
}

// The pad file read once, consistently, into a file that lives in memory for as long as it is open:
// nothing of it is ever written anywhere. Nothing, with the reason in result, when it cannot be read.
FileHandle ReadIntoMemory(int fd, const std::filesystem::path& path, CardOpenResult& result) {
    PadFileSnapshot snapshot;
    if (const StoreResult read = snapshot.ReadOpenFile(fd, path); !read) {
        if (snapshot.WrongLength() >= 0) {
            result.sizeFound = static_cast<std::uint64_t>(snapshot.WrongLength());
            Failed(result, CardOpenFailure::WrongLength, 0);
        } else {
            Failed(result, CardOpenFailure::IoError, errno != 0 ? errno : EIO);
        }
        return {};
    }
    FileHandle copy(::memfd_create("K72_PAD.SYS", MFD_CLOEXEC));
    if (!copy || !WriteAt(copy.get(), snapshot.Bytes().data(), snapshot.Bytes().size(), 0)) {
        Failed(result, CardOpenFailure::IoError, errno);
        return {};
    }
    return copy;
}

} // namespace

CPadFile::CPadFile() : entries_(kEntriesPerBank) {}

CPadFile::~CPadFile() {
    Close();
}

CardOpenResult CPadFile::Open(const std::filesystem::path& path, CardAccess access) {
    Close();
    CardOpenResult result;
    result.padFile = path;
    FileHandle fd = OpenRegularFile(path, access, result);
    if (!fd) {
        return result;
    }
    if (access == CardAccess::Snapshot) {
        fd = ReadIntoMemory(fd.get(), path, result);
        if (!fd) {
            return result;
        }
    } else {
        // A card opened only to look at it takes no lock: it cannot be written anyway, and another
        // program that holds it is not kept from its work.
        if (const CardOpenFailure locked =
                access == CardAccess::ReadOnly ? CardOpenFailure::None : LockForWriting(fd.get());
            locked != CardOpenFailure::None) {
            Failed(result, locked, locked == CardOpenFailure::IoError ? errno : 0);
            return result;
        }
        // The length is checked under the lock, so that no other cooperating opener changes it
        // meanwhile.
        struct stat info {};
        if (::fstat(fd.get(), &info) != 0 || static_cast<std::uint64_t>(info.st_size) != kFileSize) {
            LogLine(kLogModule, "wrong length " + std::to_string(info.st_size));
            result.sizeFound = static_cast<std::uint64_t>(info.st_size);
            Failed(result, CardOpenFailure::WrongLength, 0);
            return result;
        }
        const int flags = ::fcntl(fd.get(), F_GETFL);
        if (flags >= 0) {
            ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
        }
    }
    fd_ = std::move(fd);
    path_ = path;
    readOnly_ = access != CardAccess::ReadWrite;
    return result;
}

void CPadFile::Close() {
    fd_.reset(); // releases the flock with the last descriptor of this open file
    path_.clear();
    readOnly_ = false;
}

bool CPadFile::StillAtItsPath() const {
    struct stat open {};
    struct stat named {};
    return fd_ && ::fstat(fd_.get(), &open) == 0 && open.st_nlink > 0 && ::stat(path_.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool CPadFile::ReadWholeFile(std::vector<std::uint8_t>& bytes) const {
    if (!fd_) {
        return false;
    }
    bytes.assign(kFileSize, 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pread(fd_.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO; // shorter than a pad file
            }
            LogErrno("read");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool CPadFile::LoadBank(int bank) {
    if (bank < 0 || bank >= kBanks) {
        return false;
    }
    if (loaded_ != 0) {
        ClearAll();
    }
    if (!fd_) {
        return false;
    }
    // One read of the whole bank; the parse below only looks at header and field bytes.
    std::vector<std::uint8_t> image(kBankSize, 0);
    if (!ReadAt(fd_.get(), image.data(), image.size(), static_cast<off_t>(bank * kBankSize))) {
        ClearAll();
        return false;
    }
    for (int i = 0; i < kEntriesPerBank; ++i) {
        PadEntry& entry = entries_[static_cast<std::size_t>(i)];
        entry = PadEntry{};
        ParseRecord(image.data() + static_cast<std::size_t>(i) * kRecordSize, entry);
    }
    loadedBank_ = bank;
    loaded_ = 1;
    return true;
}

bool CPadFile::SaveBank() {
    if (loaded_ == 0 || loadedBank_ < 0 || loadedBank_ >= kBanks || !fd_) {
        return false;
    }
    if (readOnly_) {
        errno = EROFS;
        return false;
    }
    if (!StillAtItsPath()) {
        LogLine(kLogModule, path_.string() + " is no longer the open file (card removed, or the file deleted "
                                             "or replaced); nothing written");
        return false;
    }
    // The bank as it is on the medium, with the fields laid over it: the gap bytes between the fields
    // stay exactly as the device left them.
    const off_t bankOffset = static_cast<off_t>(static_cast<std::size_t>(loadedBank_) * kBankSize);
    std::vector<std::uint8_t> onMedium(kBankSize, 0);
    if (!ReadAt(fd_.get(), onMedium.data(), onMedium.size(), bankOffset)) {
        return false;
    }
    std::vector<std::uint8_t> image = onMedium;
    std::vector<JournalSpan> spans;
    for (int i = 0; i < kEntriesPerBank; ++i) {
        const std::size_t recordStart = static_cast<std::size_t>(i) * kRecordSize;
        FormatRecord(entries_[static_cast<std::size_t>(i)], image.data() + recordStart);
        // One span per changed record, from its first changed byte to its last.
        std::size_t first = kRecordSize;
        std::size_t last = 0;
        for (std::size_t k = 0; k < kRecordSize; ++k) {
            if (image[recordStart + k] != onMedium[recordStart + k]) {
                first = std::min(first, k);
                last = k;
            }
        }
        if (first < kRecordSize) {
            const auto from = static_cast<long>(recordStart + first);
            const auto to = static_cast<long>(recordStart + last + 1);
            spans.push_back(
                JournalSpan{static_cast<std::uint64_t>(bankOffset + from),
                            std::vector<std::uint8_t>(onMedium.begin() + from, onMedium.begin() + to),
                            std::vector<std::uint8_t>(image.begin() + from, image.begin() + to)});
        }
    }
    if (spans.empty()) {
        return true;
    }
    // The journal names the card it is for: the volume, and the bytes this save leaves alone.
    Journal journal;
    std::vector<std::uint8_t> whole;
    if (!journalPath_.empty() && ReadWholeFile(whole)) {
        journal.identity = CardIdentity{volume_, 0};
        journal.spans = spans;
        journal.identity->outside = SaveJournal::HashOutside(whole, spans);
    }
    const bool journalled = journal.identity && SaveJournal::Write(journalPath_, journal);
    if (!journalPath_.empty() && !journalled) {
        LogLine(kLogModule, "saving without a journal; each record is still written whole");
    }
    // Each changed record with one write of its whole span, in the order of the records.
    bool ok = true;
    for (const JournalSpan& span : spans) {
        if (!WriteSpan(span.offset, span.newBytes)) {
            ok = false;
            break;
        }
    }
    ok = ok && FlushToMedium();
    if (!ok) {
        // Every byte the save changed is put back; should even that fail, the journal stays and the
        // next open of the card puts them back.
        bool restored = true;
        for (const JournalSpan& span : spans) {
            restored = WriteSpan(span.offset, span.oldBytes) && restored;
        }
        restored = restored && FlushToMedium();
        if (restored && journalled) {
            SaveJournal::Remove(journalPath_);
        }
        return false;
    }
    if (journalled) {
        SaveJournal::Remove(journalPath_);
    }
    return true;
}

bool CPadFile::WriteSpan(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
    if (!writefault::Pass("pad file write")) {
        LogErrno("write");
        return false;
    }
    return WriteAt(fd_.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
}

bool CPadFile::FlushToMedium() {
    // The card is usually pulled out right after a change: the bank must be on the medium now.
    if (!fd_ || !writefault::Pass("pad file fsync") || ::fsync(fd_.get()) != 0) {
        LogErrno("fsync");
        return false;
    }
    return true;
}

bool CPadFile::PutBack(const std::vector<JournalSpan>& spans) {
    if (!fd_ || readOnly_) {
        return false;
    }
    bool restored = true;
    for (const JournalSpan& span : spans) {
        restored = restored && span.offset + span.oldBytes.size() <= kFileSize &&
                   WriteSpan(span.offset, span.oldBytes);
    }
    restored = restored && FlushToMedium();
    if (loaded_ != 0) {
        const int bank = loadedBank_;
        LoadBank(bank);
    }
    return restored;
}

bool CPadFile::ReadAllNames(std::vector<NamedFile>& names) const {
    names.clear();
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(bytes)) {
        return false;
    }
    for (int bank = 0; bank < kBanks; ++bank) {
        for (int i = 0; i < kEntriesPerBank; ++i) {
            PadEntry entry;
            ParseRecord(bytes.data() + RecordOffset(bank, i / kPads, i % kPads), entry);
            const int number = i / kPads;
            const int pad = i % kPads;
            const auto add = [&](const NameField& field, bool sound) {
                if (!IsEmptyName(field)) {
                    names.push_back(NamedFile{NameText(field), bank, number, pad, sound});
                }
            };
            if (entry.Kind() == PadKindMovie && entry.movie) {
                add(entry.movie->fileName, false);
                add(entry.movie->audioFileName, true);
            } else if (entry.Kind() == PadKindStill && entry.stills) {
                for (std::size_t k = 0; k < entry.stills->UsableCount(); ++k) {
                    add(entry.stills->stillNames[k], false);
                }
                add(entry.stills->audioFileName, true);
            }
        }
    }
    return true;
}

bool CPadFile::InRange(int number, int pad) {
    return number >= 0 && number < kNumbers && pad >= 0 && pad < kPads;
}

PadEntry* CPadFile::Entry(int number, int pad) {
    if (!InRange(number, pad)) {
        return nullptr;
    }
    return &entries_[static_cast<std::size_t>(number * kPads + pad)];
}

const PadEntry* CPadFile::EntryAt(int number, int pad) const {
    if (loaded_ == 0 || !InRange(number, pad)) {
        return nullptr;
    }
    return &entries_[static_cast<std::size_t>(number * kPads + pad)];
}

PadEntry* CPadFile::EntryAt(int number, int pad) {
    return loaded_ == 0 ? nullptr : Entry(number, pad);
}

std::optional<MovieRecord> CPadFile::GetMovieRecord(int number, int pad) const {
    const PadEntry* entry = EntryAt(number, pad);
    if (entry == nullptr || entry->kindCode != kKindMovie || !entry->movie) {
        return std::nullopt;
    }
    return entry->movie;
}

std::optional<StillRecord> CPadFile::GetStillRecord(int number, int pad) const {
    const PadEntry* entry = EntryAt(number, pad);
    if (entry == nullptr || entry->kindCode != kKindStill || !entry->stills) {
        return std::nullopt;
    }
    return entry->stills;
}

bool CPadFile::SetMovieRecord(int number, int pad, const MovieRecord& record) {
    PadEntry* entry = EntryAt(number, pad);
    if (entry == nullptr) {
        return false;
    }
    entry->stills.reset();
    entry->used = kUsed;
    entry->kindCode = kKindMovie;
    entry->movie = record;
    return true;
}

bool CPadFile::SetStillRecord(int number, int pad, const StillRecord& record) {
    PadEntry* entry = EntryAt(number, pad);
    if (entry == nullptr) {
        return false;
    }
    entry->movie.reset();
    entry->used = kUsed;
    entry->kindCode = kKindStill;
    entry->stills = record;
    return true;
}

void CPadFile::ClearPad(int number, int pad) {
    PadEntry* entry = Entry(number, pad);
    if (entry != nullptr) {
        *entry = PadEntry{};
    }
}

void CPadFile::ClearAll() {
    for (PadEntry& entry : entries_) {
        entry = PadEntry{};
    }
    loaded_ = 0;
    loadedBank_ = -1;
}

} // namespace k72
