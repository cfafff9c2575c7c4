// k72-card with real conversions: movie imports with the stored and the given settings, the probes,
// the commands without a card, and Ctrl-C during a movie import.
#include "tests/e2e/CardToolSupport.h"

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace k72test {
namespace {

// A short movie with sound, as a camera or phone would give it.
std::filesystem::path MakeMovie(const TempDir& dir, const std::string& name, int seconds = 1,
                                const std::string& size = "160x120") {
    const auto path = dir / name;
    MakeMedia(path, "-f lavfi -i testsrc2=size=" + size + ":rate=30:duration=" + std::to_string(seconds) +
                        " -f lavfi -i sine=frequency=440:duration=" + std::to_string(seconds) +
                        " -c:v mpeg4 -q:v 10 -c:a aac -shortest");
    return path;
}

// Movies are converted with the stored preferences unless the command line says otherwise; the pad
// records the frame count the probe finds in the movie on the card.
TEST_F(CardToolTest, MovieImportUsesStoredPreferencesUnlessGiven) {
    const auto movie = MakeMovie(dir, "clip.MP4");
    StorePreferences(1, 2, 0); // PAL
    CardRun run = Run("import " + Root() + " A-1-1 " + Quote(movie));
    ASSERT_EQ(run.status, 0) << run.err;
    run = Run("import " + Root() + " A-1-2 " + Quote(movie) + " --fps NTSC --quality 4 --deinterlace on");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(TempIsEmpty());

    const QJsonObject pads = Pads();
    const QJsonObject pal = pads["A-1-1"].toObject();
    const QJsonObject ntsc = pads["A-1-2"].toObject();
    EXPECT_EQ(pal["kind"].toString(), "movie");
    EXPECT_EQ(pal["file"].toString(), "K72_0001.AVI");
    EXPECT_EQ(ntsc["file"].toString(), "K72_0002.AVI");
    EXPECT_TRUE(pal["audio"].isNull());

    run = Run("probe " + Quote(card.folder / "K72_0001.AVI") + " --json");
    ASSERT_EQ(run.status, 0) << run.err;
    QJsonObject probe = Json(run);
    EXPECT_EQ(probe["kind"].toString(), "avi");
    EXPECT_DOUBLE_EQ(probe["fps"].toDouble(), 25.0);
    EXPECT_EQ(probe["frames"].toInt(), pal["frameCount"].toInt());
    EXPECT_NEAR(probe["frames"].toInt(), 25, 1);

    probe = Json(Run("probe " + Quote(card.folder / "K72_0002.AVI") + " --json"));
    EXPECT_NEAR(probe["fps"].toDouble(), 29.97, 0.01);
    EXPECT_EQ(probe["frames"].toInt(), ntsc["frameCount"].toInt());
    EXPECT_NEAR(probe["frames"].toInt(), 30, 1);

    run = Run("probe " + Quote(card.folder / "K72_0001.AVI"));
    EXPECT_NE(run.out.find("running time 00min 01sec 00 (25 fps)"), std::string::npos) << run.out;
}

// The progress bar is drawn on a terminal only: logs and pipes get no carriage returns.
TEST_F(CardToolTest, ProgressBarOnlyOnATerminal) {
    const auto movie = MakeMovie(dir, "clip.avi");
    CardRun run = Run("import " + Root() + " A-1-1 " + Quote(movie));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
    EXPECT_EQ(run.err.find('%'), std::string::npos);

    if (!HaveProgram("script")) {
        GTEST_SKIP() << "script is missing";
    }
    const std::string command = Quote(CardTool()) + " import " + Root() + " A-1-2 " + Quote(movie);
    const CommandResult terminal = RunCommand("TMPDIR=" + Quote(temp) + " XDG_CONFIG_HOME=" + Quote(config) +
                                              " script -qec " + Quote(command) + " /dev/null");
    ASSERT_EQ(terminal.exitCode, 0) << terminal.output;
    EXPECT_NE(terminal.output.find("\rstartup...        [                              ]   0%"),
              std::string::npos)
        << terminal.output;
    EXPECT_NE(terminal.output.find("\rdone              [##############################] 100%"),
              std::string::npos)
        << terminal.output;
    EXPECT_NE(terminal.output.find("A-1-2  movie  K72_0002.AVI"), std::string::npos) << terminal.output;
}

TEST_F(CardToolTest, ProbeTellsAcceptedSoundsAndRefusedOnes) {
    if (!HaveProgram("sox")) {
        GTEST_SKIP() << "sox is missing";
    }
    const auto good = dir / "good.wav";
    const auto mono = dir / "mono.wav";
    const auto high = dir / "high.wav";
    ASSERT_EQ(RunCommand("sox -n -r 44100 -c 2 -b 16 " + Quote(good) + " synth 0.1 sine 440").exitCode, 0);
    ASSERT_EQ(RunCommand("sox -n -r 44100 -c 1 -b 16 " + Quote(mono) + " synth 0.1 sine 440").exitCode, 0);
    ASSERT_EQ(MakeMedia(high, "-f lavfi -i sine=duration=0.1:sample_rate=48000 -ac 2 -c:a pcm_s16le"), true);

    CardRun run = Run("probe " + Quote(good) + " --json");
    EXPECT_EQ(run.status, 0) << run.err;
    QJsonObject json = Json(run);
    EXPECT_EQ(json["kind"].toString(), "wav");
    EXPECT_TRUE(json["ok"].toBool());
    EXPECT_EQ(json["code"].toString(), "0x00000000");

    run = Run("probe " + Quote(mono) + " --json");
    EXPECT_EQ(run.status, 1);
    json = Json(run);
    EXPECT_FALSE(json["ok"].toBool(true));
    EXPECT_EQ(json["code"].toString(), "0x80000304");

    run = Run("probe " + Quote(high));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("not 44100 Hz (0x80000305)"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Invalid PCM File :80000305"), std::string::npos) << run.err;

    // A file that is neither, and an AVI whose header is cut short.
    WriteFileBytes(dir / "notes.txt", {'h', 'i'});
    EXPECT_EQ(Run("probe " + Quote(dir / "notes.txt")).status, 1);
    WriteFileBytes(dir / "short.avi", std::vector<std::uint8_t>(495, 0));
    run = Run("probe " + Quote(dir / "short.avi") + " --json");
    EXPECT_EQ(run.status, 1);
    json = Json(run);
    EXPECT_FALSE(json["ok"].toBool(true));
    EXPECT_EQ(json["code"].toString(), "0x80000181");
    EXPECT_NE(run.err.find("Getting Num of Total Frame Failed :80000181"), std::string::npos) << run.err;
}

TEST_F(CardToolTest, SingleFilesAreConvertedWithoutACard) {
    const auto pictures = MakePictures(1);
    const auto movie = MakeMovie(dir, "clip.mov");
    const auto out = dir / "out";
    std::filesystem::create_directories(out);

    CardRun run = Run("convert-picture " + pictures[0] + " " + Quote(out / "still.jpg") + " --quality 3");
    ASSERT_EQ(run.status, 0) << run.err;
    const CommandResult size =
        RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=width,height "
                   "-of csv=p=0 " +
                   Quote(out / "still.jpg"));
    EXPECT_EQ(size.output, "640,480\n");

    // An existing destination stays as it is without --overwrite.
    WriteFileBytes(out / "taken.jpg", {'o', 'l', 'd'});
    run = Run("convert-picture " + pictures[0] + " " + Quote(out / "taken.jpg"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("taken.jpg exists already"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileText(out / "taken.jpg"), "old");
    EXPECT_EQ(Run("convert-picture " + pictures[0] + " " + Quote(out / "taken.jpg") + " --overwrite").status,
              0);
    const auto replaced = ReadFileBytes(out / "taken.jpg");
    ASSERT_GT(replaced.size(), 2u);
    EXPECT_EQ(replaced[0], 0xFF);
    EXPECT_EQ(replaced[1], 0xD8);

    // A folder as destination takes the source's name.
    run = Run("convert-movie " + Quote(movie) + " " + Quote(out) + " --fps pal");
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonObject probe = Json(Run("probe " + Quote(out / "clip.AVI") + " --json"));
    EXPECT_DOUBLE_EQ(probe["fps"].toDouble(), 25.0);
    EXPECT_NEAR(probe["frames"].toInt(), 25, 1);

    WriteFileBytes(dir / "fake.mp4", std::vector<std::uint8_t>(100, 1));
    run = Run("convert-movie " + Quote(dir / "fake.mp4") + " " + Quote(out / "fake.avi"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Failed to load the file."), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out / "fake.avi"));
    EXPECT_TRUE(TempIsEmpty());
}

// Ctrl-C while a movie is converted: the conversion stops, its temporary files go, the card is as it was
// and the status is 1. Meanwhile the card is locked against other openers.
TEST_F(CardToolTest, CtrlCDuringAMovieImportLeavesTheCardUnchanged) {
    const auto movie = MakeMovie(dir, "long.mp4", 20, "640x480");
    const auto before = card.PadBytes();

    const std::string tmpVariable = "TMPDIR=" + temp.string();
    const std::string configVariable = "XDG_CONFIG_HOME=" + config.string();
    std::vector<std::string> environment = {tmpVariable, configVariable};
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        if (text.rfind("TMPDIR=", 0) != 0 && text.rfind("XDG_CONFIG_HOME=", 0) != 0) {
            environment.push_back(text);
        }
    }
    std::vector<char*> envp;
    for (auto& text : environment) {
        envp.push_back(text.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> arguments = {CardTool().string(), "import", card.root.string(), "A-1-1",
                                          movie.string()};
    std::vector<char*> argv;
    for (auto& text : arguments) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    pid_t child = -1;
    ASSERT_EQ(::posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), envp.data()), 0);
    // The conversion has begun once its temporary folder is there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (TempIsEmpty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(TempIsEmpty());
    // While the import runs, the card is kept from every other writer; looking at it is fine.
    const CardRun other = Run("delete " + Root() + " A-1-1");
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("in use by another program"), std::string::npos) << other.err;
    EXPECT_EQ(Run("show " + Root()).status, 0);
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);

    EXPECT_EQ(card.PadBytes(), before);
    EXPECT_EQ(CardFiles(), std::vector<std::string>{"K72_PAD.SYS"});
    EXPECT_TRUE(TempIsEmpty());
}

} // namespace
} // namespace k72test
