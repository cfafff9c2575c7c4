#pragma once
// Renders previews on a thread of its own, so that the window stays responsive while a movie is
// sought and converted for one picture. The newest request wins: one asked for while another renders
// stops that one, and requests that were overtaken before they started are skipped.

#include "engine/PreviewRenderer.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <filesystem>
#include <memory>

namespace k72 {

struct PreviewRequest {
    int id = 0;
    std::filesystem::path source;
    PreviewSettings settings;
    double atSeconds = 0;
};

struct PreviewAnswer {
    int id = 0;
    QImage picture; // null when nothing could be rendered
    PreviewResult result;
    double milliseconds = 0; // how long the render took
};

class PreviewWorker : public QObject {
    Q_OBJECT
public:
    PreviewWorker();
    ~PreviewWorker() override; // stops the render in progress and waits for the thread

    // From the window's thread; the answer arrives through Rendered, on the window's thread.
    void Request(const PreviewRequest& request);

signals:
    void Rendered(const k72::PreviewAnswer& answer);

private:
    void Render(const PreviewRequest& request); // on the worker thread

    QThread thread_;
    QObject* inThread_ = nullptr; // lives on thread_: the queued calls run there
    std::unique_ptr<PreviewRenderer> renderer_;
    std::atomic<int> newest_{0};
};

} // namespace k72

Q_DECLARE_METATYPE(k72::PreviewAnswer)
