#include "store/PadFileBackup.h"

#include "base/DiagnosticLog.h"
#include "base/FileHandle.h"
#include "store/CardLayout.h"
#include "store/WriteFaults.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "pad file backup";

constexpr std::string_view kPrefix = "K72_PAD-";
constexpr std::string_view kSuffix = ".SYS";
constexpr std::string_view kNoteName = "card.txt";

bool EqualNoCase(const std::string& a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// FNV-1a, 32 bits: stable from run to run and machine to machine, which std::hash is not.
std::uint32_t Fnv1a(const std::string& text) {
    std::uint32_t hash = 2166136261u;
    for (const unsigned char c : text) {
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

// 0, or the errno of the step that failed.
int WriteFileAtomically(const std::filesystem::path& path, const void* data, std::size_t size) {
    std::filesystem::path temporary = path;
    temporary += ".part";
    FileHandle fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) {
        return errno;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    int error = 0;
    while (error == 0 && done < size) {
        if (!writefault::Pass("backup write")) {
            error = EIO;
            break;
        }
        const ssize_t n = ::write(fd.get(), bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (error == 0 && (!writefault::Pass("backup fsync") || ::fsync(fd.get()) != 0)) {
        error = errno;
    }
    if (fd.close() != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 &&
        (!writefault::Pass("backup rename") || ::rename(temporary.c_str(), path.c_str()) != 0)) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
    }
    return error;
}

bool IsCopyName(const std::string& name) {
    return name.size() > kPrefix.size() + kSuffix.size() && name.compare(0, kPrefix.size(), kPrefix) == 0 &&
           name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0;
}

} // namespace

std::filesystem::path PadFileBackup::CardRoot(const std::filesystem::path& cardFolder) {
    std::filesystem::path folder = cardFolder;
    if (!folder.has_filename()) {
        folder = folder.parent_path(); // a trailing separator
    }
    const std::filesystem::path dcim = folder.parent_path();
    if (EqualNoCase(folder.filename().string(), cardlayout::kCardFolder) &&
        EqualNoCase(dcim.filename().string(), cardlayout::kDcimFolder)) {
        return dcim.parent_path();
    }
    return folder;
}

std::string PadFileBackup::CardFolderName(const std::filesystem::path& cardRoot) {
    std::error_code ec;
    std::filesystem::path root = std::filesystem::weakly_canonical(cardRoot, ec);
    if (ec) {
        root = cardRoot.lexically_normal();
    }
    if (!root.has_filename()) {
        root = root.parent_path(); // a trailing separator
    }
    std::string name;
    for (const char c : root.filename().string()) {
        const bool plain =
            std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '-' || c == '_';
        name += plain ? c : '_';
    }
    if (name.empty() || name == "." || name == "..") {
        name = "card";
    }
    char hash[16];
    std::snprintf(hash, sizeof hash, "-%08x", static_cast<unsigned>(Fnv1a(root.string())));
    return name + hash;
}

std::string PadFileBackup::CopyName(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d-%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis));
    return std::string(kPrefix) + text + std::string(kSuffix);
}

std::vector<std::filesystem::path> PadFileBackup::Copies(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> copies;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (IsCopyName(it->path().filename().string()) && it->is_regular_file(ec)) {
            copies.push_back(it->path());
        }
    }
    // The names begin with the moment, so their order is the order in which they were made.
    std::sort(copies.begin(), copies.end());
    return copies;
}

std::string PadFileBackup::VolumeOf(const std::filesystem::path& copy) {
    // "K72_PAD-" + "20240517-093012-045", then perhaps "_02", then perhaps "-" and the serial.
    const std::string name = copy.filename().string();
    std::size_t at = kPrefix.size() + 19;
    if (!IsCopyName(name) || name.size() < at + kSuffix.size()) {
        return {};
    }
    if (name[at] == '_') {
        at += 3;
    }
    const std::size_t end = name.size() - kSuffix.size();
    return at < end && name[at] == '-' ? name.substr(at + 1, end - at - 1) : std::string();
}

bool PadFileBackup::Write(const std::filesystem::path& folder, const std::filesystem::path& cardRoot,
                          const std::vector<std::uint8_t>& bytes, std::chrono::system_clock::time_point when,
                          const std::string& volume) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        LogLine(kLogModule, "cannot create " + folder.string() + ": " + ec.message());
        return false;
    }
    const std::filesystem::path note = folder / std::string(kNoteName);
    if (!std::filesystem::exists(note, ec)) {
        const std::string text = "Copies of the pad file K72_PAD.SYS of the card at " + cardRoot.string() +
                                 ", made before this program first changed it in each run.\n";
        static_cast<void>(WriteFileAtomically(note, text.data(), text.size()));
    }

    // Only letters, digits and '-' of the serial go into the name.
    std::string tag;
    for (const char c : volume) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-') {
            tag += c;
        }
    }
    tag = tag.empty() ? std::string() : "-" + tag;
    const std::string stamp = CopyName(when);
    const std::string stem = stamp.substr(0, stamp.size() - kSuffix.size());
    std::filesystem::path path = folder / (stem + tag + std::string(kSuffix));
    // Two copies within one millisecond: "_02", "_03" … sort after the plain name.
    for (int n = 2; std::filesystem::exists(path, ec) && n < 100; ++n) {
        char counter[8];
        std::snprintf(counter, sizeof counter, "_%02d", n);
        path = folder / (stem + counter + tag + std::string(kSuffix));
    }
    if (const int error = WriteFileAtomically(path, bytes.data(), bytes.size()); error != 0) {
        LogLine(kLogModule, "cannot write " + path.string() + ": " + std::strerror(error));
        return false;
    }

    std::vector<std::filesystem::path> copies = Copies(folder);
    std::erase_if(copies, [&volume](const std::filesystem::path& copy) { return VolumeOf(copy) != volume; });
    while (copies.size() > kCopiesKept) {
        std::filesystem::remove(copies.front(), ec);
        copies.erase(copies.begin());
    }
    return true;
}

} // namespace k72
