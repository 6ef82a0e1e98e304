#pragma once
// Tells a change of the whole scene's light (a lamp switched on or off, daylight, flicker, a camera
// hunting for its exposure) from a change of the things in it. Each frame's grey levels on a coarse
// grid (every 8th pixel) are compared with those of three calls earlier, the lag the motion
// detector compares with. Light moves every pixel along one rising curve of grey levels (a gain,
// an offset, the camera's response, clipping at either end); the curve that carries the earlier
// levels onto the new ones is read off the two frames' distributions of levels. When it moves the
// picture by more than a few grey levels and leaves fewer changed pixels than the motion rules'
// share, the change is the light's. Someone moving while the light changes leaves more pixels
// off the curve, so that is not one.
//
// Threads: one state per run, used by the run's thread only.

#include "engine/MotionDetector.h"

#include <opencv2/core.hpp>

#include <array>

struct LightGuardState {
    static constexpr int kRingSize = DetectorState::kRingSize;
    // Grey levels on the grid (8-bit, one per grid point) of the last kRingSize frames; the slot at
    // ringIndex receives the next frame.
    std::array<cv::Mat, kRingSize> samples;
    int ringIndex = 0;
    int framesSinceStart = 0;   // a frame of three calls ago exists from the fourth on
};

// frameBgr: 8-bit BGR. Only pixels in rules.area (empty: all) are looked at; a pixel counts as
// changed as rules.diffThreshold says. False for the first three frames after a start, a reset or
// a change of frame size.
bool IsLightChange(LightGuardState& state, const cv::Mat& frameBgr, const MotionRules& rules);

// Forgets the frames seen, as at the start.
void ResetLightGuard(LightGuardState& state);
