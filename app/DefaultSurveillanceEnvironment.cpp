#include "app/DefaultSurveillanceEnvironment.h"

#include "engine/FaceDetector.h"
#include "engine/MotionDetector.h"
#include "engine/PictureNumbering.h"
#include "mail/EmailPic.h"
#include "ui/preview/PreviewWindow.h"

#include <chrono>

SurveillanceEnvironment DefaultSurveillanceEnvironment(const std::string& cameraSource)
{
    using Clock = std::chrono::steady_clock;
    SurveillanceEnvironment env;
    env.openSource = [cameraSource] { return OpenCaptureSource(cameraSource); };
    env.readCounter = [] { return static_cast<std::int64_t>(Clock::now().time_since_epoch().count()); };
    env.counterFrequency = Clock::period::den / Clock::period::num;
    env.detectMotion = [](const cv::Mat& frame, cv::Mat& overlay, int diffThreshold) {
        return DetectMotion(frame, overlay, diffThreshold);
    };
    env.detectFaces = [](cv::Mat& image) { return DetectFaces(image); };
    env.loadCascade = [] { return LoadFaceCascade("cascade1.xml"); };
    env.sendMail = EmailPic;
    // The preview's host is made here, on the GUI thread that starts the run.
    auto host = PreviewHost::Create();
    env.starterThreadParts = host;
    env.makePreview = [host] { return std::make_unique<PreviewWindow>(host); };
    env.writePicture = WritePicture;
    return env;
}
