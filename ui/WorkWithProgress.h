#pragma once
// Work that runs on a thread of its own while the window's event loop goes on: a short piece of work
// shows nothing (or only the wait cursor), a longer one a progress window with Cancel. Cancel, Escape or
// closing the window raise the cancel flag, which the work looks at between its steps; the call returns
// once the work has ended.

#include <QString>

#include <atomic>
#include <functional>

class QWidget;

namespace k72 {

struct ProgressWindow {
    QWidget* owner = nullptr;
    QString objectName; // by which tests find the window
    QString label;
    int delayMs = 300; // how long the work runs before the window appears
    // Until the window appears, the program takes no input and shows the wait cursor; the window paints
    // and its timers run.
    bool waitCursor = false;
};

// What the window shows at a poll: the bar (0 … 1000) and, when not empty, a new label.
struct ProgressState {
    int permille = 0;
    QString label;
};

// Runs work on a worker thread and waits for it with the window; state (may be empty) is asked a few
// times a second while the work runs and has not been cancelled.
void RunWithProgress(const ProgressWindow& window, const std::function<void()>& work,
                     std::atomic<bool>& cancel, const std::function<ProgressState()>& state);

} // namespace k72
