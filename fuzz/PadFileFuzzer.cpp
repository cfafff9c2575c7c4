// The pad file loader and the store's handling of what it loads. The input is one bank as the device
// might have written it (its first byte chooses the bank); it is placed in a pad file of a card made
// once per process, with a few media files beside it. Checks beyond "no crash":
// - loading a bank and saving it unchanged gives back the same bytes (apart from the 13th byte of an
//   audio name, which loading clears);
// - whatever names the records hold, the store never deletes, resizes or writes anything outside the
//   card folder's media files: the pad file keeps its length and the file beside the card folder stays.
#include "fuzz/FuzzSupport.h"

#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "store/PadRecords.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace k72;
namespace fs = std::filesystem;

struct Card {
    fs::path root = k72fuzz::ScratchFolder() / "card";
    fs::path folder = root / "DCIM" / "000KAVLO";
    fs::path padFile = folder / "K72_PAD.SYS";
    fs::path outside = root / "DCIM" / "KEEP.JPG";
    fs::path exportFolder = k72fuzz::ScratchFolder() / "export";

    Card() {
        fs::create_directories(folder);
        fs::create_directories(exportFolder);
        const std::vector<std::uint8_t> zeros(padlayout::kFileSize, 0);
        k72fuzz::WriteWholeFile(padFile, zeros.data(), zeros.size());
        const std::uint8_t keep[] = {'k'};
        k72fuzz::WriteWholeFile(outside, keep, sizeof keep);
    }

    // The media files a pad may name; deleted by one run, so made again for the next.
    void RestoreMedia() const {
        const std::uint8_t bytes[] = {'m'};
        for (const char* name : {"K72_0001.AVI", "K72_0002.JPG", "K72_0003.JPG", "SOUND.WAV"}) {
            k72fuzz::WriteWholeFile(folder / name, bytes, sizeof bytes);
        }
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(exportFolder, ec)) {
            fs::remove(entry.path(), ec);
        }
    }
};

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "pad file fuzzer: %s\n", what);
        std::abort();
    }
}

std::vector<std::uint8_t> ReadBank(const fs::path& path, int bank) {
    std::vector<std::uint8_t> bytes(padlayout::kBankSize, 0);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    Check(fd >= 0, "cannot read the pad file back");
    const ssize_t n =
        ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(bank * padlayout::kBankSize));
    ::close(fd);
    Check(n == static_cast<ssize_t>(bytes.size()), "short read of the pad file");
    return bytes;
}

// The bank as saving an unchanged bank must leave it: loading cuts an audio name to 12 characters.
std::vector<std::uint8_t> ExpectedAfterSave(std::vector<std::uint8_t> bank) {
    for (std::size_t r = 0; r < static_cast<std::size_t>(padlayout::kEntriesPerBank); ++r) {
        std::uint8_t* record = bank.data() + r * padlayout::kRecordSize;
        std::int32_t used;
        std::int32_t kind;
        std::memcpy(&used, record, 4);
        std::memcpy(&kind, record + 4, 4);
        if (used == padlayout::kUsed && kind == padlayout::kKindMovie) {
            record[36 + 12] = 0;
        } else if (used == padlayout::kUsed && kind == padlayout::kKindStill) {
            record[1312 + 12] = 0;
        }
    }
    return bank;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Card card;
    if (size < 1) {
        return 0;
    }
    const int bank = data[0] % padlayout::kBanks;
    std::vector<std::uint8_t> image(padlayout::kBankSize, 0);
    std::memcpy(image.data(), data + 1, std::min(size - 1, image.size()));
    {
        const int fd = ::open(card.padFile.c_str(), O_WRONLY | O_CLOEXEC);
        Check(fd >= 0, "cannot write the pad file");
        const ssize_t n =
            ::pwrite(fd, image.data(), image.size(), static_cast<off_t>(bank * padlayout::kBankSize));
        ::close(fd);
        Check(n == static_cast<ssize_t>(image.size()), "short write of the pad file");
    }
    card.RestoreMedia();

    static CPadBankStore store; // one store, as in the program, for card after card
    static PadCommands commands(store);
    Check(store.Open(card.folder, card.padFile).Ok(), "the card does not open");
    store.SelectBank(bank);
    store.SelectNumber(0);
    Check(store.Entry(0) != nullptr, "the bank does not load");

    const PadEntry unchanged = *store.Entry(0);
    Check(store.WritePad({bank, 0, 0}, unchanged).Ok(), "an unchanged bank cannot be saved");
    Check(ReadBank(card.padFile, bank) == ExpectedAfterSave(image), "saving an unchanged bank changed it");

    int assigned = 0;
    for (int number = 0; number < padlayout::kNumbers; ++number) {
        store.SelectNumber(number);
        for (int pad = 0; pad < padlayout::kPads; ++pad) {
            Check(store.Entry(pad) != nullptr, "no pad with a bank loaded");
            const PadKind kind = store.PadKindOf(pad);
            if (kind == PadKindEmpty) {
                continue;
            }
            // Copies cost much more than parsing: a few assigned pads per input are exported.
            const bool exported = assigned++ < 8;
            if (kind == PadKindMovie) {
                const auto& record = store.Entry(pad)->movie;
                Check(record.has_value(), "a movie pad without its record");
                static_cast<void>(store.Files().PathOf(NameText(record->fileName)));
                if (exported) {
                    static_cast<void>(commands.ExportPad(pad, card.exportFolder));
                }
            } else {
                const auto& record = store.Entry(pad)->stills;
                Check(record.has_value(), "a still pad without its record");
                Check(record->UsableCount() <= padlayout::kMaxStills, "more pictures than slots");
                if (exported) {
                    static_cast<void>(commands.ExportPad(pad, card.exportFolder));
                }
            }
            // Every other assigned pad is refreshed and deleted with its files, so names that reach
            // outside the card folder or at the pad file itself are tried too.
            if (assigned % 2 == 1) {
                static_cast<void>(store.RefreshPad(pad));
                static_cast<void>(commands.DeletePad(pad, true));
            }
        }
    }
    store.Close();

    std::error_code ec;
    Check(fs::file_size(card.padFile, ec) == padlayout::kFileSize && !ec, "the pad file changed its length");
    Check(fs::exists(card.outside, ec), "a file outside the card folder was deleted");
    return 0;
}
