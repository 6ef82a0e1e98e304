#pragma once
// Motion detection by motion-history templates: each frame is compared with the frame three calls
// earlier, the changed pixels are folded into a one-second motion history, and the frame shows
// motion when at least 5 % of its pixels changed, or 5 % of the bounding box of a motion component
// at least 100 pixels across (width + height). MotionRules can ask for other limits and an area.

#include "engine/DetectorState.h"

#include <opencv2/core.hpp>

// How much change is motion. The defaults are the standard rules. area (8-bit, the frame's size,
// non-zero = watched) leaves the pixels outside it out of every count, as if they had not changed
// (the shares keep their denominators: the frame, the component's box); empty watches everything.
// settle: the first three frames after a fresh start (the first call, a change of frame size,
// ForgetMotionHistory) have no real frame to compare with; with settle they show no change at
// all, without it they are compared with black, as the standard rules do.
struct MotionRules {
    int diffThreshold = 30;
    double changedShare = 0.05;
    cv::Mat area;
    bool settle = false;
};

// The rules of a sensitivity level, 1 (least sensitive) to 5 (most); 3 is the standard rules, a
// level out of range counts as 3.
MotionRules RulesForSensitivity(int level);

// frame: 8-bit BGR camera frame, only read. overlay: 8-bit image of the frame's size with at least
// three channels; it is overwritten with the recent motion in blue on black. A pixel counts as
// changed when its grey level differs by more than rules.diffThreshold. timestampSeconds: at least
// 1.0 (a history value of 0 means "no change"), increasing from call to call (state.ClockSeconds()).
bool DetectMotionWith(DetectorState& state, const cv::Mat& frame, cv::Mat& overlay,
                      const MotionRules& rules, double timestampSeconds);

// A fresh start: clears the ring and the history, so the next frames are not compared with those
// before (the next three compare with black, as at the first frame, or show nothing with settle).
void ForgetMotionHistory(DetectorState& state);
