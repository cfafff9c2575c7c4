// Times a fill of 12 pads from 12 clips through the background queue against a shell loop that runs
// the ffmpeg command line once per clip (the transcode movie_bench compares against: MJPEG yuvj422p
// 640x480 at the same rate and quantiser, PCM s16le 44100 Hz stereo, AVI), alternating, and prints the
// peak resident memory of each. Also times deciding a second apply of an unchanged plan of 100 pads.
//
// Usage: fill_bench [--clips N] [--seconds S] [--runs R] [--qscale Q] [--standard ntsc|pal]
//                   [--source FILE] [--apply-only] [--card-tool K72-CARD]
// Without --source it first makes an S-second (default 10) 1920x1080 H.264/AAC clip with ffmpeg and
// copies it N (default 12) times. The queue runs in a child process of its own (this program with
// --queue-only FOLDER), so that its peak memory is its own. With --card-tool, the other turn is the
// terminal tool's "fill CARD A-1 FOLDER" onto a fresh empty card instead, the whole command timed.
#include "bench/BenchSupport.h"
#include "engine/ConversionQueue.h"
#include "store/ApplySchedule.h"
#include "store/PlanReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using k72bench::ChildRun;
using k72bench::Clock;
using k72bench::Seconds;
using k72bench::Spawn;

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::vector<fs::path> Clips(const fs::path& folder) {
    std::vector<fs::path> clips;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".mp4") {
            clips.push_back(entry.path());
        }
    }
    std::sort(clips.begin(), clips.end());
    return clips;
}

// The child: converts every clip of the folder through the queue and waits for all of them.
int QueueOnly(const fs::path& folder, const std::string& standard, const std::string& qscale) {
    const auto start = Clock::now();
    k72::ConversionQueue queue(k72::ConversionQueue::Options{});
    for (const fs::path& clip : Clips(folder)) {
        k72::ConversionJobRequest request;
        request.sources = {clip};
        request.movie.frameRate = standard;
        request.movie.qscale = qscale;
        (void)queue.Add(request);
    }
    queue.WaitUntilIdle();
    int failed = 0;
    for (const k72::ConversionJobStatus& job : queue.Jobs()) {
        failed += job.state == k72::ConversionJobState::Done ? 0 : 1;
    }
    std::printf("queue: %zu jobs, %d failed, %u movie slots, %.2f s\n", queue.Jobs().size(), failed,
                queue.MovieSlots(), Seconds(Clock::now() - start));
    return failed == 0 ? 0 : 1;
}

// A card of 100 movie pads applied once, and the time it takes to decide that applying the same plan
// again has nothing to do (reading the plan and the record included).
int ApplyOnly() {
    const fs::path work = fs::temp_directory_path() / ("k72-fill-bench-apply-" + std::to_string(getpid()));
    const fs::path card = work / "card";
    fs::create_directories(card / "DCIM/000KAVLO");
    std::string pads;
    std::vector<k72::PadFiles> content;
    k72::SourceRecord record;
    for (int i = 0; i < 100; ++i) {
        const std::string clip = "clip" + std::to_string(i) + ".mp4";
        std::ofstream(work / clip) << std::string(1 << 20, static_cast<char>(i));
        char name[32];
        std::snprintf(name, sizeof name, "K72_%04d.AVI", i + 1);
        std::ofstream(card / "DCIM/000KAVLO" / name) << "converted " << i;
        const k72::PadLocation where{i / 144, (i / 12) % 12, i % 12};
        pads += std::string(i ? "," : "") + "\"" + where.Text() + "\": {\"movie\": \"" + clip + "\"}";
        content.push_back({where, k72::PadKindMovie, {name}, ""});
        k72::SourceProbe probe;
        k72::PlannedConversion conversion;
        conversion.source = work / clip;
        conversion.settings = k72::RecordedSettings::For(k72::SourceKind::Movie, k72::Settings{});
        record.Put(name, conversion.Entry(*probe.Identify(work / clip),
                                          *k72::StampOfFile(card / "DCIM/000KAVLO" / name)));
    }
    std::ofstream(work / "plan.json") << "{\"k72-plan\": 1, \"pads\": {" << pads << "}}";
    if (!record.Save(card)) {
        return 1;
    }
    sync();
    const auto start = Clock::now();
    const k72::PlanReadResult plan = k72::ReadPlanFile(work / "plan.json");
    const k72::SourceRecord read = k72::SourceRecord::Load(card);
    k72::SourceProbe probe;
    const k72::ApplySchedule schedule = k72::ScheduleApply(
        *plan.plan, k72::Settings{}, content, read, k72::ListCardFileStamps(card / "DCIM/000KAVLO"), probe);
    const double seconds = Seconds(Clock::now() - start);
    std::printf("second apply of an unchanged plan of 100 pads: %s, %zu unchanged, decided in %.3f s "
                "(target < 2 s)\n",
                schedule.NothingToDo() ? "nothing to do" : "CHANGES", schedule.unchanged.size(), seconds);
    fs::remove_all(work);
    return schedule.NothingToDo() ? 0 : 1;
}

// A shell line that makes an empty card at $1 and fills number A-1 from the folder $2 with the tool $0 at
// frame rate $3 and quality $4.
std::string FreshCardFill() {
    return "rm -rf \"$1\" && mkdir -p \"$1/DCIM/000KAVLO\" && head -c 1178496 /dev/zero "
           ">\"$1/DCIM/000KAVLO/K72_PAD.SYS\" && \"$0\" fill \"$1\" A-1 \"$2\" --fps \"$3\" --quality "
           "\"$4\" --deinterlace off --fit stretch >/dev/null";
}

// The quality whose movie quantiser is qscale ("20" … "1" for 0 … 4).
std::string QualityOfScale(const std::string& qscale) {
    const std::vector<std::string> scales = {"20", "15", "10", "5", "1"};
    const auto found = std::find(scales.begin(), scales.end(), qscale);
    return std::to_string(found != scales.end() ? found - scales.begin() : 2);
}

} // namespace

int main(int argc, char** argv) {
    int clips = 12;
    int seconds = 10;
    int runs = 2;
    std::string qscale = "10";
    std::string standard = "ntsc";
    fs::path source;
    std::string cardTool;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (option == "--queue-only" && i + 2 < argc) {
            return QueueOnly(value, argv[i + 2], argc > i + 3 ? argv[i + 3] : qscale);
        } else if (option == "--apply-only") {
            return ApplyOnly();
        } else if (option == "--clips") {
            clips = std::max(1, std::atoi(value));
        } else if (option == "--seconds") {
            seconds = std::max(1, std::atoi(value));
        } else if (option == "--runs") {
            runs = std::max(1, std::atoi(value));
        } else if (option == "--qscale") {
            qscale = value;
        } else if (option == "--standard") {
            standard = value;
        } else if (option == "--source") {
            source = value;
        } else if (option == "--card-tool") {
            cardTool = value;
        }
    }

    const fs::path work = fs::temp_directory_path() / ("k72-fill-bench-" + std::to_string(getpid()));
    const fs::path folder = work / "clips";
    fs::create_directories(folder);
    if (source.empty()) {
        source = work / "source.mp4";
        std::printf("making a %d s 1920x1080 H.264/AAC clip ...\n", seconds);
        std::fflush(stdout);
        if (!k72bench::MakeSyntheticClip(source, seconds)) {
            std::fprintf(stderr, "ffmpeg could not make the clip\n");
            return 1;
        }
    }
    for (int i = 1; i <= clips; ++i) {
        fs::copy_file(source, folder / ("clip" + std::to_string(i) + ".mp4"));
    }
    std::printf("%d clips of %s (%.1f MB each), %s, qscale %s, %d runs, %ld cores, load %s\n", clips,
                source.filename().c_str(), static_cast<double>(fs::file_size(source)) / 1e6, standard.c_str(),
                qscale.c_str(), runs, sysconf(_SC_NPROCESSORS_ONLN), LoadAverage().c_str());

    // The shell loop: one ffmpeg command line after another, as movie_bench runs it.
    const std::string loop =
        "for f in \"$0\"/*.mp4; do ffmpeg -v error -nostdin -y -i \"$f\" -s 640x480 -r " + standard +
        " -qscale " + qscale +
        " -vcodec mjpeg -pix_fmt yuvj422p -acodec pcm_s16le -ar 44100 -ac 2 -f avi \"$1/$(basename "
        "\"$f\" .mp4).avi\" || exit 1; done";
    const fs::path loopOut = work / "loop";
    fs::create_directories(loopOut);
    std::vector<double> queueTimes, loopTimes, queueCpu, loopCpu;
    long queueRss = 0, loopRss = 0;
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string program = length > 0 ? std::string(self, static_cast<std::size_t>(length)) : argv[0];
    const char* mine = cardTool.empty() ? "queue" : "fill";
    for (int run = 0; run < runs; ++run) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool queueTurn = (turn == 0) == (run % 2 == 0);
            ChildRun timed;
            if (queueTurn && !cardTool.empty()) {
                timed = Spawn({"sh", "-c", FreshCardFill(), cardTool, (work / "card").string(),
                               folder.string(), standard, QualityOfScale(qscale)});
            } else {
                timed = queueTurn ? Spawn({program, "--queue-only", folder.string(), standard, qscale})
                                  : Spawn({"sh", "-c", loop, folder.string(), loopOut.string()});
            }
            if (timed.status != 0) {
                std::fprintf(stderr, "%s failed\n", queueTurn ? "the queue" : "the shell loop");
                return 1;
            }
            (queueTurn ? queueTimes : loopTimes).push_back(timed.wall);
            (queueTurn ? queueCpu : loopCpu).push_back(timed.cpu);
            long& rss = queueTurn ? queueRss : loopRss;
            rss = std::max(rss, timed.maxRssKb);
            std::printf("run %d  %-10s %7.2f s, cpu %7.2f s, peak %.1f MB, load %s\n", run + 1,
                        queueTurn ? mine : "shell loop", timed.wall, timed.cpu,
                        static_cast<double>(timed.maxRssKb) / 1024, LoadAverage().c_str());
            std::fflush(stdout);
        }
    }
    const auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("\n%-10s best %7.2f s  median %7.2f s  peak %.1f MB (target < 400 MB)\n", mine,
                best(queueTimes), median(queueTimes), static_cast<double>(queueRss) / 1024);
    std::printf("shell loop best %7.2f s  median %7.2f s  peak %.1f MB (one ffmpeg at a time)\n",
                best(loopTimes), median(loopTimes), static_cast<double>(loopRss) / 1024);
    std::printf("ratio %s / shell loop: best %.3f, median %.3f (target <= 0.60); cpu time ratio %.3f\n", mine,
                best(queueTimes) / best(loopTimes), median(queueTimes) / median(loopTimes),
                median(queueCpu) / median(loopCpu));
    // On a busy machine the queue's many threads win a larger share of the processors than the loop's
    // few, which flatters the wall-time ratio; the processor time is the check on that.
    std::printf("processor use: queue %.2f cores, shell loop %.2f cores (median cpu / median wall)\n",
                median(queueCpu) / median(queueTimes), median(loopCpu) / median(loopTimes));
    fs::remove_all(work);
    return ApplyOnly();
}
