#pragma once
// One camera picture taken off the GUI thread: opening a camera or a stream can take seconds (a
// stream gives up after 5 s). Each grab runs its job on a thread of its own; the picture comes
// back through a future, and a queued call wakes the GUI thread to hand it to those who asked.

#include <QImage>
#include <QObject>
#include <QPointer>

#include <functional>
#include <future>
#include <thread>
#include <vector>

class CFrameGrabber : public QObject {
    Q_OBJECT
public:
    // Runs on the grabber's thread: the picture, or a null image when there is none to be had.
    using Job = std::function<QImage()>;

    // prepare makes each grab's job, on the GUI thread; a null job means there is no camera.
    explicit CFrameGrabber(std::function<Job()> prepare, QObject* parent = nullptr);
    // Waits for a grab still going, which ends within the source's own time-outs.
    ~CFrameGrabber() override;

    // Hands the picture to done on the GUI thread once it is there, unless receiver has gone by
    // then. A grab already going serves this request too.
    void Grab(QObject* receiver, std::function<void(const QImage&)> done);

private:
    void Deliver();

    struct Request {
        QPointer<QObject> receiver;
        std::function<void(const QImage&)> done;
    };
    std::function<Job()> prepare_;
    std::vector<Request> requests_;
    std::future<QImage> frame_;
    std::thread thread_;
};
