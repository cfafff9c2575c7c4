#include "fuzz/FuzzSupport.h"

#include "base/DiagnosticLog.h"

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace k72fuzz {
namespace {

struct Scratch {
    Scratch() {
        std::error_code ec;
        const std::filesystem::path shm("/dev/shm");
        const std::filesystem::path base =
            std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
        std::string pattern = (base / "k72-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("k72 fuzz: mkdtemp");
            std::abort();
        }
        path = pattern;
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};

} // namespace

const std::filesystem::path& ScratchFolder() {
    static const Scratch scratch;
    return scratch.path;
}

void WriteWholeFile(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror("k72 fuzz: open");
        std::abort();
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            std::perror("k72 fuzz: write");
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void SilenceDiagnostics() {
    k72::SetDebugSink([](std::string_view) {});
    av_log_set_level(AV_LOG_QUIET);
}

} // namespace k72fuzz
