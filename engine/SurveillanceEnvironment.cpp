#include "engine/DetectorState.h"
#include "engine/FaceDetector.h"
#include "engine/MotionDetector.h"
#include "engine/PreviewWindow.h"
#include "engine/SurveillanceThread.h"
#include "engine/SurveillanceWorker.h"
#include "mail/EmailPic.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/objdetect.hpp>

#include <chrono>

namespace {

constexpr const char* kCascadeFile = "cascade1.xml";

// Loaded afresh at every run, so a cascade put in place between runs is used.
bool LoadFaceCascade()
{
    auto cascade = std::make_shared<cv::CascadeClassifier>();
    try {
        if (!cascade->load(kCascadeFile) || cascade->empty())
            cascade.reset();
    } catch (const cv::Exception&) {
        cascade.reset();   // a file that is not a cascade is a missing cascade
    }
    detectorState().faceCascade = cascade;
    return cascade != nullptr;
}

void WritePicture(const std::string& fileName, const cv::Mat& image)
{
    try {
        cv::imwrite(fileName, image);
    } catch (const cv::Exception&) {
        // A picture that cannot be saved is not reported; the mail is still tried.
    }
}

}  // namespace

SurveillanceEnvironment DefaultSurveillanceEnvironment(const SurveillanceOptions& options)
{
    using Clock = std::chrono::steady_clock;
    SurveillanceEnvironment env;
    env.openSource = [source = options.cameraSource] { return OpenCaptureSource(source); };
    env.readCounter = [] { return static_cast<std::int64_t>(Clock::now().time_since_epoch().count()); };
    env.counterFrequency = Clock::period::den / Clock::period::num;
    env.detectMotion = [](const cv::Mat& frame, cv::Mat& overlay, int diffThreshold) {
        return DetectMotion(frame, overlay, diffThreshold);
    };
    env.detectFaces = [](cv::Mat& image) { return DetectFaces(image); };
    env.loadCascade = LoadFaceCascade;
    env.sendMail = EmailPic;
    // The preview's host is made here, on the GUI thread that starts the run.
    env.previewHost = PreviewHost::Create();
    env.makePreview = [host = env.previewHost] { return std::make_unique<PreviewWindow>(host); };
    env.writePicture = WritePicture;
    return env;
}
