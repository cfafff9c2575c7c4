// Times the card operations a user waits for: opening a card and loading a bank, and saving a bank
// (the writes alone and with the flush to the medium). Usage: store_bench [folder on the disk to test]
#include "store/CPadBankStore.h"
#include "store/CardLayout.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Stats {
    std::vector<double> samples;
    void Add(double ms) { samples.push_back(ms); }
    void Print(const char* what) {
        std::sort(samples.begin(), samples.end());
        std::printf("%-42s median %8.3f ms   min %8.3f ms   max %8.3f ms   (%zu runs)\n", what,
                    samples[samples.size() / 2], samples.front(), samples.back(), samples.size());
    }
};

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    const fs::path root = base / ("k72-bench-" + std::to_string(::getpid()));
    const fs::path folder = root / "DCIM" / "000KAVLO";
    fs::create_directories(folder);

    // A busy card: every pad of every bank a still image pad with 100 pictures (the largest records),
    // random device and gap bytes, and 2,000 media files in the card folder for the number scan.
    std::mt19937 random(1);
    std::vector<char> bytes(k72::padlayout::kFileSize);
    for (char& b : bytes) {
        b = static_cast<char>(random());
    }
    for (std::size_t r = 0; r < k72::padlayout::kFileSize / k72::padlayout::kRecordSize; ++r) {
        char* record = bytes.data() + r * k72::padlayout::kRecordSize;
        const char header[8] = {1, 0, 0, 0, 1, 0, 0, 0};
        std::copy(header, header + 8, record);
        record[1308] = 100;
        record[1309] = record[1310] = record[1311] = 0;
    }
    std::ofstream(folder / "K72_PAD.SYS", std::ios::binary)
        .write(bytes.data(), static_cast<long>(bytes.size()));
    for (int i = 1; i <= 2000; ++i) {
        std::ofstream(folder / k72::MakeCardFileName(static_cast<std::uint32_t>(i), i % 2 ? "JPG" : "AVI"));
    }

    Stats open;
    Stats load;
    for (int run = 0; run < 50; ++run) {
        k72::CPadBankStore store;
        const auto start = Clock::now();
        if (!store.OpenCardRoot(root).Ok()) {
            std::fprintf(stderr, "cannot open the card in %s\n", root.c_str());
            return 1;
        }
        const auto opened = Clock::now();
        store.SelectBank(run % 6);
        store.SelectNumber(0);
        const auto done = Clock::now();
        open.Add(Ms(done - start));
        load.Add(Ms(done - opened));
    }

    Stats save;
    Stats journalled;
    k72::CPadFile padFile;
    if (!padFile.Open(folder / "K72_PAD.SYS") || !padFile.LoadBank(2)) {
        std::fprintf(stderr, "cannot load a bank\n");
        return 1;
    }
    for (int run = 0; run < 50; ++run) {
        auto record = padFile.GetStillRecord(run % 12, run % 12);
        record->deviceValue1 = static_cast<std::uint32_t>(run);
        padFile.SetStillRecord(run % 12, run % 12, *record);
        // Every other save keeps a journal first, as the programs do, so its cost shows on its own.
        const bool withJournal = run % 2 == 1;
        padFile.SetJournalPath(withJournal ? folder.parent_path() / "K72_PAD-journal.bin"
                                           : std::filesystem::path());
        const auto start = Clock::now();
        const bool saved = padFile.SaveBank();
        const auto done = Clock::now();
        if (!saved) {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
        (withJournal ? journalled : save).Add(Ms(done - start));
    }
    padFile.Close();

    std::printf("card in %s (2,000 media files, every pad a 100-picture still pad)\n", root.c_str());
    open.Print("open card + rescan + load bank");
    load.Print("  of which load bank");
    save.Print("save bank, including fsync");
    journalled.Print("save bank with its journal, including fsync");
    fs::remove_all(root);
    return 0;
}
