#include "ui/PreviewWorker.h"

#include "ui/PicturePane.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace k72 {

PreviewWorker::PreviewWorker() : renderer_(std::make_unique<PreviewRenderer>()) {
    qRegisterMetaType<k72::PreviewAnswer>();
    inThread_ = new QObject;
    inThread_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, inThread_, &QObject::deleteLater);
    thread_.setObjectName(QStringLiteral("preview"));
    thread_.start();
}

PreviewWorker::~PreviewWorker() {
    newest_.store(-1);
    renderer_->RequestStop();
    thread_.quit();
    thread_.wait();
}

void PreviewWorker::Request(const PreviewRequest& request) {
    newest_.store(request.id);
    renderer_->RequestStop(); // an older render in progress is of no use any more
    QMetaObject::invokeMethod(
        inThread_, [this, request] { Render(request); }, Qt::QueuedConnection);
}

void PreviewWorker::Render(const PreviewRequest& request) {
    if (request.id != newest_.load()) {
        return; // overtaken before it started
    }
    QElapsedTimer clock;
    clock.start();
    PreviewAnswer answer;
    answer.id = request.id;
    RgbImage picture;
    answer.result = renderer_->Render(request.source, request.settings, request.atSeconds, picture);
    answer.milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (request.id != newest_.load()) {
        return;
    }
    if (!Failed(answer.result.code)) {
        answer.picture = PicturePane::ToImage(picture);
    }
    emit Rendered(answer);
}

} // namespace k72
