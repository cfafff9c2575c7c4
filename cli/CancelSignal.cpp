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
}

bool CancelSignal::Raised() {
    return stopRequested.load();
}

void CancelSignal::Reset() {
    stopRequested.store(false);
}

} // namespace k72::cli
