#pragma once
// What the benchmarks share: a child process timed by the wall clock and by the processor time of it
// and its descendants (less disturbed by a busy machine), with its peak resident memory, and the
// generated clips they convert.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace k72bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// User and system time together.
inline double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct ChildRun {
    int status = -1; // the exit status; -1 when it could not be started or did not exit
    double wall = 0;
    double cpu = 0;    // all threads of the child and the descendants it waited for
    long maxRssKb = 0; // the largest of the child and those descendants: for a shell loop, one ffmpeg
};

// The resident size of this process now, in KiB.
inline long ResidentKb() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The high-water mark of a process's resident memory (VmHWM), in KiB; 0 when it cannot be read.
inline long PeakResidentKb(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    long peak = 0;
    if (FILE* status = std::fopen(path.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::strncmp(line, "VmHWM:", 6) == 0) {
                peak = std::atol(line + 6);
            }
        }
        std::fclose(status);
    }
    return peak;
}

// Runs the program (found on PATH) with the arguments and waits for it.
// The child's peak memory: a child's ru_maxrss starts at the resident size of the memory it was
// cloned with, which for posix_spawn (a vfork) is this whole program at its own peak. So the child is
// forked (it starts from what this program holds now) and traced only to be stopped as it exits, when
// its memory still exists and its own high-water mark can be read; the figure of descendants (a shell
// loop's programs) is taken from ru_maxrss where it rises above what the fork started from.
inline ChildRun Spawn(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ChildRun run;
    const long startKb = ResidentKb();
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        return run;
    }
    if (pid == 0) {
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    rusage usage{};
    int status = 0;
    long ownPeakKb = 0;
    bool optionsSet = false;
    for (;;) {
        if (wait4(pid, &status, 0, &usage) < 0) {
            return run;
        }
        if (!WIFSTOPPED(status)) {
            break;
        }
        int signal = WSTOPSIG(status);
        if (signal == SIGTRAP) {
            const int event = status >> 16;
            if (event == PTRACE_EVENT_EXIT) {
                ownPeakKb = PeakResidentKb(pid);
            }
            signal = 0; // the stop at exec, at an exec with the options set, or at the exit
            if (!optionsSet) {
                optionsSet = true;
                ptrace(PTRACE_SETOPTIONS, pid, nullptr,
                       PTRACE_O_TRACEEXIT | PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL);
            }
        }
        ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<std::intptr_t>(signal)));
    }
    run.wall = Seconds(Clock::now() - start);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpu = CpuSeconds(usage);
    // Above what the fork started from (and a margin for what changed meanwhile), ru_maxrss is a true
    // figure of the child or a descendant.
    constexpr long kMarginKb = 1024;
    run.maxRssKb = usage.ru_maxrss > startKb + kMarginKb ? std::max(usage.ru_maxrss, ownPeakKb) : ownPeakKb;
    return run;
}

// A clip of ffmpeg's testsrc2 pictures (`pictures`: "size=WxH:rate=R") with a 440 Hz tone, the picture
// filters `filters` (grain, so that the pictures are not trivially simple), encoded with the video
// arguments `video` and AAC sound. True when ffmpeg made it.
inline bool MakeTestClip(const std::filesystem::path& clip, int seconds, const std::string& pictures,
                         const std::string& filters, const std::vector<std::string>& video) {
    const std::string length = std::to_string(seconds);
    std::vector<std::string> arguments = {"ffmpeg",
                                          "-v",
                                          "error",
                                          "-nostdin",
                                          "-y",
                                          "-f",
                                          "lavfi",
                                          "-i",
                                          "testsrc2=" + pictures + ":duration=" + length,
                                          "-f",
                                          "lavfi",
                                          "-i",
                                          "sine=frequency=440:sample_rate=48000:duration=" + length,
                                          "-vf",
                                          filters};
    arguments.insert(arguments.end(), video.begin(), video.end());
    arguments.insert(arguments.end(), {"-c:a", "aac", "-b:a", "128k", clip.string()});
    return Spawn(arguments).status == 0;
}

// The synthetic benchmark clip: 1920x1080 H.264/AAC of testsrc2 with a little grain, at a camera-like
// bit rate.
inline bool MakeSyntheticClip(const std::filesystem::path& clip, int seconds) {
    return MakeTestClip(clip, seconds, "size=1920x1080:rate=30", "noise=alls=3:allf=t",
                        {"-c:v", "libx264", "-preset", "veryfast", "-b:v", "16M", "-maxrate", "20M",
                         "-bufsize", "20M", "-pix_fmt", "yuv420p"});
}

} // namespace k72bench
