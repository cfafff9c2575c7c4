#include "store/SourceRecord.h"

#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"
#include "store/CardLayout.h"
#include "store/WriteFaults.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace k72 {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::string_view kLogModule = "source record";
constexpr std::string_view kTemporaryName = "K72_SRC.TMP";
constexpr int kVersion = 1;
// A record of every file the card can hold stays far below this; anything larger is not ours.
constexpr std::uintmax_t kLargestRecord = 64u << 20;

// A FAT card keeps local time; read in another time zone every time moves by the same whole quarter
// hours (up to a day), while a file written again moves by anything.
bool SameCardTime(std::int64_t recorded, std::int64_t now) {
    constexpr std::int64_t kQuarterHour = 15ll * 60 * 1'000'000'000;
    constexpr std::int64_t kDay = 24ll * 60 * 60 * 1'000'000'000;
    const std::int64_t shift = now - recorded;
    return shift == 0 || (shift % kQuarterHour == 0 && std::llabs(shift) <= kDay);
}

Json SettingsJson(const RecordedSettings& settings) {
    Json json = Json::object();
    if (!settings.fps.empty()) {
        json["fps"] = settings.fps;
    }
    if (settings.quality >= 0) {
        json["quality"] = settings.quality;
    }
    if (!settings.fps.empty()) {
        json["deinterlace"] = settings.deinterlace;
    }
    if (settings.fit) {
        json["fit"] = FitWord(*settings.fit);
    }
    return json;
}

RecordedSettings SettingsFromJson(const Json& json) {
    RecordedSettings settings;
    settings.fps = json.value("fps", std::string());
    settings.quality = json.value("quality", -1);
    settings.deinterlace = json.value("deinterlace", false);
    if (json.contains("fit")) {
        settings.fit = ParseFitWord(json.at("fit").get<std::string>());
    }
    return settings;
}

Json EntryJson(const SourceEntry& entry) {
    Json json = {{"kind", SourceKindWord(entry.kind)},
                 {"source", entry.source.path},
                 {"size", entry.source.stamp.size},
                 {"modified", entry.source.stamp.modified},
                 {"hash", entry.source.hash},
                 {"settings", SettingsJson(entry.settings)},
                 {"name", entry.originalName},
                 {"card-size", entry.cardFile.size},
                 {"card-modified", entry.cardFile.modified}};
    if (!entry.folder.empty()) {
        json["folder"] = entry.folder;
        json["folder-index"] = entry.folderIndex;
        json["folder-count"] = entry.folderCount;
    }
    return json;
}

// Throws nlohmann's exceptions for an entry it cannot read; the caller drops that entry.
SourceEntry EntryFromJson(const Json& json) {
    SourceEntry entry;
    const std::optional<SourceKind> kind = ParseSourceKind(json.at("kind").get<std::string>());
    if (!kind) {
        throw std::invalid_argument("unknown kind");
    }
    entry.kind = *kind;
    entry.source.path = json.at("source").get<std::string>();
    entry.source.stamp.size = json.at("size").get<std::uint64_t>();
    entry.source.stamp.modified = json.at("modified").get<std::int64_t>();
    entry.source.hash = json.at("hash").get<std::string>();
    entry.settings = SettingsFromJson(json.at("settings"));
    entry.originalName = json.at("name").get<std::string>();
    entry.cardFile.size = json.at("card-size").get<std::uint64_t>();
    entry.cardFile.modified = json.at("card-modified").get<std::int64_t>();
    if (json.contains("folder")) {
        entry.folder = json.at("folder").get<std::string>();
        entry.folderIndex = json.at("folder-index").get<std::size_t>();
        entry.folderCount = json.at("folder-count").get<std::size_t>();
    }
    return entry;
}

Json PlanSettingsJson(const Settings& settings) {
    return {{"fps", settings.FrameRateWord()},
            {"quality", settings.quality},
            {"deinterlace", settings.deinterlace != 0},
            {"fit", FitWord(settings.fit)}};
}

Settings PlanSettingsFromJson(const Json& json) {
    Settings settings;
    settings.fps = json.at("fps").get<std::string>() == "pal" ? 1 : 0;
    settings.quality = json.at("quality").get<std::int32_t>();
    settings.deinterlace = json.at("deinterlace").get<bool>() ? 1 : 0;
    settings.fit = ParseFitWord(json.at("fit").get<std::string>()).value_or(FitMode::Stretch);
    return settings;
}

bool Complain(const std::string& what, const std::filesystem::path& path) {
    LogLine(LogLevel::Warning, kLogModule, what + " " + path.string() + ": " + std::strerror(errno));
    return false;
}

void SyncFolder(const std::filesystem::path& folder) {
    const FileHandle fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd && writefault::Pass("source record folder fsync")) {
        ::fsync(fd.get());
    }
}

// The record's file at the root, spelled as the card spells it.
std::filesystem::path RecordPath(const std::filesystem::path& cardRoot) {
    return FindEntryNoCase(cardRoot, SourceRecord::kFileName).value_or(cardRoot / SourceRecord::kFileName);
}

} // namespace

CardFileStamps ListCardFileStamps(const std::filesystem::path& cardFolder) {
    CardFileStamps files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(cardFolder, ec), end; !ec && it != end; it.increment(ec)) {
        if (const std::optional<FileStamp> stamp = StampOfFile(it->path())) {
            files[CardNameKey(it->path().filename().string())] = *stamp;
        }
    }
    return files;
}

CardFileStamps StampCardFiles(const std::vector<std::filesystem::path>& files) {
    CardFileStamps stamps;
    for (const std::filesystem::path& file : files) {
        if (const std::optional<FileStamp> stamp = StampOfFile(file)) {
            stamps[CardNameKey(file.filename().string())] = *stamp;
        }
    }
    return stamps;
}

std::string CardNameKey(std::string_view name) {
    std::string key(name);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return key;
}

SourceRecord SourceRecord::Load(const std::filesystem::path& cardRoot) {
    const std::filesystem::path path = RecordPath(cardRoot);
    const FileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd) {
        if (errno != ENOENT) {
            Complain("cannot open", path);
        }
        return {};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > kLargestRecord) {
        LogLine(LogLevel::Warning, kLogModule, "not a record of sources, left aside: " + path.string());
        return {};
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t part = ::read(fd.get(), text.data() + got, text.size() - got);
        if (part < 0 && errno == EINTR) {
            continue;
        }
        if (part <= 0) {
            Complain("cannot read", path);
            return {};
        }
        got += static_cast<std::size_t>(part);
    }
    return Parse(text);
}

SourceRecord SourceRecord::Parse(std::string_view text) {
    SourceRecord record;
    const Json json = Json::parse(text, nullptr, false);
    const auto whole = [&] {
        const auto version = json.find("k72-sources");
        const auto files = json.find("files");
        return version != json.end() && *version == kVersion && files != json.end() && files->is_object();
    };
    if (json.is_discarded() || !json.is_object() || !whole()) {
        LogLine(LogLevel::Warning, kLogModule, "the record of sources is damaged; starting an empty one");
        return record;
    }
    for (const auto& [name, value] : json.at("files").items()) {
        try {
            if (!IsPlainCardName(name)) {
                throw std::invalid_argument("not a card file name");
            }
            record.entries_[CardNameKey(name)] = EntryFromJson(value);
        } catch (const std::exception& error) {
            LogLine(LogLevel::Warning, kLogModule, "entry " + name + " left aside: " + error.what());
        }
    }
    if (const auto deleting = json.find("deleting"); deleting != json.end() && deleting->is_array()) {
        for (const auto& name : *deleting) {
            if (name.is_string() && IsPlainCardName(name.get<std::string>())) {
                record.deleting_.insert(CardNameKey(name.get<std::string>()));
            }
        }
    }
    if (json.contains("plan-settings")) {
        try {
            record.planSettings_ = PlanSettingsFromJson(json.at("plan-settings"));
        } catch (const std::exception& error) {
            LogLine(LogLevel::Warning, kLogModule, std::string("plan settings left aside: ") + error.what());
        }
    }
    return record;
}

std::string SourceRecord::Text() const {
    Json json = {{"k72-sources", kVersion}};
    if (planSettings_) {
        json["plan-settings"] = PlanSettingsJson(*planSettings_);
    }
    Json files = Json::object();
    for (const auto& [name, entry] : entries_) {
        files[name] = EntryJson(entry);
    }
    json["files"] = std::move(files);
    if (!deleting_.empty()) {
        json["deleting"] = deleting_;
    }
    // A path that is not UTF-8 is kept readable rather than failing the whole record.
    return json.dump(1, '\t', false, Json::error_handler_t::replace) + "\n";
}

bool SourceRecord::Save(const std::filesystem::path& cardRoot) const {
    const std::string text = Text();
    const std::filesystem::path path = RecordPath(cardRoot);
    const std::filesystem::path temporary = cardRoot / kTemporaryName;
    FileHandle fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd) {
        return Complain("cannot create", temporary);
    }
    std::size_t written = 0;
    bool ok = writefault::Pass("source record write");
    while (ok && written < text.size()) {
        const ssize_t part = ::write(fd.get(), text.data() + written, text.size() - written);
        if (part < 0 && errno == EINTR) {
            continue;
        }
        ok = part > 0;
        written += ok ? static_cast<std::size_t>(part) : 0;
    }
    ok = ok && writefault::Pass("source record fsync") && ::fsync(fd.get()) == 0;
    ok = fd.close() == 0 && ok;
    if (ok && writefault::Pass("source record rename") && ::rename(temporary.c_str(), path.c_str()) == 0) {
        SyncFolder(cardRoot);
        return true;
    }
    Complain("cannot write", path);
    ::unlink(temporary.c_str());
    return false;
}

const SourceEntry* SourceRecord::Find(std::string_view cardName, const CardFileStamps& cardFiles) const {
    const std::string key = CardNameKey(cardName);
    const auto entry = entries_.find(key);
    const auto file = cardFiles.find(key);
    if (entry == entries_.end() || file == cardFiles.end() ||
        file->second.size != entry->second.cardFile.size ||
        !SameCardTime(entry->second.cardFile.modified, file->second.modified)) {
        return nullptr;
    }
    return &entry->second;
}

std::optional<std::string> SourceRecord::FindConversion(SourceKind kind, const RecordedSettings& settings,
                                                        const std::filesystem::path& source,
                                                        const CardFileStamps& cardFiles,
                                                        SourceProbe& probe) const {
    const std::string key = SourcePathKey(source);
    std::optional<std::string> found;
    for (const auto& [name, entry] : entries_) {
        if (entry.kind != kind || entry.settings != settings || Find(name, cardFiles) == nullptr) {
            continue;
        }
        // The same path is the likely one and needs no hash; another path with the same content (the
        // card on a second machine) is taken when nothing better is there.
        if (entry.source.path == key && probe.Unchanged(entry.source, source)) {
            return name;
        }
        if (!found && entry.source.path != key && probe.Unchanged(entry.source, source)) {
            found = name;
        }
    }
    return found;
}

std::string SourceRecord::OriginalName(std::string_view cardName, const CardFileStamps& cardFiles) const {
    const SourceEntry* entry = Find(cardName, cardFiles);
    return entry != nullptr ? entry->originalName : std::string();
}

void SourceRecord::Put(std::string_view cardName, SourceEntry entry) {
    entries_[CardNameKey(cardName)] = std::move(entry);
}

void SourceRecord::Remove(std::string_view cardName) {
    entries_.erase(CardNameKey(cardName));
}

void SourceRecord::Prune(const CardFileStamps& cardFiles) {
    std::erase_if(entries_, [&](const auto& item) { return Find(item.first, cardFiles) == nullptr; });
}

void SourceRecord::TakeNewer(const SourceRecord& written, const std::filesystem::path& cardFolder) {
    for (const auto& [name, entry] : written.entries_) {
        const auto mine = entries_.find(name);
        if (mine != entries_.end() && mine->second == entry) {
            continue;
        }
        const CardFileStamps stamp = StampCardFiles({cardFolder / name});
        if (written.Find(name, stamp) != nullptr &&
            (mine == entries_.end() || Find(name, stamp) == nullptr)) {
            entries_[name] = entry;
        }
    }
}

} // namespace k72
