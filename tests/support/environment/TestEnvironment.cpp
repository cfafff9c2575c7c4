// Tests never touch the user's own settings or data. ctest hands every test program one variable,
// K72_TEST_HOME, a folder under the build folder (one entry, because the test discovery passes no more
// than one environment entry through intact); before main() runs, this makes it the home, settings,
// data, cache and runtime folder of the program and of every program it starts, and puts Qt on its
// offscreen platform. Started by hand without K72_TEST_HOME, a test program keeps its environment.
#include <cstdlib>
#include <string>

namespace {

struct TestEnvironment {
    TestEnvironment() {
        const char* home = std::getenv("K72_TEST_HOME");
        if (home == nullptr || *home == '\0') {
            return;
        }
        const std::string root = home;
        ::setenv("HOME", root.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
};

const TestEnvironment environment;

} // namespace
