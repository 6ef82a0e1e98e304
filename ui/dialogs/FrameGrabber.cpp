#include "ui/dialogs/FrameGrabber.h"

CFrameGrabber::CFrameGrabber(std::function<Job()> prepare, QObject* parent)
    : QObject(parent), prepare_(std::move(prepare))
{
}

CFrameGrabber::~CFrameGrabber()
{
    if (thread_.joinable())
        thread_.join();
}

void CFrameGrabber::Grab(QObject* receiver, std::function<void(const QImage&)> done)
{
    requests_.push_back({receiver, std::move(done)});
    if (thread_.joinable())
        return;
    std::promise<QImage> promise;
    frame_ = promise.get_future();
    thread_ = std::thread([this, job = prepare_ ? prepare_() : Job(), promise = std::move(promise)]() mutable {
        QImage frame;
        try {
            if (job)
                frame = job();
        } catch (...) {
            // A source that throws (OpenCV may) gives no picture, as one that fails does.
        }
        promise.set_value(std::move(frame));
        // The grabber waits for this thread before it goes, so it is still there to be woken.
        QMetaObject::invokeMethod(this, &CFrameGrabber::Deliver, Qt::QueuedConnection);
    });
}

void CFrameGrabber::Deliver()
{
    if (!frame_.valid())
        return;
    const QImage frame = frame_.get();
    thread_.join();   // its last act was to queue this call
    const std::vector<Request> requests = std::move(requests_);
    requests_.clear();
    for (const Request& request : requests)
        if (request.receiver)
            request.done(frame);
}
