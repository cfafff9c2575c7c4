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
// With --quality it converts the source (or, without --source, the synthetic clip and a natural one: a
// pan and zoom over the photograph --photo, by default Wood.jpg of the Debian package mate-backgrounds,
// which "./scripts/deps --bench" installs) with this
// converter and with the ffmpeg command line, times both alternating, and prints each one's mean luma
// PSNR and SSIM against a reference that favours neither scaler: the source decoded fully and scaled
// with lanczos, with the same pictures chosen as that output chose.
// With --floor it times, each in a process of its own and alternating, the parts of the work no
// converter of this source into the device's form can leave out, done by the media library's own
// command line: decoding the source with the converter's reduced decoding, and encoding its pictures
// at 640x480 with the MJPEG encoder and quantiser the device's form takes. Their processor time against
// the command line's whole transcode is the least share of it any converter can take; spread over all
// cores, it bounds the time ratio from below.
// With --phone it makes a 4K 60 fps HEVC 10-bit clip tagged as portrait (or takes --source), converts
// it letterboxed at 29.97 fps with this converter and the command line alternating, and prints the
// time ratio, both peak memories and both qualities as above.
#include "bench/BenchSupport.h"
#include "codecs/CVideoConverter.h"
#include "codecs/ff_convertermain.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using k72bench::ChildRun;
using k72bench::Clock;
using k72bench::CpuSeconds;
using k72bench::MakeSyntheticClip;
using k72bench::Seconds;
using k72bench::Spawn;

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
                         const std::string& qscale, const std::vector<std::string>& extra,
                         const std::string& fit = "stretch") {
    k72::CVideoConverter converter;
    converter.SetFrameRateStandard(standard);
    converter.SetQscaleText(qscale);
    converter.SetFit(fit);
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

struct Quality {
    double psnr = -1; // mean luma PSNR, dB
    double ssim = -1; // mean luma SSIM
};

// Runs a shell command and returns what it printed.
std::string Output(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return text;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        text += line;
    }
    pclose(pipe);
    return text;
}

double NumberAfter(const std::string& text, const char* label) {
    const std::size_t at = text.rfind(label);
    return at == std::string::npos ? -1 : std::atof(text.c_str() + at + std::strlen(label));
}

// Luma PSNR and SSIM of a converted movie against a reference file of the same pictures. The reference
// is raw full-range 4:2:2: a container would keep it as limited-range 4:2:2. Only the pictures both
// have are compared: the converter ends a movie at the output instant nearest its end, the reference
// (as the command line) at the one after, and comparing the converter's last picture again with that
// extra one would count a picture the output does not have as a fault of its pictures (a 20 s clip
// then lost 0.26 dB on that one comparison).
Quality Measure(const fs::path& converted, const fs::path& reference, const std::string& standard) {
    const std::string rate = standard == "pal" ? "25" : "30000/1001";
    const std::string text = Output(
        "ffmpeg -nostdin -hide_banner -i '" + converted.string() +
        "' -f rawvideo -pix_fmt yuvj422p -s 640x480 -framerate " + rate + " -i '" + reference.string() +
        "' -lavfi '[0:v]format=yuvj422p,split[a][b];[1:v]format=yuvj422p,split[c][d];"
        "[a][c]psnr=shortest=1;[b][d]ssim=shortest=1' -f null - 2>&1");
    return Quality{NumberAfter(text, "PSNR y:"), NumberAfter(text, "SSIM Y:")};
}

// The reference pictures: the source decoded fully, turned and fitted as the output was, scaled with
// lanczos to full-range 4:2:2. ourChoice picks the pictures as our frame-rate step does (the picture on
// screen at every output instant); otherwise as the command line's "-r" does.
bool MakeReference(const fs::path& source, const fs::path& reference, const std::string& standard,
                   const std::string& fitChain, bool ourChoice) {
    const std::string rate = standard == "pal" ? "25/1" : "30000/1001";
    std::string fit = fitChain.empty() ? "scale=w=640:h=480:flags=bicubic" : fitChain;
    for (std::size_t at = fit.find("bicubic"); at != std::string::npos; at = fit.find("bicubic", at)) {
        fit.replace(at, 7, "lanczos");
    }
    std::string chain = (ourChoice ? "fps=fps=" + rate + ":start_time=0:round=up," : std::string()) + fit +
                        ",scale=out_range=full:flags=lanczos,format=yuvj422p";
    std::vector<std::string> arguments = {"ffmpeg",        "-v",  "error", "-nostdin", "-y", "-i",
                                          source.string(), "-vf", chain};
    if (!ourChoice) {
        arguments.insert(arguments.end(), {"-r", standard});
    }
    arguments.insert(arguments.end(), {"-an", "-f", "rawvideo", reference.string()});
    return Spawn(arguments).status == 0;
}

// The ffmpeg command line's single transcode into the device's form; fitChain (empty: "-s 640x480")
// is a filter chain that fits the picture.
ChildRun CommandLine(const fs::path& source, const fs::path& output, const std::string& standard,
                     const std::string& qscale, const std::string& fitChain) {
    std::vector<std::string> arguments = {"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", source.string()};
    if (fitChain.empty()) {
        arguments.insert(arguments.end(), {"-s", "640x480"});
    } else {
        arguments.insert(arguments.end(), {"-vf", fitChain});
    }
    arguments.insert(arguments.end(),
                     {"-r", standard, "-qscale", qscale, "-vcodec", "mjpeg", "-pix_fmt", "yuvj422p",
                      "-acodec", "pcm_s16le", "-ar", "44100", "-ac", "2", "-f", "avi", output.string()});
    return Spawn(arguments);
}

// One side of a comparison: its times, processor times and peak memory.
struct Side {
    explicit Side(const char* sideName) : name(sideName) {}

    const char* name; // as the run lines show it
    Stats wall;
    Stats cpu;
    long peakKb = 0;

    // Takes the figures of one run and shows them; false, said, when the run failed.
    bool Add(const ChildRun& child, int run) {
        if (child.status != 0) {
            std::fprintf(stderr, "the %s failed\n", name);
            return false;
        }
        wall.Add(child.wall);
        cpu.Add(child.cpu);
        peakKb = std::max(peakKb, child.maxRssKb);
        std::printf("run %d  %-12s %7.2f s, cpu %6.2f s, peak %6.1f MB\n", run + 1, name, child.wall,
                    child.cpu, static_cast<double>(child.maxRssKb) / 1024);
        return true;
    }
};

// Our converter and the command line on one clip, alternating: times, peak memory (the converter's
// in a child process of its own, this program with --transcode-one), and the quality of both.
int CompareWithCommandLine(const char* self, const fs::path& work, const fs::path& source,
                           const std::string& standard, const std::string& qscale, int runs,
                           const std::string& fit, const std::string& fitChain, const char* name) {
    Side ours{"converter"};
    Side cli{"command line"};
    const fs::path ourOutput = work / "ours.avi";
    const fs::path cliOutput = work / "cli.avi";
    for (int run = 0; run < runs; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (run % 2 == 0)) {
                fs::remove(ourOutput);
                if (!ours.Add(Spawn({self, "--transcode-one", source.string(), ourOutput.string(), standard,
                                     qscale, fit}),
                              run)) {
                    return 1;
                }
            } else {
                fs::remove(cliOutput);
                if (!cli.Add(CommandLine(source, cliOutput, standard, qscale, fitChain), run)) {
                    return 1;
                }
            }
            std::fflush(stdout);
        }
    }
    const fs::path ourReference = work / "reference-ours.yuv";
    const fs::path cliReference = work / "reference-cli.yuv";
    if (!MakeReference(source, ourReference, standard, fitChain, true) ||
        !MakeReference(source, cliReference, standard, fitChain, false)) {
        std::fprintf(stderr, "ffmpeg could not make the reference\n");
        return 1;
    }
    const Quality ourQuality = Measure(ourOutput, ourReference, standard);
    const Quality cliQuality = Measure(cliOutput, cliReference, standard);
    fs::remove(ourReference);
    fs::remove(cliReference);
    std::printf("\n%s clip, against the fully decoded source scaled with lanczos:\n", name);
    for (const auto& [side, quality] : {std::pair{&ours, ourQuality}, std::pair{&cli, cliQuality}}) {
        std::printf("  %-13s %.2f dB, SSIM %.4f; wall median %.2f s, cpu median %.2f s, peak %.1f MB\n",
                    side->name, quality.psnr, quality.ssim, side->wall.Median(), side->cpu.Median(),
                    static_cast<double>(side->peakKb) / 1024);
    }
    std::printf("  ratio converter / command line: wall median %.3f (best %.3f), cpu median %.3f\n",
                ours.wall.Median() / cli.wall.Median(), ours.wall.Min() / cli.wall.Min(),
                ours.cpu.Median() / cli.cpu.Median());
    std::fflush(stdout);
    return ourQuality.psnr < 0 || cliQuality.psnr < 0 ? 1 : 0;
}

bool MakeClip(const std::vector<std::string>& arguments) {
    return Spawn(arguments).status == 0;
}

// The natural clip: a slow pan and zoom over a photograph, 1920x1080 at 30 fps, H.264/AAC as above.
bool MakeNaturalClip(const fs::path& photo, const fs::path& clip, int seconds) {
    const std::string frames = std::to_string(seconds * 30);
    const std::string move = "zoompan=z='1.0+0.4*on/" + frames + "':x='(iw-iw/zoom)*on/" + frames +
                             "':y='(ih-ih/zoom)*(1-on/" + frames + ")':d=1:s=1920x1080:fps=30";
    return MakeClip({"ffmpeg",
                     "-v",
                     "error",
                     "-nostdin",
                     "-y",
                     "-loop",
                     "1",
                     "-framerate",
                     "30",
                     "-i",
                     photo.string(),
                     "-f",
                     "lavfi",
                     "-i",
                     "sine=frequency=440:sample_rate=48000:duration=" + std::to_string(seconds),
                     "-filter_complex",
                     "[0:v]scale=3840:2880:flags=lanczos," + move + ",noise=alls=2:allf=t,format=yuv420p[v]",
                     "-map",
                     "[v]",
                     "-map",
                     "1:a",
                     "-t",
                     std::to_string(seconds),
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
                     "-c:a",
                     "aac",
                     "-b:a",
                     "128k",
                     clip.string()});
}

// A phone's movie: 4K at 60 fps, HEVC Main 10 with B-pictures, stored landscape and tagged as turned
// by 90 degrees (held upright), with AAC sound.
bool MakePhoneClip(const fs::path& clip, int seconds) {
    // The turn is tagged in a second step, copying the streams: the media library's command line drops
    // a "rotate" tag given while it encodes, and the clip would be an ordinary landscape one.
    const fs::path encoded = clip.parent_path() / ("unturned-" + clip.filename().string());
    const bool made = k72bench::MakeTestClip(encoded, seconds, "size=3840x2160:rate=60",
                                             "noise=alls=3:allf=t,format=yuv420p10le",
                                             {"-c:v", "libx265", "-preset", "ultrafast", "-x265-params",
                                              "log-level=error:bframes=3", "-b:v", "40M", "-tag:v", "hvc1"});
    const bool turned =
        made && k72bench::Spawn({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", encoded.string(), "-c",
                                 "copy", "-metadata:s:v:0", "rotate=90", clip.string()})
                        .status == 0;
    fs::remove(encoded);
    return turned;
}

} // namespace

// The least a conversion of the source takes: decoding it (as the converter does, without deblocking on
// pictures nothing refers to) and MJPEG-encoding its pictures at the device's size, against the command
// line's whole transcode. The encoding is timed on raw pictures read from a file, less the time of
// reading that file alone.
int Floor(const fs::path& work, const fs::path& source, const std::string& standard,
          const std::string& qscale, int runs) {
    const fs::path cliOutput = work / "cli.avi";
    const fs::path pictures = work / "pictures.yuv";
    const std::vector<std::string> raw = {"-f", "rawvideo", "-pix_fmt", "yuvj422p",
                                          "-s", "640x480",  "-i",       pictures.string()};
    const auto ffmpeg = [](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"ffmpeg", "-v", "error", "-nostdin", "-y"});
        return Spawn(arguments);
    };
    if (CommandLine(source, cliOutput, standard, qscale, "").status != 0 ||
        ffmpeg({"-i", cliOutput.string(), "-f", "rawvideo", "-pix_fmt", "yuvj422p", pictures.string()})
                .status != 0) {
        std::fprintf(stderr, "ffmpeg could not make the pictures to encode\n");
        return 1;
    }
    Stats cliWall, cliCpu, decode, encode, read;
    for (int run = 0; run < runs; ++run) {
        std::vector<ChildRun> children = {
            CommandLine(source, cliOutput, standard, qscale, ""),
            ffmpeg({"-skip_loop_filter", "noref", "-flags2", "fast", "-i", source.string(), "-an", "-f",
                    "null", "-"}),
        };
        std::vector<std::string> encoding = raw;
        encoding.insert(encoding.end(),
                        {"-c:v", "mjpeg", "-qscale", qscale, "-threads", "1", "-f", "null", "-"});
        std::vector<std::string> reading = raw;
        reading.insert(reading.end(), {"-f", "null", "-"});
        children.push_back(ffmpeg(encoding));
        children.push_back(ffmpeg(reading));
        for (const ChildRun& child : children) {
            if (child.status != 0) {
                std::fprintf(stderr, "ffmpeg failed\n");
                return 1;
            }
        }
        cliWall.Add(children[0].wall);
        cliCpu.Add(children[0].cpu);
        decode.Add(children[1].cpu);
        encode.Add(children[2].cpu);
        read.Add(children[3].cpu);
        std::printf("run %d  command line %.2f s (cpu %.2f s); decoding %.2f s, encoding %.2f s, reading the "
                    "pictures %.2f s of cpu\n",
                    run + 1, children[0].wall, children[0].cpu, children[1].cpu, children[2].cpu,
                    children[3].cpu);
        std::fflush(stdout);
    }
    const double floor = decode.Median() + std::max(0.0, encode.Median() - read.Median());
    const long cores = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("\nprocessor time (medians): command line %.2f s in %.2f s on %.2f cores; decoding %.2f s + "
                "encoding %.2f s = %.2f s\n",
                cliCpu.Median(), cliWall.Median(), cliCpu.Median() / cliWall.Median(), decode.Median(),
                encode.Median() - read.Median(), floor);
    std::printf("the least a converter takes, before any scaling: %.3f of the command line's processor time, "
                "and with all %ld cores busy %.3f of its time\n",
                floor / cliCpu.Median(), cores, floor / static_cast<double>(cores) / cliWall.Median());
    return 0;
}

int main(int argc, char** argv) {
    fs::path source;
    int runs = 3;
    std::string qscale = "10";
    std::string standard = "ntsc";
    int seconds = 60;
    fs::path remuxOnly;
    bool orientation = false;
    bool quality = false;
    bool phone = false;
    bool floor = false;
    fs::path photo = "/usr/share/backgrounds/mate/nature/Wood.jpg";
    if (argc == 7 && std::string(argv[1]) == "--transcode-one") {
        // One conversion in a process of its own, so that its peak memory can be measured.
        return TranscodeOnly(argv[2], argv[3], argv[4], argv[5], {}, argv[6]).wall > 0 ? 0 : 1;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--orientation") {
            orientation = true;
        }
        if (std::string(argv[i]) == "--quality") {
            quality = true;
        }
        if (std::string(argv[i]) == "--floor") {
            floor = true;
        }
        if (std::string(argv[i]) == "--phone") {
            phone = true;
        }
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--orientation" || option == "--quality" || option == "--phone" ||
            option == "--floor") {
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
        } else if (option == "--photo") {
            photo = argv[i + 1];
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

    if (phone) {
        if (source.empty()) {
            source = work / "phone.mov";
            std::printf("making a %d s 4K 60 fps HEVC 10-bit portrait clip ...\n", seconds);
            std::fflush(stdout);
            if (!MakePhoneClip(source, seconds)) {
                std::fprintf(stderr, "ffmpeg could not make the phone clip\n");
                return 1;
            }
        }
        // The command line letterboxes with its default scaler, turned upright as it does by itself.
        const int result = CompareWithCommandLine(argv[0], work, source, standard, qscale, runs, "letterbox",
                                                  "scale=w=640:h=480:force_original_aspect_ratio=decrease:"
                                                  "flags=bicubic,pad=640:480:(ow-iw)/2:(oh-ih)/2",
                                                  "phone");
        fs::remove_all(work);
        return result;
    }
    if (quality) {
        std::vector<std::pair<fs::path, std::string>> clips;
        if (!source.empty()) {
            clips.emplace_back(source, "given");
        } else {
            if (!fs::is_regular_file(photo)) {
                std::fprintf(stderr,
                             "the natural clip needs the photograph %s: it comes with the Debian package "
                             "mate-backgrounds (46 MB), which ./scripts/deps --bench installs; or give "
                             "another photograph of at least 1920 x 1080 with --photo FILE\n",
                             photo.c_str());
                return 1;
            }
            std::printf("making a %d s synthetic clip and a %d s pan and zoom over %s ...\n", seconds,
                        seconds, photo.c_str());
            std::fflush(stdout);
            if (!MakeSyntheticClip(work / "synthetic.mp4", seconds) ||
                !MakeNaturalClip(photo, work / "natural.mp4", seconds)) {
                std::fprintf(stderr, "ffmpeg could not make the clips\n");
                return 1;
            }
            clips.emplace_back(work / "synthetic.mp4", "synthetic");
            clips.emplace_back(work / "natural.mp4", "natural");
        }
        int result = 0;
        for (const auto& [clip, name] : clips) {
            result |= CompareWithCommandLine(argv[0], work, clip, standard, qscale, runs, "stretch", "",
                                             name.c_str());
        }
        fs::remove_all(work);
        return result;
    }

    if (source.empty()) {
        source = work / "source.mp4";
        std::printf("making a %d s 1920x1080 H.264/AAC clip ...\n", seconds);
        std::fflush(stdout);
        if (!MakeSyntheticClip(source, seconds)) {
            std::fprintf(stderr, "ffmpeg could not make the clip\n");
            return 1;
        }
    }
    std::printf("source %s (%.1f MB), %s, qscale %s, %d runs, %ld cores\n", source.c_str(),
                static_cast<double>(fs::file_size(source)) / 1e6, standard.c_str(), qscale.c_str(), runs,
                sysconf(_SC_NPROCESSORS_ONLN));

    if (floor) {
        const int result = Floor(work, source, standard, qscale, runs);
        fs::remove_all(work);
        return result;
    }
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
