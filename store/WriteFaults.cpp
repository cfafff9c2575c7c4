#include "store/WriteFaults.h"

#include "base/DiagnosticLog.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace k72::writefault {
namespace {

struct Plan {
    bool kill = false;
    long at = 0; // 0: nothing armed
};

std::atomic<long> passed{0};

Plan& ArmedPlan() {
    static Plan plan = [] {
        Plan fromEnvironment;
        const char* text = std::getenv("K72_TEST_WRITE_FAULT");
        if (text == nullptr) {
            return fromEnvironment;
        }
        const std::string_view value(text);
        const auto colon = value.find(':');
        if (colon == std::string_view::npos) {
            return fromEnvironment;
        }
        fromEnvironment.kill = value.substr(0, colon) == "kill";
        fromEnvironment.at = std::strtol(text + colon + 1, nullptr, 10);
        return fromEnvironment;
    }();
    return plan;
}

} // namespace

bool Pass(const char* what) {
    Plan& plan = ArmedPlan();
    const long n = ++passed;
    if (plan.at <= 0 || n != plan.at) {
        return true;
    }
    if (plan.kill) {
        ::kill(::getpid(), SIGKILL);
        ::pause();
    }
    LogLine("fault point", std::to_string(n) + " (" + what + "): injected I/O error");
    errno = EIO;
    return false;
}

void FailAt(int n) {
    Plan& plan = ArmedPlan();
    plan.kill = false;
    plan.at = n <= 0 ? 0 : passed.load() + n;
}

void KillAt(int n) {
    FailAt(n);
    ArmedPlan().kill = true;
}

} // namespace k72::writefault
