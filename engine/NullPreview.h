#pragma once
// A preview that shows nothing: a run without a window (sentivo --arm), or a benchmark.

#include "engine/PreviewSink.h"

#include <chrono>
#include <thread>

class NullPreview final : public PreviewSink {
public:
    // keepPace: WaitKey still waits its time, so the loop runs at the pace it has with a window;
    // without it the wait is left out (a benchmark counts work, not waits).
    explicit NullPreview(bool keepPace) : keepPace_(keepPace) {}

    void Open(const std::string&) override {}
    void Show(const cv::Mat&) override {}
    int WaitKey(int milliseconds) override
    {
        if (keepPace_)
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return -1;
    }
    void Close() override {}

private:
    const bool keepPace_;
};
