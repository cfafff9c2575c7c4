#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal closed) ask the running command to stop. The handler only
// raises a flag; the command looks at it where stopping is safe (between pictures of a batch, at each tick of
// a movie conversion), cancels what runs, removes its temporary files and leaves the card as it was. Nothing
// is cut off halfway through writing the pad file.

namespace k72::cli {

class CancelSignal {
public:
    // Installs the handler for SIGINT, SIGTERM and SIGHUP, and ignores SIGXFSZ (a write past a file-size
    // limit then fails as a write error). Call once, before any thread starts, so that every
    // thread the conversions start inherits the same disposition.
    static void Install();
    // True once a stop was asked for.
    static bool Raised();
    // Forgets a stop request (tests of the command code in one process).
    static void Reset();
};

} // namespace k72::cli
