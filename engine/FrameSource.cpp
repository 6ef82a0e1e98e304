#include "engine/FrameSource.h"

#include <opencv2/videoio.hpp>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <thread>

namespace {

constexpr int kStreamTimeoutMs = 5000;   // opening a stream, or waiting for its next frame

bool AllDigits(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

class CaptureFrameSource final : public FrameSource {
public:
    CaptureFrameSource(std::unique_ptr<cv::VideoCapture> capture, double pacedFps, bool live)
        : capture_(std::move(capture)), live_(live)
    {
        if (pacedFps > 0.0)
            framePeriod_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / pacedFps));
    }

    void RequestFrameSize(int width, int height) override
    {
        // A camera that refuses keeps its size; either way the run goes on.
        capture_->set(cv::CAP_PROP_FRAME_WIDTH, width);
        capture_->set(cv::CAP_PROP_FRAME_HEIGHT, height);
    }

    bool Read(cv::Mat& frame) override
    {
        PaceLikeACamera();
        return capture_->grab() && capture_->retrieve(frame) && !frame.empty();
    }

    bool IsLive() const override { return live_; }

private:
    using Clock = std::chrono::steady_clock;

    // A file would otherwise be read as fast as it decodes; a camera delivers frame by frame in
    // real time, and the alarm delays are measured in real time.
    void PaceLikeACamera()
    {
        if (framePeriod_ == Clock::duration::zero())
            return;
        const Clock::time_point now = Clock::now();
        if (nextFrameAt_ == Clock::time_point{} || now > nextFrameAt_ + 4 * framePeriod_)
            nextFrameAt_ = now;  // first frame, or the reader fell far behind (a mail send): no burst
        std::this_thread::sleep_until(nextFrameAt_);
        nextFrameAt_ += framePeriod_;
    }

    std::unique_ptr<cv::VideoCapture> capture_;
    const bool live_;
    Clock::duration framePeriod_{Clock::duration::zero()};
    Clock::time_point nextFrameAt_{};
};

}  // namespace

std::unique_ptr<FrameSource> OpenCaptureSource(const std::string& source)
{
    auto capture = std::make_unique<cv::VideoCapture>();
    double pacedFps = 0.0;
    bool live = true;
    if (source.empty() || AllDigits(source)) {
        int index = 0;
        if (!source.empty() && std::from_chars(source.data(), source.data() + source.size(), index).ec != std::errc{})
            return nullptr;
        capture->open(index);
    } else {
        // FFmpeg reads files and RTSP/HTTP streams; asking it alone spares the probing of every
        // other back-end (GStreamer, image sequences, USB cameras) for a name none of them reads.
        // The time-outs are open-only settings, and FFmpeg's alone: other back-ends refuse them.
        capture->open(source, cv::CAP_FFMPEG, {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, kStreamTimeoutMs,
                                               cv::CAP_PROP_READ_TIMEOUT_MSEC, kStreamTimeoutMs});
        live = IsLiveSource(source);
        if (!live)
            pacedFps = capture->get(cv::CAP_PROP_FPS);
    }
    if (!capture->isOpened())
        return nullptr;
    return std::make_unique<CaptureFrameSource>(std::move(capture), pacedFps, live);
}

bool IsLiveSource(const std::string& source)
{
    if (source.empty() || AllDigits(source) || source.find("://") != std::string::npos)
        return true;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(source, error);
    return !error && std::filesystem::is_character_file(status);
}
