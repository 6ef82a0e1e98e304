#pragma once
// The last seconds of a run, a few frames a second, each kept as JPEG: what the story of an alarm is
// told from (its contact sheet and its clip). Memory stays under a bound: frames older than the
// time kept go first, and while an episode is held its frames stay, thinned out in the middle when
// the bound is reached, so both the intruder's entry and the latest frames survive a long episode.
//
// Threads: the run's thread only; the frames handed out are shared, immutable copies.

#include <opencv2/core.hpp>

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct StoryFrame {
    double seconds = 0.0;                              // the run's clock
    std::chrono::system_clock::time_point takenAt;     // the wall clock, for the frame's label
    std::shared_ptr<const std::string> jpeg;
};

class FrameRing {
public:
    // framesPerSecond: the sampling rate; keepSeconds: how far back frames are kept outside an
    // episode; maxBytes: the bound on the JPEG bytes held (32 MiB by default: at 640×480, about
    // 1000 frames, two minutes at 8 frames a second).
    explicit FrameRing(double framesPerSecond = 8.0, double keepSeconds = 12.0,
                       std::size_t maxBytes = 32u * 1024 * 1024);

    // Keeps frame (8-bit BGR) when at least one sampling interval has passed since the last kept
    // one; false when it was skipped or could not be encoded.
    bool Offer(const cv::Mat& frame, double seconds, std::chrono::system_clock::time_point takenAt);
    // Frames from seconds on are kept whatever their age until Release(); an episode's pre-roll
    // and entry must not age out while it lasts.
    void HoldFrom(double seconds);
    void Release();
    // The kept frames with from <= seconds <= to, oldest first.
    std::vector<StoryFrame> Between(double from, double to) const;
    // Forgets every frame (a camera gap: frames before it tell another story).
    void Clear();

    double framesPerSecond() const { return framesPerSecond_; }
    std::size_t bytes() const { return bytes_; }
    std::size_t size() const { return frames_.size(); }

private:
    void Trim(double now);

    const double framesPerSecond_;
    const double keepSeconds_;
    const std::size_t maxBytes_;
    std::deque<StoryFrame> frames_;
    std::size_t bytes_ = 0;
    std::optional<double> heldFrom_;
    std::optional<double> lastKept_;
    std::vector<uchar> buffer_;
};
