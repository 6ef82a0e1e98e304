#pragma once
// The detectors' memory between frames: the ring of grey frames and the motion-history images of
// the motion detector, the rectangle list both detectors fill, and the face cascade the loop
// loads at the start of every run. Each run's environment owns one (nothing is shared between runs
// or kept by the process). Everything is created on first need and then reused, so a steady
// stream of frames of one size allocates no images.
//
// Threads: used by the surveillance worker only, one call at a time; there is no lock.

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <array>
#include <chrono>
#include <memory>
#include <vector>

struct DetectorState {
    static constexpr int kRingSize = 4;

    DetectorState();

    // Grey frames, 8-bit one channel; the slot at ringIndex receives the next frame. After a call
    // the slot at ringIndex holds that call's silhouette (0 or 1 per pixel).
    std::array<cv::Mat, kRingSize> frameRing;
    int ringIndex = 0;
    // Frames put in the ring since it was last cleared, counted up to kRingSize: the first
    // kRingSize - 1 of them are compared with the black of the start.
    int framesSinceStart = 0;

    // Seconds of the last change per pixel, 0 for none: CV_32FC1, counted from timeBase, which
    // moves on now and then so that single precision keeps its resolution in a run of months.
    cv::Mat motionHistory;
    double timeBase = 0.0;
    cv::Mat motionMask;     // CV_8UC1: the history scaled to 0..255 for the preview
    cv::Mat segmentFence;   // CV_8UC1, one pixel larger all round: where a component may not grow
    cv::Mat seedMap;        // CV_8UC1: the pixels changed at the current call, seeds of components
    std::vector<cv::Point> seedPoints;   // where they are; grows to the busiest frame's need
    cv::Mat zeroPlane;      // CV_8UC1 of zeros: the overlay's green and red channels
    cv::Mat changedColumns; // CV_8UC1, one row: per column, whether this call changed a pixel there

    // Where the history may be non-zero: the bounding box of every silhouette still young enough
    // to be in the history, with its timestamp. Outside their union the history and the mask are
    // zero, so the per-frame work beyond the frame difference is confined to it.
    struct ChangedArea {
        float timestamp;
        cv::Rect box;
    };
    std::vector<ChangedArea> recentChanges;

    // Rectangles of the current call (motion components or faces); cleared at the start of every
    // detector call, never shrunk, so it stops allocating once it has grown. When the whole frame
    // already shows motion, components are not looked for and it stays empty.
    std::vector<cv::Rect> detectorStorage;

    // Set by the loop at the start of every run; null when "cascade1.xml" did not load.
    std::shared_ptr<cv::CascadeClassifier> faceCascade;

    // The detectors' wall clock: seconds with millisecond resolution, steadily increasing, never
    // below one second.
    double ClockSeconds() const;

private:
    std::chrono::steady_clock::time_point clockOrigin_;
};
