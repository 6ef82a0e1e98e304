#include "app/DefaultSurveillanceEnvironment.h"

#include "app/RunOutlets.h"
#include "engine/FaceDetector.h"
#include "engine/FaceScanner.h"
#include "engine/MotionDetector.h"
#include "engine/NullPreview.h"
#include "engine/PictureFile.h"
#include "log/EventLog.h"
#include "settings/AppPaths.h"
#include "ui/preview/PreviewWindow.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

// Makes the pictures folder on first use.
std::string SavePictureInItsFolder(const std::string& path, const std::string& jpegBytes)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::create_directories(folder, error) && error)
        return "the folder " + folder.string() + " could not be made: " + error.message();
    return SavePicture(path, jpegBytes);
}

// The detectors of one run. Face mode looks only where a face can have appeared (FaceScanner), so
// it keeps up with a camera's own resolution; the scanner goes with the cascade it was made for.
struct RunDetectors {
    DetectorState state;
    std::unique_ptr<FaceScanner> faces;
};

}  // namespace

SurveillanceEnvironment DefaultSurveillanceEnvironment(const std::string& cameraSource, const RunOutlets& outlets,
                                                       bool withPreview)
{
    using Clock = std::chrono::steady_clock;
    SurveillanceEnvironment env;
    env.openSource = [cameraSource] { return OpenCaptureSource(cameraSource); };
    env.sourceIsLive = IsLiveSource(cameraSource);
    env.readCounter = [] { return static_cast<std::int64_t>(Clock::now().time_since_epoch().count()); };
    env.counterFrequency = Clock::period::den / Clock::period::num;
    // What the detectors remember belongs to this run: a fresh one each run, used by its thread only.
    auto detectors = std::make_shared<RunDetectors>();
    env.detectMotion = [detectors](const cv::Mat& frame, cv::Mat& overlay, const MotionRules& rules) {
        DetectorState& state = detectors->state;
        return DetectMotionWith(state, frame, overlay, rules, state.ClockSeconds());
    };
    env.detectFaces = [detectors](cv::Mat& image, const cv::Mat& area) {
        return detectors->faces && detectors->faces->Scan(image, area, detectors->state.ClockSeconds());
    };
    env.forgetHistory = [detectors] {
        ForgetMotionHistory(detectors->state);
        if (detectors->faces)
            detectors->faces->Forget();
    };
    // A cascade1.xml in the working folder comes first; else the one installed with the program.
    env.loadCascade = [detectors] {
        const char* local = "cascade1.xml";
        DetectorState& state = detectors->state;
        state.faceCascade = LoadFaceCascade(std::filesystem::exists(local) ? local : FindResource(local).string());
        detectors->faces = state.faceCascade ? std::make_unique<FaceScanner>(*state.faceCascade) : nullptr;
        return state.faceCascade != nullptr;
    };
    env.savePicture = SavePictureInItsFolder;
    env.logEvent = [log = outlets.log](const std::string& event) {
        if (log)
            log->Write(event);
    };
    env.record = RecorderFor(outlets);
    env.queuePicture = [outlets](const AlarmPicture& picture) { DispatchPicture(outlets, picture); };
    env.queueAlert = [outlets](const RunAlert& alert) { DispatchAlert(outlets, alert); };
    if (!withPreview) {
        env.makePreview = [] { return std::make_unique<NullPreview>(true); };
        return env;
    }
    // The preview's host is made here, on the GUI thread that starts the run.
    auto host = PreviewHost::Create();
    env.starterThreadParts = host;
    env.makePreview = [host] { return std::make_unique<PreviewWindow>(host); };
    return env;
}
