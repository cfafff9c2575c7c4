#include "cli/TerminalFileCopy.h"

#include "cli/CancelSignal.h"
#include "cli/ProgressBar.h"
#include "cli/TerminalMessages.h"
#include "store/PlainFileCopy.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace k72::cli {

bool TerminalFileCopy::SameContent(const std::filesystem::path& a, const std::filesystem::path& b) {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0 || !S_ISREG(first.st_mode) ||
        !S_ISREG(second.st_mode) || first.st_size != second.st_size) {
        return false;
    }
    std::ifstream x(a, std::ios::binary);
    std::ifstream y(b, std::ios::binary);
    std::vector<char> bufferX(1 << 16);
    std::vector<char> bufferY(1 << 16);
    while (x && y) {
        x.read(bufferX.data(), static_cast<std::streamsize>(bufferX.size()));
        y.read(bufferY.data(), static_cast<std::streamsize>(bufferY.size()));
        if (x.gcount() != y.gcount() ||
            std::memcmp(bufferX.data(), bufferY.data(), static_cast<std::size_t>(x.gcount())) != 0) {
            return false;
        }
    }
    return x.eof() && y.eof();
}

bool TerminalFileCopy::WouldReplace(const std::filesystem::path& source,
                                    const std::filesystem::path& destination) {
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(destination, ec))) {
        return false;
    }
    return !SameContent(source, destination);
}

bool TerminalFileCopy::MayReplace(const std::filesystem::path& source,
                                  const std::filesystem::path& destination) {
    if (overwrite_ || !WouldReplace(source, destination)) {
        return true;
    }
    ReportExisting(destination);
    return false;
}

void TerminalFileCopy::ReportExisting(const std::filesystem::path& destination) {
    messages_.Error(destination.string() + " exists already; --overwrite replaces it");
}

bool TerminalFileCopy::Copy(const std::vector<FileCopyItem>& items) {
    const bool showProgress = items.size() > 1;
    bool result = true;
    for (std::size_t i = 0; i < items.size() && result; ++i) {
        const FileCopyItem& item = items[i];
        // Ctrl-C stops a batch between files; every file copied so far is whole.
        if (CancelSignal::Raised()) {
            messages_.Error("cancelled before " + item.source.filename().string() + " was copied");
            result = false;
            break;
        }
        if (showProgress) {
            bar_.Show("copying...", static_cast<int>(i * 100 / items.size()));
        }
        if (!overwrite_) {
            std::error_code ec;
            if (std::filesystem::exists(std::filesystem::symlink_status(item.destination, ec))) {
                if (SameContent(item.source, item.destination)) {
                    continue; // the file is there already
                }
                ReportExisting(item.destination);
                result = false;
                break;
            }
        }
        errno = 0;
        if (!PlainFileCopy::CopyOne(item.source, item.destination, overwrite_)) {
            const int error = errno;
            std::string text = "cannot copy " + item.source.string() + " to " + item.destination.string();
            if (error != 0) {
                text += ": " + std::string(std::strerror(error));
            }
            messages_.Error(text);
            result = false;
        }
    }
    bar_.Clear();
    return result;
}

} // namespace k72::cli
