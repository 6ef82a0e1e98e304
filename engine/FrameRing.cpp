#include "engine/FrameRing.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>

namespace {

// A story frame is looked at, not measured: a lighter JPEG keeps more of them in the bound.
const std::vector<int> kJpegQuality = {cv::IMWRITE_JPEG_QUALITY, 80};

}  // namespace

FrameRing::FrameRing(double framesPerSecond, double keepSeconds, std::size_t maxBytes)
    : framesPerSecond_(framesPerSecond), keepSeconds_(keepSeconds), maxBytes_(maxBytes)
{
}

bool FrameRing::Offer(const cv::Mat& frame, double seconds, std::chrono::system_clock::time_point takenAt)
{
    // A little slack, so a camera at exactly the sampling rate is not halved by jitter.
    if (lastKept_ && seconds - *lastKept_ < 0.9 / framesPerSecond_)
        return false;
    if (frame.empty() || !cv::imencode(".jpg", frame, buffer_, kJpegQuality))
        return false;
    auto jpeg = std::make_shared<const std::string>(buffer_.begin(), buffer_.end());
    bytes_ += jpeg->size();
    frames_.push_back({seconds, takenAt, std::move(jpeg)});
    lastKept_ = seconds;
    Trim(seconds);
    return true;
}

void FrameRing::HoldFrom(double seconds)
{
    heldFrom_ = seconds;
}

void FrameRing::Release()
{
    heldFrom_.reset();
}

void FrameRing::Clear()
{
    frames_.clear();
    bytes_ = 0;
    lastKept_.reset();
}

std::vector<StoryFrame> FrameRing::Between(double from, double to) const
{
    std::vector<StoryFrame> frames;
    for (const StoryFrame& frame : frames_)
        if (frame.seconds >= from && frame.seconds <= to)
            frames.push_back(frame);
    return frames;
}

void FrameRing::Trim(double now)
{
    const auto drop = [this](std::deque<StoryFrame>::iterator at) {
        bytes_ -= at->jpeg->size();
        frames_.erase(at);
    };
    while (!frames_.empty() && frames_.front().seconds < now - keepSeconds_
           && (!heldFrom_ || frames_.front().seconds < *heldFrom_))
        drop(frames_.begin());
    while (bytes_ > maxBytes_ && frames_.size() > 2) {
        const auto held = heldFrom_ ? std::find_if(frames_.begin(), frames_.end(),
                                                   [this](const StoryFrame& f) { return f.seconds >= *heldFrom_; })
                                    : frames_.end();
        // Unheld frames go oldest first; held ones from the middle, which tells the least.
        if (held == frames_.end() || held != frames_.begin())
            drop(frames_.begin());
        else
            drop(frames_.begin() + static_cast<std::ptrdiff_t>(frames_.size() / 2));
    }
}
