#pragma once
// Where a surveillance run shows what its detector sees, and where a key press ends the run.

#include <opencv2/core.hpp>

#include <string>

class PreviewSink {
public:
    virtual ~PreviewSink() = default;

    virtual void Open(const std::string& title) = 0;
    // Hands the image over without waiting for it to be painted; the image may change right after.
    virtual void Show(const cv::Mat& image) = 0;
    // Waits up to milliseconds for a key pressed in the preview: its code (>= 0), or -1.
    virtual int WaitKey(int milliseconds) = 0;
    virtual void Close() = 0;
};
