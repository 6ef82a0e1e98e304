#include "engine/FrameDetection.h"

#include "engine/SurveillanceThread.h"

FrameDetection::FrameDetection(const SurveillanceEnvironment& env, const SessionState&) : env_(env) {}

std::string FrameDetection::Prepare()
{
    return {};
}

bool FrameDetection::Detect(bool faceMode, const cv::Mat& frame, cv::Mat& display)
{
    const uchar* before = display.data;
    display.create(frame.size(), frame.type());
    if (!faceMode) {
        if (display.data != before)
            display.setTo(cv::Scalar::all(0));
        return env_.detectMotion(frame, display, rules_);
    }
    frame.copyTo(display);   // frames arrive upright: no flip needed
    return env_.detectFaces(display, area_);
}

void FrameDetection::Forget()
{
    if (env_.forgetHistory)
        env_.forgetHistory();
}
