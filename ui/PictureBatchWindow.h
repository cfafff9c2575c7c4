#pragma once
// The progress window of several pictures converted for a pad at once, with Cancel. One picture, or a
// movie, gets none: its conversion is short, or has a progress window of its own.

#include "engine/StillBatch.h"

#include <memory>

class QWidget;

namespace k72 {

class ProgressDialog;

class PictureBatchWindow {
public:
    // pictures: how many are converted; below 2 no window is shown.
    PictureBatchWindow(QWidget* owner, int pad, int pictures);
    ~PictureBatchWindow();

    // What the store's batch reports to: the window's bar and label, and its Cancel. Empty without a
    // window.
    StillBatchProgress Progress();
    void Close();

    // The window's object name, by which tests find it.
    static constexpr const char* kObjectName = "pictureBatch";

private:
    std::unique_ptr<ProgressDialog> dialog_; // over the window it belongs to

    int pad_;
};

} // namespace k72
