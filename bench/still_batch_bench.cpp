// Picture batch benchmark: a batch of 12-megapixel JPEGs, 1080p PNGs and 800 x 600 BMPs converted on
// the pool of workers (one per usable core), timed restricted to one core (taskset -c 0) and on all
// cores, alternating, each in a process of its own so that its peak resident memory is its own.
//
//   still_batch_bench [pictures=40] [runs=3]
//   still_batch_bench --batch SOURCE-FOLDER OUTPUT-FOLDER   (one batch: what the timed processes run)
#include "bench/BenchSupport.h"
#include "engine/StillBatch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using k72bench::ChildRun;
using k72bench::Spawn;

int RunBatch(const fs::path& sources, const fs::path& outputs) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(sources)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<k72::StillBatchItem> items;
    for (std::size_t i = 0; i < files.size(); ++i) {
        items.push_back({files[i].string(), (outputs / (std::to_string(i) + ".JPG")).string()});
    }
    const k72::StillBatchOutcome outcome = k72::ConvertStillBatch(items, k72::StillBatchSettings{});
    if (k72::Failed(outcome.result)) {
        std::fprintf(stderr, "picture %zu failed: 0x%08X\n", outcome.failedIndex,
                     static_cast<unsigned>(outcome.result));
        return 1;
    }
    return 0;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--batch") {
        return RunBatch(argv[2], argv[3]);
    }
    const int pictures = argc > 1 ? std::max(3, std::atoi(argv[1])) : 40;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const fs::path work = fs::temp_directory_path() / ("k72-batch-bench-" + std::to_string(getpid()));
    const fs::path sources = work / "sources";
    const fs::path outputs = work / "outputs";
    fs::create_directories(sources);
    fs::create_directories(outputs);

    // Three different pictures of each kind, made by the ffmpeg program, repeated up to the count.
    struct Kind {
        const char* size;
        const char* extension;
    };
    const Kind kinds[] = {{"4000x3000", "jpg"}, {"1920x1080", "png"}, {"800x600", "bmp"}};
    std::printf("making %d pictures (12 MP JPEG, 1080p PNG, 800x600 BMP) ...\n", pictures);
    std::fflush(stdout);
    for (int kind = 0; kind < 3; ++kind) {
        for (int variant = 0; variant < 3; ++variant) {
            const fs::path made = work / ("made" + std::to_string(kind) + std::to_string(variant) + "." +
                                          kinds[kind].extension);
            const ChildRun run = Spawn({"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                                        std::string("testsrc2=size=") + kinds[kind].size + ":rate=1", "-vf",
                                        "noise=alls=" + std::to_string(8 + 6 * variant) + ":allf=t",
                                        "-frames:v", "1", "-q:v", "3", "-pix_fmt",
                                        kind == 0   ? "yuvj420p"
                                        : kind == 1 ? "rgb24"
                                                    : "bgr24",
                                        made.string()});
            if (run.status != 0) {
                std::fprintf(stderr, "ffmpeg could not make %s\n", made.c_str());
                return 1;
            }
        }
    }
    for (int i = 0; i < pictures; ++i) {
        const int kind = i % 3;
        const int variant = (i / 3) % 3;
        char name[32];
        std::snprintf(name, sizeof name, "%03d.%s", i, kinds[kind].extension);
        fs::copy_file(
            work / ("made" + std::to_string(kind) + std::to_string(variant) + "." + kinds[kind].extension),
            sources / name);
    }
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("%d pictures, %d runs, %ld cores\n", pictures, runs, cores);

    const std::string self = fs::canonical("/proc/self/exe").string();
    std::vector<double> one, all;
    long oneRss = 0;
    long allRss = 0;
    for (int run = 0; run < runs; ++run) {
        // Alternate the order so that a change in the machine's load hits both alike.
        for (int turn = 0; turn < 2; ++turn) {
            const bool single = (turn == 0) == (run % 2 == 0);
            fs::remove_all(outputs);
            fs::create_directories(outputs);
            std::vector<std::string> command = {self, "--batch", sources.string(), outputs.string()};
            if (single) {
                command.insert(command.begin(), {"taskset", "-c", "0"});
            }
            const ChildRun timed = Spawn(command);
            if (timed.status != 0) {
                std::fprintf(stderr, "the batch failed\n");
                return 1;
            }
            (single ? one : all).push_back(timed.wall);
            long& rss = single ? oneRss : allRss;
            rss = std::max(rss, timed.maxRssKb);
            std::printf("run %d  %-9s %7.2f s (cpu %7.2f s, peak %.0f MB)\n", run + 1,
                        single ? "one core" : "all cores", timed.wall, timed.cpu,
                        static_cast<double>(timed.maxRssKb) / 1024);
            std::fflush(stdout);
        }
    }
    std::printf("\none core (taskset -c 0): best %.2f s, median %.2f s; peak %.0f MB\n",
                *std::min_element(one.begin(), one.end()), Median(one), static_cast<double>(oneRss) / 1024);
    std::printf("all %ld cores:            best %.2f s, median %.2f s; peak %.0f MB (target < 400 MB)\n",
                cores, *std::min_element(all.begin(), all.end()), Median(all),
                static_cast<double>(allRss) / 1024);
    std::printf("ratio all cores / one core: best %.3f, median %.3f (target <= 0.60)\n",
                *std::min_element(all.begin(), all.end()) / *std::min_element(one.begin(), one.end()),
                Median(all) / Median(one));
    fs::remove_all(work);
    return 0;
}
