// Seed inputs that only this program's own code can make:
//   k72-fuzz-seeds <seed folder> <small movie>
// writes <seed folder>/pad_file (banks with movie, still and odd records), avi_remux (the transcoder's
// AVI of the movie, as the re-interleaver reads it) and avi_probe (the finished, re-interleaved AVI).
#include "fuzz/FuzzSupport.h"

#include "base/ByteOrder.h"
#include "codecs/CVideoConverter.h"
#include "codecs/ResultCodes.h"
#include "codecs/ff_convertermain.h"
#include "store/PadRecords.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void Save(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    k72fuzz::WriteWholeFile(path, bytes.data(), bytes.size());
}

Bytes Load(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Le32(Bytes& b, std::size_t at, std::uint32_t v) {
    k72::byteorder::StoreLE32(&b[at], v);
}

void Name(Bytes& b, std::size_t at, const std::string& text) {
    std::memcpy(b.data() + at, text.data(), std::min<std::size_t>(text.size(), 13));
}

// A bank input: the bank byte, then the first `records` records of the bank.
Bytes Bank(int bank, std::size_t records) {
    Bytes b(1 + records * k72::padlayout::kRecordSize, 0);
    b[0] = static_cast<std::uint8_t>(bank);
    return b;
}

std::size_t Rec(std::size_t i) {
    return 1 + i * k72::padlayout::kRecordSize;
}

void WritePadSeeds(const fs::path& folder) {
    Save(folder / "empty", Bank(0, 0));

    Bytes movies = Bank(1, 3);
    Le32(movies, Rec(0), 1);
    Name(movies, Rec(0) + 8, "K72_0001.AVI");
    Le32(movies, Rec(0) + 32, 300);
    Name(movies, Rec(0) + 36, "SOUND.WAV");
    movies[Rec(0) + 61] = 4;
    movies[Rec(0) + 64] = 1;
    Le32(movies, Rec(1), 1);
    Name(movies, Rec(1) + 8, "K72_9999.AVI"); // not on the card
    Le32(movies, Rec(2), 1);
    Le32(movies, Rec(2) + 4, 2); // an unknown kind
    Save(folder / "movies", movies);

    Bytes stills = Bank(2, 2);
    Le32(stills, Rec(0), 1);
    Le32(stills, Rec(0) + 4, 1);
    Name(stills, Rec(0) + 8, "K72_0002.JPG");
    Name(stills, Rec(0) + 8 + 13, "K72_0404.JPG");
    Name(stills, Rec(0) + 8 + 26, "K72_0003.JPG");
    Le32(stills, Rec(0) + 1308, 3);
    Name(stills, Rec(0) + 1312, "SOUND.WAV");
    Le32(stills, Rec(1), 1);
    Le32(stills, Rec(1) + 4, 1);
    Le32(stills, Rec(1) + 1308, 0xFFFFFFFF); // more pictures than slots
    for (std::size_t i = 0; i < 100; ++i) {
        Name(stills, Rec(1) + 8 + 13 * i, "K72_0002.JPG");
    }
    Save(folder / "stills", stills);

    Bytes odd = Bank(5, 2);
    Le32(odd, Rec(0), 1);
    std::memset(odd.data() + Rec(0) + 8, 'A', 13); // a name without its terminator
    std::memset(odd.data() + Rec(0) + 36, 'B', 13);
    Le32(odd, Rec(1), 1);
    Le32(odd, Rec(1) + 4, 1);
    Name(odd, Rec(1) + 8, "../KEEP.JPG");
    Name(odd, Rec(1) + 21, "K72_PAD.SYS");
    Le32(odd, Rec(1) + 1308, 2);
    Save(folder / "odd", odd);
}

struct Report {
    std::int32_t result = 0;
};

std::int32_t OnReport(void* context, std::int32_t kind, std::int32_t value) {
    if (kind == k72::ReportResult) {
        static_cast<Report*>(context)->result = value;
    }
    return 0;
}

bool Transcode(const fs::path& movie, const fs::path& output, const char* standard) {
    std::vector<std::string> arguments = {
        "",          "-fs",    "2097152000", "-y",           "-i",      movie.string(), "-acodec",
        "pcm_s16le", "-ar",    "44100",      "-ac",          "2",       "-s",           "64x48",
        "-r",        standard, "-qscale",    "31",           "-vcodec", "mjpeg",        "-pix_fmt",
        "yuvj422p",  "-f",     "avi",        output.string()};
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    Report report;
    // The result is also reported through OnReport.
    static_cast<void>(
        k72::ff_convertermain(&OnReport, &report, static_cast<int>(arguments.size()), argv.data()));
    if (k72::Failed(report.result)) {
        std::fprintf(stderr, "k72-fuzz-seeds: the transcoder failed with 0x%08X\n",
                     static_cast<unsigned>(report.result));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: k72-fuzz-seeds <seed folder> <small movie>\n");
        return 2;
    }
    k72fuzz::SilenceDiagnostics();
    const fs::path seeds = argv[1];
    const fs::path movie = argv[2];
    WritePadSeeds(seeds / "pad_file");

    const fs::path scratch = k72fuzz::ScratchFolder();
    for (const char* standard : {"ntsc", "pal"}) {
        const fs::path intermediate = scratch / (std::string(standard) + ".avi");
        if (!Transcode(movie, intermediate, standard)) {
            return 1;
        }
        Bytes remux = Load(intermediate);
        remux.insert(remux.begin(), std::strcmp(standard, "pal") == 0 ? 1 : 0);
        Save(seeds / "avi_remux" / standard, remux);

        // The finished file, as the converter makes it from the same movie.
        k72::CVideoConverter converter;
        converter.SetWorkFolder(scratch);
        converter.SetFrameRateStandard(standard);
        converter.SetQscaleText("31");
        converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int count, char** args) {
            // Phase 1 is the transcode made above, at the seed's small picture size.
            const fs::path out = args[count - 1];
            std::error_code ec;
            fs::copy_file(intermediate, out, fs::copy_options::overwrite_existing, ec);
            callback(context, k72::ReportResult, ec ? k72::rc::Error : 0);
            return 0;
        });
        const fs::path finished = scratch / (std::string(standard) + "-final.avi");
        if (k72::Failed(converter.Convert(movie.string(), finished.string()))) {
            std::fprintf(stderr, "k72-fuzz-seeds: the re-interleave failed\n");
            return 1;
        }
        Save(seeds / "avi_probe" / standard, Load(finished));
    }
    return 0;
}
