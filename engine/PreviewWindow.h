#pragma once
// The preview as a Qt window on the GUI thread (the thread of the QApplication). The worker never
// waits for that thread: the window is created and destroyed by queued calls, frames go through a
// mutex-guarded slot in which the newest frame wins, and a key press reaches the worker through an
// atomic. Without a QApplication the preview shows nothing and sees no keys.

#include "engine/PreviewSink.h"

#include <memory>

class PreviewWindow final : public PreviewSink {
public:
    PreviewWindow();
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
    std::shared_ptr<Channel> channel_;
    bool open_ = false;
};
