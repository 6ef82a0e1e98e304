#pragma once
// The preview as a Qt window on the GUI thread (the thread of the QApplication). The worker never
// waits for that thread: it leaves its requests (open, newest frame, close) in a mutex-guarded
// channel and wakes the GUI-side host with a queued call that carries no data, so every hand-over
// is one ThreadSanitizer can see. The newest frame wins; a key press reaches the worker through
// the channel. Without a QApplication the preview shows nothing and sees no keys.

#include "engine/PreviewSink.h"

#include <QObject>

#include <memory>

class PreviewHost;

class PreviewWindow final : public PreviewSink {
public:
    // Makes its own host: construct it on the GUI thread.
    PreviewWindow();
    // Uses a host made earlier on the GUI thread (null: no preview), so it may be constructed on
    // the worker's thread.
    explicit PreviewWindow(std::shared_ptr<PreviewHost> host);
    ~PreviewWindow() override;   // closes the window
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    void Open(const std::string& title) override;
    void Show(const cv::Mat& image) override;
    int WaitKey(int milliseconds) override;
    void Close() override;

    // What the worker and the window share; public so the window class can name it.
    struct Channel;

private:
    void Wake();

    std::shared_ptr<PreviewHost> host_;
    std::shared_ptr<Channel> channel_;
    bool open_ = false;
};

// The GUI thread's end of the channel: creates, feeds and deletes the window when woken.
class PreviewHost : public QObject {
    Q_OBJECT
public:
    // On the GUI thread of a QApplication: a host, to be released before the application goes.
    // Anywhere else: null.
    static std::shared_ptr<PreviewHost> Create();
    ~PreviewHost() override;

    std::shared_ptr<PreviewWindow::Channel> channel() const { return channel_; }
    Q_INVOKABLE void Pump();

private:
    PreviewHost();
    std::shared_ptr<PreviewWindow::Channel> channel_;
};
