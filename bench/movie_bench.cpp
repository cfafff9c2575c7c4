// Times a movie import's conversion against the ffmpeg command line doing the equivalent single
// transcode (MJPEG yuvj422p 640x480 at the same rate and quantiser, PCM s16le 44100 Hz stereo, AVI),
// in the same run and alternating, and the re-interleave against cp of the same file. Also prints the
// peak resident memory of the converter's process.
//
// Usage: movie_bench [--source FILE] [--runs N] [--qscale Q] [--standard ntsc|pal] [--seconds S]
// Without --source it first makes an S-second (default 60) 1920x1080 H.264/AAC clip with ffmpeg.
// With --remux-only FILE it times only the re-interleave of FILE (a transcoder output) against cp.
// With --orientation it times the transcode with and without the handling of a display matrix
// ("-noautorotate"), on the source as it is and on a copy tagged as turned by 90 degrees, alternating.
// With --quality it converts the source with the reduced decoding a shrinking picture allows and with
// full decoding ("-fulldecode"), and prints the mean luma PSNR of each against a reference made by the
// ffmpeg command line decoding every picture fully and scaling it with the same scaler.
#include "codecs/CVideoConverter.h"
#include "codecs/ff_convertermain.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct ChildRun {
    int status = -1;
    double wall = 0;
    double cpu = 0;
    long maxRssKb = 0;
};

ChildRun Spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ChildRun run;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return run;
    }
    rusage usage{};
    int status = 0;
    wait4(pid, &status, 0, &usage);
    run.wall = Seconds(Clock::now() - start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpu = CpuSeconds(usage);
    run.maxRssKb = usage.ru_maxrss;
    return run;
}

struct Stats {
    std::vector<double> samples;
    void Add(double value) { samples.push_back(value); }
    double Min() const { return *std::min_element(samples.begin(), samples.end()); }
    double Median() const {
        auto sorted = samples;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

struct ConverterRun {
    int result = -1;
    double phase1 = 0;
    double phase2 = 0;
    double cpu = 0;
};

// One conversion; with keep set, phase 1's output is kept (hard-linked) there for the remux timing.
ConverterRun Convert(const fs::path& source, const fs::path& destination, const std::string& standard,
                     const std::string& qscale, const fs::path& keep) {
    k72::CVideoConverter converter;
    converter.SetFrameRateStandard(standard);
    converter.SetQscaleText(qscale);
    Clock::time_point phase1Start;
    Clock::time_point phase1End;
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int argc, char** argv) {
        phase1Start = Clock::now();
        const int result = k72::ff_convertermain(callback, context, argc, argv);
        phase1End = Clock::now();
        if (!keep.empty()) {
            fs::remove(keep);
            fs::create_hard_link(argv[argc - 1], keep);
        }
        return result;
    });
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    ConverterRun run;
    run.result = converter.Convert(source.string(), destination.string());
    const auto end = Clock::now();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    run.phase1 = Seconds(phase1End - phase1Start);
    run.phase2 = Seconds(end - phase1End);
    run.cpu = CpuSeconds(after) - CpuSeconds(before);
    return run;
}

struct Transcoded {
    double wall = 0;
    double cpu = 0; // all threads of the process, less disturbed by other work on a shared machine
};

// Phase 1 alone, with extra transcoder arguments put before the output codec options.
Transcoded TranscodeOnly(const fs::path& source, const fs::path& destination, const std::string& standard,
                         const std::string& qscale, const std::vector<std::string>& extra) {
    k72::CVideoConverter converter;
    converter.SetFrameRateStandard(standard);
    converter.SetQscaleText(qscale);
    Transcoded timing;
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int argc, char** argv) {
        std::vector<std::string> arguments(argv, argv + argc);
        const auto codec = std::find(arguments.begin(), arguments.end(), std::string("-vcodec"));
        arguments.insert(codec, extra.begin(), extra.end());
        std::vector<char*> pointers;
        for (auto& argument : arguments) {
            pointers.push_back(argument.data());
        }
        pointers.push_back(nullptr);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = Clock::now();
        const int result =
            k72::ff_convertermain(callback, context, static_cast<int>(arguments.size()), pointers.data());
        timing.wall = Seconds(Clock::now() - start);
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        timing.cpu = CpuSeconds(after) - CpuSeconds(before);
        return result;
    });
    if (converter.Convert(source.string(), destination.string()) != 0) {
        std::fprintf(stderr, "conversion failed\n");
        std::exit(1);
    }
    return timing;
}

// Phase 2 alone: phase 1 is replaced by a hard link of a kept intermediate file.
double RemuxOnly(const fs::path& intermediate, const fs::path& destination, const std::string& standard) {
    k72::CVideoConverter converter;
    converter.SetFrameRateStandard(standard);
    Clock::time_point start;
    converter.SetTranscoder([&](k72::ConverterCallback callback, void* context, int argc, char** argv) {
        fs::remove(argv[argc - 1]);
        fs::create_hard_link(intermediate, argv[argc - 1]);
        callback(context, k72::ReportResult, 0);
        start = Clock::now();
        return 0;
    });
    const int result = converter.Convert(intermediate.string(), destination.string());
    const double seconds = Seconds(Clock::now() - start);
    if (result != 0) {
        std::fprintf(stderr, "re-interleave failed: 0x%08X\n", static_cast<unsigned>(result));
        std::exit(1);
    }
    return seconds;
}

// Mean luma PSNR of a converted movie against the source decoded fully, put through the same
// frame-rate conversion and scaler as the converter uses; negative when it cannot be measured.
double LumaPsnr(const fs::path& converted, const fs::path& source, const std::string& standard) {
    const std::string rate = standard == "pal" ? "25/1" : "30000/1001";
    const std::string chain = "fps=fps=" + rate +
                              ":start_time=0:round=near,scale=w=640:h=480:flags=bicubic:out_range=full,"
                              "setsar=1,format=pix_fmts=yuv422p";
    const std::string command = "ffmpeg -nostdin -hide_banner -i '" + converted.string() + "' -i '" +
                                source.string() + "' -lavfi '[1:v]" + chain +
                                "[ref];[0:v]format=pix_fmts=yuv422p[ours];[ours][ref]psnr' -f null - 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    double psnr = -1;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        if (const char* at = std::strstr(line, "PSNR y:"); at != nullptr) {
            psnr = std::atof(at + 7);
        }
    }
    pclose(pipe);
    return psnr;
}

} // namespace

int main(int argc, char** argv) {
    fs::path source;
    int runs = 3;
    std::string qscale = "10";
    std::string standard = "ntsc";
    int seconds = 60;
    fs::path remuxOnly;
    bool orientation = false;
    bool quality = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--orientation") {
            orientation = true;
        }
        if (std::string(argv[i]) == "--quality") {
            quality = true;
        }
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--orientation" || option == "--quality") {
            --i; // a flag without a value
            continue;
        }
        if (option == "--source") {
            source = argv[i + 1];
        } else if (option == "--runs") {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (option == "--qscale") {
            qscale = argv[i + 1];
        } else if (option == "--standard") {
            standard = argv[i + 1];
        } else if (option == "--remux-only") {
            remuxOnly = argv[i + 1];
        } else if (option == "--seconds") {
            seconds = std::max(1, std::atoi(argv[i + 1]));
        }
    }

    const fs::path work = fs::temp_directory_path() / ("k72-movie-bench-" + std::to_string(getpid()));
    fs::create_directories(work);

    // The re-interleave alone against cp of the same file, both from a warm page cache and both
    // writing a new file (truncating last run's output would be timed too).
    auto timeRemux = [&](const fs::path& intermediate) {
        Stats remux, copy;
        const double megabytes = static_cast<double>(fs::file_size(intermediate)) / 1e6;
        for (int run = 0; run < std::max(9, runs); ++run) {
            fs::remove(work / "remuxed.avi");
            remux.Add(RemuxOnly(intermediate, work / "remuxed.avi", standard));
            fs::remove(work / "copy.avi");
            copy.Add(Spawn({"cp", intermediate.string(), (work / "copy.avi").string()}).wall);
        }
        std::printf(
            "re-interleave of %.1f MB: best %.3f s = %.0f MB/s (median %.3f s); cp: best %.3f s = %.0f MB/s "
            "(median %.3f s); ratio %.2f (target >= 0.60)\n",
            megabytes, remux.Min(), megabytes / remux.Min(), remux.Median(), copy.Min(),
            megabytes / copy.Min(), copy.Median(), copy.Min() / remux.Min());
    };
    if (!remuxOnly.empty()) {
        timeRemux(remuxOnly);
        fs::remove_all(work);
        return 0;
    }

    if (source.empty()) {
        source = work / "source.mp4";
        std::printf("making a %d s 1920x1080 H.264/AAC clip ...\n", seconds);
        std::fflush(stdout);
        const std::string length = std::to_string(seconds);
        // A little grain so the pictures are not trivially simple, at a camera-like bit rate.
        const ChildRun made = Spawn({"ffmpeg",
                                     "-v",
                                     "error",
                                     "-nostdin",
                                     "-y",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "testsrc2=size=1920x1080:rate=30:duration=" + length,
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "sine=frequency=440:sample_rate=48000:duration=" + length,
                                     "-vf",
                                     "noise=alls=3:allf=t",
                                     "-c:v",
                                     "libx264",
                                     "-preset",
                                     "veryfast",
                                     "-b:v",
                                     "16M",
                                     "-maxrate",
                                     "20M",
                                     "-bufsize",
                                     "20M",
                                     "-pix_fmt",
                                     "yuv420p",
                                     "-c:a",
                                     "aac",
                                     "-b:a",
                                     "128k",
                                     source.string()});
        if (made.status != 0) {
            std::fprintf(stderr, "ffmpeg could not make the clip\n");
            return 1;
        }
    }
    std::printf("source %s (%.1f MB), %s, qscale %s, %d runs, %ld cores\n", source.c_str(),
                static_cast<double>(fs::file_size(source)) / 1e6, standard.c_str(), qscale.c_str(), runs,
                sysconf(_SC_NPROCESSORS_ONLN));

    if (orientation) {
        const fs::path turned = work / "turned.mp4";
        if (Spawn({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", source.string(), "-c", "copy",
                   "-metadata:s:v:0", "rotate=90", turned.string()})
                .status != 0) {
            std::fprintf(stderr, "ffmpeg could not tag the turned copy\n");
            return 1;
        }
        // Wall and processor time of: the source handled / ignored, the turned copy handled / ignored.
        std::vector<Stats> wall(4), cpu(4);
        for (int run = 0; run < runs; ++run) {
            const bool first = run % 2 == 0;
            for (int turn = 0; turn < 2; ++turn) {
                const bool handle = (turn == 0) == first;
                const std::vector<std::string> extra =
                    handle ? std::vector<std::string>{} : std::vector<std::string>{"-noautorotate"};
                const Transcoded plain = TranscodeOnly(source, work / "o.avi", standard, qscale, extra);
                const Transcoded rotated = TranscodeOnly(turned, work / "o.avi", standard, qscale, extra);
                const std::size_t at = handle ? 0 : 1;
                wall[at].Add(plain.wall);
                cpu[at].Add(plain.cpu);
                wall[at + 2].Add(rotated.wall);
                cpu[at + 2].Add(rotated.cpu);
                std::printf("run %d  %-20s source %6.2f s (cpu %6.2f s), turned copy %6.2f s (cpu %6.2f s)\n",
                            run + 1, handle ? "orientation handled" : "-noautorotate", plain.wall, plain.cpu,
                            rotated.wall, rotated.cpu);
                std::fflush(stdout);
            }
        }
        const auto change = [](const Stats& a, const Stats& b, bool best) {
            return 100 * ((best ? a.Min() : a.Median()) / (best ? b.Min() : b.Median()) - 1);
        };
        std::printf("\norientation handled against -noautorotate (target < 5 %%):\n");
        std::printf(
            "  source as it is: wall best %+.1f %%, median %+.1f %%; cpu best %+.1f %%, median %+.1f %%\n",
            change(wall[0], wall[1], true), change(wall[0], wall[1], false), change(cpu[0], cpu[1], true),
            change(cpu[0], cpu[1], false));
        std::printf(
            "  turned copy:     wall best %+.1f %%, median %+.1f %%; cpu best %+.1f %%, median %+.1f %%\n",
            change(wall[2], wall[3], true), change(wall[2], wall[3], false), change(cpu[2], cpu[3], true),
            change(cpu[2], cpu[3], false));
        fs::remove_all(work);
        return 0;
    }

    if (quality) {
        // Alternating, so that the times printed alongside are comparable.
        Stats reducedWall, fullWall;
        double reducedPsnr = -1;
        double fullPsnr = -1;
        for (int run = 0; run < runs; ++run) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool full = (turn == 0) == (run % 2 == 0);
                const fs::path output = work / (full ? "full.avi" : "reduced.avi");
                const Transcoded timing = TranscodeOnly(source, output, standard, qscale,
                                                        full ? std::vector<std::string>{"-fulldecode"}
                                                             : std::vector<std::string>{});
                (full ? fullWall : reducedWall).Add(timing.wall);
                std::printf("run %d  %-16s %6.2f s (cpu %6.2f s)\n", run + 1,
                            full ? "full decoding" : "reduced decoding", timing.wall, timing.cpu);
                std::fflush(stdout);
            }
        }
        fullPsnr = LumaPsnr(work / "full.avi", source, standard);
        reducedPsnr = LumaPsnr(work / "reduced.avi", source, standard);
        std::printf("\nmean luma PSNR against the fully decoded, same-scaler reference:\n"
                    "  full decoding    %.3f dB (best %.2f s)\n  reduced decoding %.3f dB (best %.2f s)\n"
                    "  loss %.3f dB (target <= 0.3 dB)\n",
                    fullPsnr, fullWall.Min(), reducedPsnr, reducedWall.Min(), fullPsnr - reducedPsnr);
        fs::remove_all(work);
        return fullPsnr < 0 || reducedPsnr < 0 ? 1 : 0;
    }

    Stats ours, ourPhase1, ourPhase2, ourCpu, cli, cliCpu;
    long cliRss = 0;
    const fs::path intermediate = work / "intermediate.avi";
    for (int run = 0; run < runs; ++run) {
        // Alternate the order so that a change in the machine's load hits both alike.
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (run % 2 == 0)) {
                fs::remove(work / "ours.avi");
                const ConverterRun converted =
                    Convert(source, work / "ours.avi", standard, qscale, intermediate);
                if (converted.result != 0) {
                    std::fprintf(stderr, "conversion failed: 0x%08X\n",
                                 static_cast<unsigned>(converted.result));
                    return 1;
                }
                ours.Add(converted.phase1 + converted.phase2);
                ourPhase1.Add(converted.phase1);
                ourPhase2.Add(converted.phase2);
                ourCpu.Add(converted.cpu);
                std::printf(
                    "run %d  converter    %7.2f s (transcode %6.2f s, re-interleave %5.2f s), cpu %6.2f s\n",
                    run + 1, converted.phase1 + converted.phase2, converted.phase1, converted.phase2,
                    converted.cpu);
            } else {
                fs::remove(work / "cli.avi");
                const ChildRun line = Spawn({"ffmpeg",
                                             "-v",
                                             "error",
                                             "-nostdin",
                                             "-y",
                                             "-i",
                                             source.string(),
                                             "-s",
                                             "640x480",
                                             "-r",
                                             standard,
                                             "-qscale",
                                             qscale,
                                             "-vcodec",
                                             "mjpeg",
                                             "-pix_fmt",
                                             "yuvj422p",
                                             "-acodec",
                                             "pcm_s16le",
                                             "-ar",
                                             "44100",
                                             "-ac",
                                             "2",
                                             "-f",
                                             "avi",
                                             (work / "cli.avi").string()});
                if (line.status != 0) {
                    std::fprintf(stderr, "the ffmpeg command line failed\n");
                    return 1;
                }
                cli.Add(line.wall);
                cliCpu.Add(line.cpu);
                cliRss = std::max(cliRss, line.maxRssKb);
                std::printf("run %d  command line %7.2f s, cpu %6.2f s\n", run + 1, line.wall, line.cpu);
            }
            std::fflush(stdout);
        }
    }

    std::printf(
        "\nconverter (both phases)   best %7.2f s  median %7.2f s  (transcode best %.2f s, re-interleave "
        "best %.2f s)\n",
        ours.Min(), ours.Median(), ourPhase1.Min(), ourPhase2.Min());
    std::printf("command line              best %7.2f s  median %7.2f s\n", cli.Min(), cli.Median());
    std::printf(
        "ratio converter / command line: best %.3f, median %.3f (target <= 0.80); cpu time ratio %.3f\n",
        ours.Min() / cli.Min(), ours.Median() / cli.Median(), ourCpu.Median() / cliCpu.Median());
    timeRemux(intermediate);
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf("peak resident memory: converter process %.1f MB (target < 200 MB), command line %.1f MB\n",
                static_cast<double>(self.ru_maxrss) / 1024, static_cast<double>(cliRss) / 1024);
    std::printf("output sizes: converter %.1f MB (intermediate %.1f MB), command line %.1f MB\n",
                static_cast<double>(fs::file_size(work / "ours.avi")) / 1e6,
                static_cast<double>(fs::file_size(intermediate)) / 1e6,
                static_cast<double>(fs::file_size(work / "cli.avi")) / 1e6);
    fs::remove_all(work);
    return 0;
}
