#pragma once
// What the benchmarks share: a child process timed by the wall clock and by the processor time of it
// and its descendants (less disturbed by a busy machine), with its peak resident memory, and the
// generated clips they convert.

#include <chrono>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

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

// Runs the program (found on PATH) with the arguments and waits for it.
inline ChildRun Spawn(const std::vector<std::string>& arguments) {
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
