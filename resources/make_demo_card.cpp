// Makes a demo card folder <root>/DCIM/000KAVLO/ with an empty (all-zero) K72_PAD.SYS of the size the
// device writes, so that the program can be tried without the device. An existing card is left alone.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: k72-make-demo-card CARD_ROOT\n");
        return 2;
    }
    constexpr std::size_t padFileSize = 1178496;
    const std::filesystem::path folder = std::filesystem::path(argv[1]) / "DCIM" / "000KAVLO";
    const std::filesystem::path padFile = folder / "K72_PAD.SYS";
    std::error_code ec;
    if (std::filesystem::exists(padFile, ec)) {
        return 0;
    }
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    const std::vector<char> zeros(padFileSize, 0);
    std::ofstream out(padFile, std::ios::binary);
    out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", padFile.c_str());
        return 1;
    }
    return 0;
}
