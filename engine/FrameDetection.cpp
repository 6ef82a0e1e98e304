#include "engine/FrameDetection.h"

#include "engine/SurveillanceEnvironment.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr double kWatchedAbove = 127.0;   // grey levels of the drawn area that mean "watched"

}  // namespace

FrameDetection::FrameDetection(const SurveillanceEnvironment& env, const SessionState& state)
    : env_(env), rules_(RulesForSensitivity(state.sensitivity)), lightGuard_(state.lightGuard),
      maskFile_(state.maskFile)
{
    // The first frames after a start or a gap have nothing real to be compared with.
    rules_.settle = true;
}

std::string FrameDetection::Prepare()
{
    mask_.release();
    rules_.area.release();
    if (maskFile_.empty())
        return {};
    cv::Mat drawn;
    try {
        drawn = cv::imread(maskFile_, cv::IMREAD_GRAYSCALE);
    } catch (const cv::Exception&) {
    }
    const std::string name = "detection area \"" + maskFile_ + "\" ";
    if (drawn.empty())
        return name + "could not be read: the whole picture is watched";
    // Watched or not, decided once; scaling with the nearest pixel keeps it two-valued.
    const cv::Mat watched = drawn > kWatchedAbove;
    // An area that watches nothing would keep the alarm silent for good.
    if (cv::countNonZero(watched) == 0)
        return name + "watches nothing: the whole picture is watched";
    mask_ = watched;
    return {};
}

bool FrameDetection::Detect(bool faceMode, const cv::Mat& frame, cv::Mat& display)
{
    if (!mask_.empty() && rules_.area.size() != frame.size())
        cv::resize(mask_, rules_.area, frame.size(), 0, 0, cv::INTER_NEAREST);
    const uchar* before = display.data;
    display.create(frame.size(), frame.type());
    if (!faceMode) {
        if (display.data != before)
            display.setTo(cv::Scalar::all(0));
        const bool motion = env_.detectMotion(frame, display, rules_);
        // The guard sees every frame, so that it compares with the same earlier frame as the
        // detector does.
        const bool lightChange = lightGuard_ && IsLightChange(guard_, frame, rules_);
        return motion && !lightChange;
    }
    frame.copyTo(display);   // frames arrive upright: no flip needed
    return env_.detectFaces(display, rules_.area);
}

void FrameDetection::Forget()
{
    if (env_.forgetHistory)
        env_.forgetHistory();
    ResetLightGuard(guard_);
}
