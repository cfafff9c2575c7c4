#pragma once
// The exit statuses of k72-card, for scripts: success, a command that failed, a command line that does
// not say what to do.

namespace k72::cli {

enum ExitStatus : int {
    kExitSuccess = 0,
    kExitFailed = 1,
    kExitUsage = 2,
};

} // namespace k72::cli
