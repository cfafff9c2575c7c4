// Times what the user waits for before a preview appears and what playback costs: a device preview of
// a 12-megapixel photo, of a 1080p H.264 movie's picture and of a 4K HEVC movie's picture (each source
// made with ffmpeg first), rendered several times at moments across the movie; and the processor time
// of playing a converted one-minute device movie in real time (pictures at its rate, sound read as a
// sound device takes it), as a share of one core.
//
// Usage: preview_bench [--runs N] [--keep FOLDER]
#include "engine/PadPlayback.h"
#include "engine/PreviewRenderer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool Make(const fs::path& output, const std::string& arguments) {
    if (fs::exists(output)) {
        return true;
    }
    const std::string line =
        "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " '" + output.string() + "'";
    std::printf("making %s\n", output.filename().c_str());
    std::fflush(stdout);
    return std::system(line.c_str()) == 0;
}

struct Figures {
    double median = 0;
    double worst = 0;
    double cpuMedian = 0; // processor time of the whole process (all its threads)
};

Figures Time(k72::PreviewRenderer& renderer, const fs::path& source, const std::vector<double>& moments,
             int runs) {
    std::vector<double> times;
    std::vector<double> cpu;
    k72::PreviewSettings settings; // automatic fit, highest quality, NTSC, deinterlaced
    for (int run = 0; run < runs; ++run) {
        for (double at : moments) {
            k72::RgbImage picture;
            const auto start = Clock::now();
            const double cpuStart = ProcessCpuSeconds();
            const k72::PreviewResult result = renderer.Render(source, settings, at, picture);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            cpu.push_back((ProcessCpuSeconds() - cpuStart) * 1000.0);
            if (k72::Failed(result.code) || picture.width != 640) {
                std::printf("  render of %s at %.2f failed: 0x%08X\n", source.filename().c_str(), at,
                            static_cast<unsigned>(result.code));
                return {};
            }
            times.push_back(ms);
        }
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    return {times[times.size() / 2], times.back(), cpu[cpu.size() / 2]};
}

void Playback(const fs::path& movie) {
    k72::PadPlayback playback;
    if (k72::Failed(playback.OpenMovie(movie))) {
        std::printf("  cannot open %s\n", movie.c_str());
        return;
    }
    // As the player does: a tick every 10 ms, the picture of the moment, sound as the device takes it.
    const double seconds = std::min(20.0, playback.Duration());
    std::vector<std::int16_t> sound(44100 / 50 * 2);
    k72::RgbImage picture;
    const double cpuStart = ProcessCpuSeconds();
    const auto start = Clock::now();
    double soundRead = 0;
    int pictures = 0;
    for (;;) {
        const double at = std::chrono::duration<double>(Clock::now() - start).count();
        if (at >= seconds) {
            break;
        }
        bool changed = false;
        playback.PictureAt(at, picture, &changed);
        pictures += changed ? 1 : 0;
        while (soundRead < at + 0.2) {
            soundRead += static_cast<double>(playback.ReadSound(sound.data(), sound.size() / 2)) / 44100.0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double cpu = ProcessCpuSeconds() - cpuStart;
    std::printf("playback of %.0f s at %.2f fps: %d pictures shown, processor %.2f s = %.1f %% of one core\n",
                seconds, playback.PictureRate(), pictures, cpu, 100.0 * cpu / seconds);
}

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    fs::path folder = fs::temp_directory_path() / "k72-preview-bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            folder = argv[i + 1];
        }
    }
    fs::create_directories(folder);
    const fs::path photo = folder / "photo-12mp.jpg";
    const fs::path photoPng = folder / "photo-12mp.png";
    const fs::path hd = folder / "movie-1080p.mp4";
    const fs::path uhd = folder / "movie-4k-hevc.mp4";
    const fs::path device = folder / "device.avi";
    if (!Make(photo, "-f lavfi -i testsrc2=size=4000x3000 -frames:v 1 -q:v 3") ||
        !Make(photoPng, "-f lavfi -i testsrc2=size=4000x3000 -frames:v 1") ||
        !Make(hd,
              "-f lavfi -i testsrc2=size=1920x1080:rate=30:duration=20 -pix_fmt yuv420p -c:v libx264 -g 60 "
              "-preset veryfast") ||
        !Make(uhd,
              "-f lavfi -i testsrc2=size=3840x2160:rate=30:duration=6 -pix_fmt yuv420p -c:v libx265 -g 30 "
              "-preset ultrafast -tag:v hvc1") ||
        !Make(device,
              "-f lavfi -i testsrc2=size=640x480:rate=30000/1001:duration=60 -f lavfi "
              "-i sine=frequency=440:sample_rate=44100:duration=60 -c:v mjpeg -pix_fmt yuvj422p -q:v 2 "
              "-c:a pcm_s16le -ac 2 -f avi")) {
        std::printf("cannot make the sources\n");
        return 1;
    }
    k72::PreviewRenderer renderer;
    // Moments spread over the movie, so that some fall right before a key picture (the longest way).
    const std::vector<double> hdMoments = {0.5, 5.9, 10.0, 13.97, 18.2};
    const std::vector<double> uhdMoments = {0.5, 1.95, 3.2, 4.97};
    const Figures jpeg = Time(renderer, photo, {0}, runs);
    const Figures png = Time(renderer, photoPng, {0}, runs);
    const Figures movie = Time(renderer, hd, hdMoments, runs);
    const Figures hevc = Time(renderer, uhd, uhdMoments, runs);
    std::printf(
        "preview, wall median / worst (processor median) of %d: 12 MP JPEG %.0f / %.0f (%.0f) ms, 12 MP PNG "
        "%.0f / %.0f (%.0f) ms, 1080p H.264 picture %.0f / %.0f (%.0f) ms, 4K HEVC picture %.0f / %.0f "
        "(%.0f) ms\n",
        runs, jpeg.median, jpeg.worst, jpeg.cpuMedian, png.median, png.worst, png.cpuMedian, movie.median,
        movie.worst, movie.cpuMedian, hevc.median, hevc.worst, hevc.cpuMedian);
    Playback(device);
    return 0;
}
