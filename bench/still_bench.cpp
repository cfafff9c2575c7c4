// Still picture benchmark: converts a mix of large JPEG, PNG and BMP pictures in one process and
// prints the time of each step, the cost of everything after decoding, resident memory over a long
// run, the same work done with the ffmpeg program (two processes per picture), and the quality of
// decoding large JPEGs at a reduced DCT scale against decoding them whole.
//
// Then the newer paths against the JPEG path: a 12-megapixel HEIC against a JPEG of the same picture
// (and against libheif's own decoder at full size, with the difference between the two results), and
// the same JPEG stored turned (EXIF orientation 6) or converted with letterbox and crop.
//
//   still_bench [pictures=100] [long run=1000] [ffmpeg pictures=100] [HEIC runs=10]

#include "bench/BenchSupport.h"
#include "codecs/CAVFrame.h"
#include "codecs/CDibImage.h"
#include "codecs/HeifPictureReader.h"
#include "codecs/PictureDecoder.h"
#include "engine/StillImageConverter.h"
#include "tests/support/HeifGridFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

extern "C" {
#include <libswscale/swscale.h>
}

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double CpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double ResidentMiB() {
    return static_cast<double>(k72bench::ResidentKb()) / 1024.0;
}

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quote(const fs::path& path) {
    return "'" + path.string() + "'";
}

struct Source {
    fs::path path;
    const char* kind;
};

// Three pictures of each kind, photo-like: moving test pattern with grain, so that the compressed
// files are as hard to decode as camera pictures of the same size.
std::vector<Source> MakeSources(const fs::path& dir) {
    std::vector<Source> sources;
    for (int variant = 0; variant < 3; ++variant) {
        const std::string frame = std::to_string(variant * 7);
        const std::string grain = ",noise=alls=" + std::to_string(6 + 2 * variant) + ":allf=t";
        const auto make = [&](const char* size, const std::string& extra, const fs::path& out) {
            const std::string command =
                "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + std::string(size) +
                ":rate=25 -vf 'select=eq(n\\," + frame + ")" + grain + "' -frames:v 1 " + extra + " " +
                Quote(out);
            if (!Run(command)) {
                std::fprintf(stderr, "cannot make %s\n", out.c_str());
                std::exit(1);
            }
        };
        const fs::path jpeg = dir / ("photo" + std::to_string(variant) + ".jpg");
        const fs::path png = dir / ("screen" + std::to_string(variant) + ".png");
        const fs::path bmp = dir / ("small" + std::to_string(variant) + ".bmp");
        make("4000x3000", "-q:v 2", jpeg);
        make("1920x1080", "-pix_fmt rgb24", png);
        make("800x600", "-pix_fmt bgr24", bmp);
        sources.push_back({jpeg, "JPEG 4000x3000"});
        sources.push_back({png, "PNG 1920x1080"});
        sources.push_back({bmp, "BMP 800x600"});
    }
    // Interleave the kinds: JPEG, PNG, BMP, JPEG, ...
    std::vector<Source> mixed;
    for (int i = 0; i < 9; ++i) {
        mixed.push_back(sources[static_cast<std::size_t>((i % 3) + 3 * (i / 3))]);
    }
    return mixed;
}

struct Stats {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    double Mean() const {
        double sum = 0;
        for (double v : values) {
            sum += v;
        }
        return values.empty() ? 0 : sum / static_cast<double>(values.size());
    }
    double Max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
    double Percentile(double p) const {
        if (values.empty()) {
            return 0;
        }
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))];
    }
};

// The RGB24 640 x 480 picture the converter would make from a decoded bitmap.
bool Stretch(const k72::CDibImage& image, k72::CAVFrame& source, k72::CAVFrame& target) {
    return k72::StillImageConverter::LoadSourceFrame(source, image) &&
           target.Create(k72::PixelFormat::RGB24, 640, 480) && source.Resize(target);
}

void Compare(const k72::CAVFrame& a, const k72::CAVFrame& b, double& meanError, double& psnr) {
    double sum = 0;
    double squares = 0;
    for (std::uint32_t i = 0; i < a.GetSize(); ++i) {
        const double d = double(a.GetBuffer()[i]) - double(b.GetBuffer()[i]);
        sum += std::abs(d);
        squares += d * d;
    }
    meanError = sum / a.GetSize();
    psnr = 10 * std::log10(255.0 * 255.0 / (squares / a.GetSize()));
}

// Each colour plane of an RGB24 frame averaged down by area to 640 x 480.
void AreaReference(const k72::CAVFrame& source, k72::CAVFrame& target) {
    const int w = static_cast<int>(source.GetWidth());
    const int h = static_cast<int>(source.GetHeight());
    target.Create(k72::PixelFormat::RGB24, 640, 480);
    std::vector<std::uint8_t> plane(static_cast<std::size_t>(w) * h + 64);
    std::vector<std::uint8_t> small(640 * 480 + 64);
    SwsContext* area = sws_getContext(w, h, AV_PIX_FMT_GRAY8, 640, 480, AV_PIX_FMT_GRAY8,
                                      SWS_AREA | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    for (int c = 0; c < 3; ++c) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(w) * h; ++i) {
            plane[i] = source.GetBuffer()[i * 3 + c];
        }
        const std::uint8_t* in[4] = {plane.data(), nullptr, nullptr, nullptr};
        const int inStride[4] = {w, 0, 0, 0};
        std::uint8_t* outPlanes[4] = {small.data(), nullptr, nullptr, nullptr};
        const int outStride[4] = {640, 0, 0, 0};
        sws_scale(area, in, inStride, 0, h, outPlanes, outStride);
        for (std::size_t i = 0; i < 640 * 480; ++i) {
            target.GetBuffer()[i * 3 + c] = small[i];
        }
    }
    sws_freeContext(area);
}

} // namespace

double ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Converts one picture `runs` times after a warm-up; prints and returns the median wall-clock time
// (the median, because other work on the machine makes single runs slow).
// Processor time is the whole process's: the HEVC decoder of a HEIC runs on threads of its own.
double TimeConversions(k72::StillImageConverter& converter, const fs::path& source, const fs::path& out,
                       int runs, const char* what, int& failures) {
    if (converter.Convert(source.string(), out.string()).Failed()) {
        std::printf("  %-34s FAILED\n", what);
        ++failures;
        return 0;
    }
    std::vector<double> times;
    const double startCpu = ProcessCpuMs();
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (converter.Convert(source.string(), out.string()).Failed()) {
            ++failures;
        }
        times.push_back(Ms(start, Clock::now()));
    }
    std::sort(times.begin(), times.end());
    const double median = times.empty() ? 0 : times[times.size() / 2];
    const double cpu = (ProcessCpuMs() - startCpu) / runs;
    const auto& t = converter.LastStageTimes();
    std::printf(
        "  %-34s %7.1f ms wall (median), %7.1f ms processor (last: decode %.1f, load %.1f, rest %.1f ms)\n",
        what, median, cpu, t.decode, t.load, t.transform + t.encode + t.write);
    return median;
}

// The HEIC decoded for the device's size by the fast path and by libheif's own decoder at full size,
// each made 640 x 480 the same way: how far apart the two results are.
void CompareHeicPaths(const fs::path& heic) {
    k72::PictureDecoder decoder;
    decoder.SetMinimumSize(640, 480);
    k72::CDibImage fastImage;
    k72::CDibImage oldImage;
    const bool fastDecoded = decoder.Decode(heic, fastImage).Ok();
    k72::SetHeifFastPath(false);
    const bool oldDecoded = decoder.Decode(heic, oldImage).Ok();
    k72::SetHeifFastPath(true);
    k72::CAVFrame fastSource, fastResult, oldSource, oldResult;
    if (!fastDecoded || !oldDecoded || !Stretch(fastImage, fastSource, fastResult) ||
        !Stretch(oldImage, oldSource, oldResult)) {
        std::printf("  HEIC paths cannot be compared\n");
        return;
    }
    double meanError = 0;
    double psnr = 0;
    Compare(fastResult, oldResult, meanError, psnr);
    std::printf(
        "  HEIC fast path (decoded at %u x %u) against libheif's own (%u x %u), 640 x 480 RGB: mean error "
        "%.2f, PSNR %.1f dB\n",
        fastImage.Width(), fastImage.Height(), oldImage.Width(), oldImage.Height(), meanError, psnr);
}

// The picture as a phone lays out a 12-megapixel HEIC: a grid of 512 x 512 tiles, each coded on its
// own (at quality 50), the right and bottom ones reaching past the picture.
bool MakeGridHeic(const fs::path& dir, const fs::path& png, int width, int height, const fs::path& out) {
    constexpr int kTile = 512;
    const int columns = (width + kTile - 1) / kTile;
    const int rows = (height + kTile - 1) / kTile;
    const fs::path padded = dir / "padded.png";
    if (!Run("ffmpeg -nostdin -v error -y -i " + Quote(png) + " -vf pad=" + std::to_string(columns * kTile) +
             ":" + std::to_string(rows * kTile) + " " + Quote(padded))) {
        return false;
    }
    std::vector<k72test::heifgrid::CodedTile> tiles;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const fs::path tilePng = dir / "tile.png";
            const fs::path tileHeic = dir / "tile.heic";
            if (!Run("ffmpeg -nostdin -v error -y -i " + Quote(padded) +
                     " -vf crop=" + std::to_string(kTile) + ":" + std::to_string(kTile) + ":" +
                     std::to_string(column * kTile) + ":" + std::to_string(row * kTile) + " " +
                     Quote(tilePng)) ||
                !Run("heif-enc -q 50 -o " + Quote(tileHeic) + " " + Quote(tilePng) + " > /dev/null")) {
                return false;
            }
            std::ifstream in(tileHeic, std::ios::binary);
            const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            tiles.push_back(k72test::heifgrid::ReadTile(bytes));
            if (tiles.back().hvcC.empty() || tiles.back().data.empty()) {
                return false;
            }
        }
    }
    const auto file = k72test::heifgrid::GridHeic(tiles, rows, columns, kTile, kTile, width, height);
    std::ofstream(out, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return fs::file_size(out) == file.size();
}

int CompareNewerPaths(const fs::path& dir, int runs) {
    std::printf("\nNewer paths, 12 megapixels (4000 x 3000), %d conversions each\n", runs);
    const fs::path png = dir / "big.png";
    const fs::path jpeg = dir / "big.jpg";
    const fs::path heic = dir / "big.heic";
    const fs::path phoneHeic = dir / "phone.heic";
    const fs::path gridHeic = dir / "grid.heic";
    const fs::path turned = dir / "turned.jpg";
    if (!Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=4000x3000 -vf noise=alls=8:allf=t "
             "-frames:v 1 -pix_fmt rgb24 " +
             Quote(png)) ||
        !Run("ffmpeg -nostdin -v error -y -i " + Quote(png) + " -q:v 2 " + Quote(jpeg)) ||
        !Run("heif-enc -q 90 -o " + Quote(heic) + " " + Quote(png)) ||
        !Run("heif-enc -q 50 -o " + Quote(phoneHeic) + " " + Quote(png)) ||
        !MakeGridHeic(dir, png, 4000, 3000, gridHeic) ||
        !Run("ffmpeg -nostdin -v error -y -i " + Quote(png) + " -vf transpose=cclock -q:v 2 " +
             Quote(turned)) ||
        !Run("exiftool -q -overwrite_original -Orientation#=6 " + Quote(turned))) {
        std::printf("  cannot make the pictures (ffmpeg, heif-enc and exiftool are needed)\n");
        return 1;
    }
    // The grain keeps the HEIC at quality 90 far larger than a phone's; at heif-enc's default quality it
    // is about the size a phone writes for 12 megapixels.
    std::printf("  sizes: JPEG %.0f KiB, HEIC %.0f KiB (quality 90), %.0f KiB (quality 50)\n",
                static_cast<double>(fs::file_size(jpeg)) / 1024.0,
                static_cast<double>(fs::file_size(heic)) / 1024.0,
                static_cast<double>(fs::file_size(phoneHeic)) / 1024.0);
    int failures = 0;
    k72::StillImageConverter converter;
    const fs::path out = dir / "K72_0002.JPG";
    const double jpegMs = TimeConversions(converter, jpeg, out, runs, "JPEG", failures);
    const double heicMs = TimeConversions(converter, heic, out, runs, "HEIC, quality 90", failures);
    const double phoneMs = TimeConversions(converter, phoneHeic, out, runs, "HEIC, quality 50", failures);
    const double gridMs =
        TimeConversions(converter, gridHeic, out, runs, "HEIC, quality 50, tiled", failures);
    k72::SetHeifFastPath(false);
    const double oldHeicMs =
        TimeConversions(converter, heic, out, runs, "HEIC, libheif's own decoder", failures);
    k72::SetHeifFastPath(true);
    CompareHeicPaths(heic);
    const double turnedMs =
        TimeConversions(converter, turned, out, runs, "JPEG stored turned (orientation 6)", failures);
    converter.SetFit(k72::FitMode::Letterbox);
    const double boxMs = TimeConversions(converter, jpeg, out, runs, "JPEG letterboxed", failures);
    converter.SetFit(k72::FitMode::Crop);
    const double cropMs = TimeConversions(converter, jpeg, out, runs, "JPEG cropped", failures);
    if (jpegMs > 0) {
        std::printf(
            "  HEIC / JPEG = %.2f at quality 90 (libheif's own decoder: %.2f), %.2f at quality 50, %.2f "
            "tiled; turned / upright = %.2f, letterbox / stretch = %.2f, crop / stretch = %.2f\n",
            heicMs / jpegMs, oldHeicMs / jpegMs, phoneMs / jpegMs, gridMs / jpegMs, turnedMs / jpegMs,
            boxMs / jpegMs, cropMs / jpegMs);
    }
    return failures;
}

int main(int argc, char** argv) {
    const int pictures = argc > 1 ? std::atoi(argv[1]) : 100;
    const int longRun = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int cliPictures = argc > 3 ? std::atoi(argv[3]) : 100;
    const int heicRuns = argc > 4 ? std::atoi(argv[4]) : 10;

    const fs::path dir = fs::temp_directory_path() / ("k72-still-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::printf("Making the source pictures in %s ...\n", dir.c_str());
    const std::vector<Source> sources = MakeSources(dir);
    for (int i = 0; i < 3; ++i) {
        std::printf("  %-15s %8.0f KiB\n", sources[static_cast<std::size_t>(i)].kind,
                    static_cast<double>(fs::file_size(sources[static_cast<std::size_t>(i)].path)) / 1024.0);
    }
    const auto sourceOf = [&](int i) -> const Source& {
        return sources[static_cast<std::size_t>(i) % sources.size()];
    };

    // Decoding alone, as the converter decodes (JPEGs at the scale that covers 640 x 480).
    k72::PictureDecoder decoder;
    decoder.SetMinimumSize(640, 480);
    k72::CDibImage image;
    for (int i = 0; i < 9; ++i) { // warm the file cache and the decoder
        static_cast<void>(decoder.Decode(sourceOf(i).path, image));
    }
    const auto decodeStart = Clock::now();
    const double decodeStartCpu = CpuMs();
    for (int i = 0; i < pictures; ++i) {
        static_cast<void>(decoder.Decode(sourceOf(i).path, image));
    }
    const double decodeOnly = Ms(decodeStart, Clock::now());
    const double decodeOnlyCpu = CpuMs() - decodeStartCpu;

    // For comparison: decoding everything at full size, as a converter without DCT scaling would.
    k72::PictureDecoder fullDecoder;
    const double fullStartCpu = CpuMs();
    for (int i = 0; i < pictures; ++i) {
        static_cast<void>(fullDecoder.Decode(sourceOf(i).path, image));
    }
    const double fullDecodeCpu = CpuMs() - fullStartCpu;

    // The whole conversion, step by step.
    k72::StillImageConverter converter;
    const fs::path out = dir / "K72_0001.JPG";
    for (int i = 0; i < 9; ++i) {
        static_cast<void>(converter.Convert(sourceOf(i).path.string(), out.string()));
    }
    struct KindStats {
        Stats decode, load, transform, encode, write, rest, total, faults;
        Stats decodeCpu, loadCpu, transformCpu, encodeCpu, writeCpu, restCpu;
    };
    std::vector<KindStats> kinds(3);
    int failures = 0;
    const auto convertStart = Clock::now();
    const double convertStartCpu = CpuMs();
    for (int i = 0; i < pictures; ++i) {
        const long faultsBefore = MinorFaults();
        const auto start = Clock::now();
        if (converter.Convert(sourceOf(i).path.string(), out.string()).Failed()) {
            ++failures;
        }
        const double total = Ms(start, Clock::now());
        const auto& t = converter.LastStageTimes();
        KindStats& k = kinds[static_cast<std::size_t>(i % 3)];
        k.decode.Add(t.decode);
        k.load.Add(t.load);
        k.transform.Add(t.transform);
        k.encode.Add(t.encode);
        k.write.Add(t.write);
        k.rest.Add(total - t.decode);
        k.total.Add(total);
        k.faults.Add(static_cast<double>(MinorFaults() - faultsBefore));
        k.decodeCpu.Add(t.decodeCpu);
        k.loadCpu.Add(t.loadCpu);
        k.transformCpu.Add(t.transformCpu);
        k.encodeCpu.Add(t.encodeCpu);
        k.writeCpu.Add(t.writeCpu);
        k.restCpu.Add(t.loadCpu + t.transformCpu + t.encodeCpu + t.writeCpu);
    }
    const double convertAll = Ms(convertStart, Clock::now());
    const double convertAllCpu = CpuMs() - convertStartCpu;

    std::printf(
        "\n%d pictures in one process (%d failed), times per picture in ms (mean / 95th percentile / max)\n",
        pictures, failures);
    const auto table = [&](const char* title, bool cpu) {
        std::printf("\n%s\n%-15s %-17s %-17s %-17s %-17s %-17s %-17s\n", title, "", "decode", "load",
                    "transform", "encode", "write", "after decoding");
        for (int k = 0; k < 3; ++k) {
            const KindStats& s = kinds[static_cast<std::size_t>(k)];
            std::printf("%-15s", sourceOf(k).kind);
            const std::vector<const Stats*> columns =
                cpu ? std::vector<const Stats*>{&s.decodeCpu, &s.loadCpu,  &s.transformCpu,
                                                &s.encodeCpu, &s.writeCpu, &s.restCpu}
                    : std::vector<const Stats*>{&s.decode, &s.load,  &s.transform,
                                                &s.encode, &s.write, &s.rest};
            for (const Stats* st : columns) {
                char cell[64];
                std::snprintf(cell, sizeof(cell), "%.1f/%.1f/%.1f", st->Mean(), st->Percentile(0.95),
                              st->Max());
                std::printf(" %-17s", cell);
            }
            std::printf("\n");
        }
    };
    table("processor time of the converting thread:", true);
    table("wall-clock time (inflated by whatever else the machine runs):", false);
    double faults = 0;
    for (const KindStats& k : kinds) {
        faults += k.faults.Mean();
    }
    std::printf("page faults a picture: %.1f\n", faults / 3);
    std::printf("\ndecoding alone:    %.0f ms processor, %.0f ms wall (%.1f / %.1f ms a picture)\n",
                decodeOnlyCpu, decodeOnly, decodeOnlyCpu / pictures, decodeOnly / pictures);
    std::printf("whole conversion:  %.0f ms processor, %.0f ms wall (%.1f / %.1f ms a picture)\n",
                convertAllCpu, convertAll, convertAllCpu / pictures, convertAll / pictures);
    std::printf("whole conversion / decoding alone = %.2f processor, %.2f wall\n",
                convertAllCpu / decodeOnlyCpu, convertAll / decodeOnly);
    std::printf("decoding everything at full size instead: %.0f ms processor (%.1f ms a picture); whole "
                "conversion / that = %.2f\n",
                fullDecodeCpu, fullDecodeCpu / pictures, convertAllCpu / fullDecodeCpu);

    // Resident memory over a long run.
    std::vector<std::pair<int, double>> resident;
    for (int i = 1; i <= longRun; ++i) {
        static_cast<void>(converter.Convert(sourceOf(i).path.string(), out.string()));
        if (i == 10 || i == 100 || i == 250 || i == 500 || i == longRun) {
            resident.emplace_back(i, ResidentMiB());
        }
    }
    std::printf("\nresident memory:");
    for (const auto& [n, mib] : resident) {
        std::printf("  after %d: %.1f MiB", n, mib);
    }
    if (resident.size() >= 2) {
        std::printf("\ngrowth from picture %d to %d: %+.2f MiB\n", resident.front().first,
                    resident.back().first, resident.back().second - resident.front().second);
    }

    // The same work with the ffmpeg program: one process for the main picture, one for the thumbnail.
    if (cliPictures > 0) {
        const auto cliStart = Clock::now();
        for (int i = 0; i < cliPictures; ++i) {
            const std::string in = Quote(sourceOf(i).path);
            Run("ffmpeg -nostdin -v error -y -i " + in +
                " -vf scale=640:480:flags=bilinear -pix_fmt yuvj422p -qmin 2 -qmax 10 " +
                Quote(dir / "main.jpg"));
            Run("ffmpeg -nostdin -v error -y -i " + in +
                " -vf scale=160:120:flags=bilinear -pix_fmt yuvj422p " + Quote(dir / "thumb.jpg"));
        }
        const double cli = Ms(cliStart, Clock::now()) / cliPictures;
        const auto startOnly = Clock::now();
        for (int i = 0; i < 10; ++i) {
            Run("ffmpeg -nostdin -v error -version");
        }
        const double processStart = Ms(startOnly, Clock::now()) / 10;
        std::printf(
            "\nffmpeg program, 2 processes a picture: %.1f ms a picture (starting ffmpeg alone: %.1f ms)\n",
            cli, processStart);
        std::printf("this converter / ffmpeg program = %.3f\n", (convertAll / pictures) / cli);
    }

    // Decoding a large JPEG at a reduced DCT scale against decoding it whole.
    std::printf("\nLarge JPEGs: reduced DCT scale against a whole decode (640 x 480 RGB results)\n");
    for (int v = 0; v < 3; ++v) {
        const fs::path& jpeg = sourceOf(3 * v).path;
        k72::PictureDecoder whole;
        k72::CDibImage fullImage;
        k72::CDibImage scaledImage;
        // Each decoded twice and timed the second time, when its memory is no longer fresh.
        double fullMs = 0;
        double scaledMs = 0;
        for (int round = 0; round < 2; ++round) {
            double t0 = CpuMs();
            static_cast<void>(whole.Decode(jpeg, fullImage));
            fullMs = CpuMs() - t0;
            t0 = CpuMs();
            static_cast<void>(decoder.Decode(jpeg, scaledImage));
            scaledMs = CpuMs() - t0;
        }
        // Loading and resizing each to 640 x 480, timed the same way.
        k72::CAVFrame fullSource, fullResult, scaledSource, scaledResult, reference;
        double fullStretchMs = 0;
        double scaledStretchMs = 0;
        for (int round = 0; round < 2; ++round) {
            double t0 = CpuMs();
            Stretch(fullImage, fullSource, fullResult);
            fullStretchMs = CpuMs() - t0;
            t0 = CpuMs();
            Stretch(scaledImage, scaledSource, scaledResult);
            scaledStretchMs = CpuMs() - t0;
        }

        // Reference: the whole picture averaged down by area, the reduction with the least aliasing.
        AreaReference(fullSource, reference);
        double scaledError = 0, scaledPsnr = 0, fullError = 0, fullPsnr = 0, betweenError = 0,
               betweenPsnr = 0;
        Compare(scaledResult, reference, scaledError, scaledPsnr);
        Compare(fullResult, reference, fullError, fullPsnr);
        Compare(scaledResult, fullResult, betweenError, betweenPsnr);
        std::printf(
            "  %s: processor time, decode + load and resize: whole %ux%u %.1f + %.1f ms, reduced %ux%u "
            "%.1f + %.1f ms\n",
            jpeg.filename().c_str(), fullImage.Width(), fullImage.Height(), fullMs, fullStretchMs,
            scaledImage.Width(), scaledImage.Height(), scaledMs, scaledStretchMs);
        std::printf(
            "     against an area-averaged reference: reduced %.2f mean error / %.1f dB PSNR, whole %.2f / "
            "%.1f dB; reduced against whole %.2f / %.1f dB\n",
            scaledError, scaledPsnr, fullError, fullPsnr, betweenError, betweenPsnr);
    }

    if (heicRuns > 0) {
        failures += CompareNewerPaths(dir, heicRuns);
    }

    fs::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
