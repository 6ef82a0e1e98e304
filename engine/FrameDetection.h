#pragma once
// What one frame shows, read with the run's detection settings: motion under the sensitivity's
// rules inside the detection area, with changes of the whole scene's light ignored while the
// guard is on; or faces inside the area.

#include "engine/LightGuard.h"
#include "engine/MotionDetector.h"
#include "engine/SessionState.h"

#include <opencv2/core.hpp>

#include <string>

struct SurveillanceEnvironment;

class FrameDetection {
public:
    // Reads the sensitivity, the light guard and the detection area's file from state.
    FrameDetection(const SurveillanceEnvironment& env, const SessionState& state);

    // Loads the detection area; empty when it is ready (or none is set), else why the whole
    // picture is watched.
    std::string Prepare();
    // True when frame shows motion (or, in face mode, a face); display receives what the preview
    // shows: the motion overlay, or the frame with its faces boxed.
    bool Detect(bool faceMode, const cv::Mat& frame, cv::Mat& display);
    // The source came back after a gap: compare only frames after it.
    void Forget();

private:
    const SurveillanceEnvironment& env_;
    MotionRules rules_;   // rules_.area: the detection area at the frame's size, empty for all
    bool lightGuard_;
    std::string maskFile_;
    cv::Mat mask_;        // the detection area as drawn (255 watched, 0 not), any size; empty: all
    LightGuardState guard_;
};
