#include "cli/CancelSignal.h"

#include <atomic>
#include <csignal>
#include <signal.h>

namespace k72::cli {
namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnStopSignal(int) {
    stopRequested.store(true);
}

} // namespace

void CancelSignal::Install() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls are restarted: the work goes on until it reaches a place to stop.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed terminal stops the command as Ctrl-C does.
    sigaction(SIGHUP, &action, nullptr);
    // A file-size limit (ulimit -f) makes the write that passes it fail with EFBIG, which the
    // conversion reports and cleans up after, instead of killing the process halfway.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

bool CancelSignal::Raised() {
    return stopRequested.load();
}

void CancelSignal::Reset() {
    stopRequested.store(false);
}

} // namespace k72::cli
