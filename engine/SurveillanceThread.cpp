#include "engine/SurveillanceThread.h"

#include "engine/FrameDetection.h"
#include "engine/Milliseconds.h"
#include "engine/PictureNumbering.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>

namespace {

constexpr float kFaceAlarmThreshold = 0.3f;
constexpr int kFaceModeMailLimit = 25;   // pictures since the program started
constexpr int kKeyWaitMilliseconds = 10;
constexpr const char* kPreviewTitle = "Sentivo";
constexpr const char* kNoCameraMessage = "Could not find camera! Please plug a camera in and try again.";

class SurveillanceRun {
public:
    SurveillanceRun(SessionState& state, const SurveillanceEnvironment& env)
        : state_(state), env_(env), detection_(env, state)
    {
    }

    void Run()
    {
        if (!Start()) {
            env_.logEvent("run ended: no camera");
            return;
        }
        const char* end = "stopped";
        if (state_.isRunning.load(std::memory_order_relaxed))
            while (!(end = Pass())) {
            }
        CleanUp();
        env_.logEvent(std::string("run ended: ") + end);
    }

private:
    // The run's settings, the cascade, the camera and the window; false when there is no camera.
    bool Start()
    {
        emailSwitch_ = state_.sendEmails.load(std::memory_order_relaxed);
        faceMode_ = state_.faceDetectMode.load(std::memory_order_relaxed);
        const float delayBeforeAlarm = state_.delayBeforeAlarm.load(std::memory_order_relaxed);
        if (env_.loadCascade()) {
            alarmThreshold_ = faceMode_ ? kFaceAlarmThreshold : delayBeforeAlarm;
        } else {
            state_.FallBackToMotionDetect();
            if (faceMode_)
                env_.logEvent("face cascade missing: motion detection used");
            faceMode_ = false;
            alarmThreshold_ = delayBeforeAlarm;
        }
        state_.SetAlertRange(ToMilliseconds(alarmThreshold_));

        source_ = env_.openSource();
        int width = 0, height = 0;
        if (source_ && RequestedFrameSize(state_.capturePropertyValue.load(std::memory_order_relaxed), width, height))
            source_->RequestFrameSize(width, height);
        lastCounter_ = env_.readCounter();
        if (!source_) {
            state_.ShowRunMessage(kNoCameraMessage);
            return false;
        }
        preview_ = env_.makePreview();
        preview_->Open(kPreviewTitle);
        env_.logEvent(faceMode_ ? "surveillance armed: face detection" : "surveillance armed: motion detection");
        return true;
    }

    // One frame; null while the run goes on, else why it ended.
    const char* Pass()
    {
        const std::int64_t counter = env_.readCounter();
        frameSeconds_ = static_cast<float>(counter - lastCounter_) / static_cast<float>(env_.counterFrequency);
        runSeconds_ += frameSeconds_;
        lastCounter_ = counter;

        if (!source_->Read(frame_))
            return "the camera or video gave no more frames";
        UpdateAlarmLevel(detection_.Detect(faceMode_, frame_, display_));
        if (alarmLevel_ >= alarmThreshold_ && runSeconds_ - lastPictureAt_ >= state_.delayBetweenSends.load(std::memory_order_relaxed))
            TakePicture();
        preview_->Show(display_);
        state_.SetAlertLevel(alarmLevel_);
        if (preview_->WaitKey(kKeyWaitMilliseconds) >= 0)
            return "a key was pressed in the preview";
        return state_.isRunning.load(std::memory_order_relaxed) ? nullptr : "stopped";
    }

    void UpdateAlarmLevel(bool detected)
    {
        if (detected)
            alarmLevel_ += frameSeconds_;
        else
            alarmLevel_ = std::max(0.0f, alarmLevel_ - frameSeconds_);
    }

    // The camera's picture, without boxes or motion overlay, encoded once: the file and the mail
    // carry the same bytes. A picture the folder refused still goes out by mail.
    void TakePicture()
    {
        state_.IncrementPicturesTaken();
        const int picturesTaken = state_.picturesTaken.load(std::memory_order_relaxed);
        AlarmPicture picture;
        picture.number = state_.pictureNumberBase + picturesTaken;
        picture.fileName = PictureFileName(picture.number);
        const std::string name = "picture " + std::to_string(picture.number);
        if (cv::imencode(".jpg", frame_, jpeg_)) {
            picture.jpegBytes.assign(jpeg_.begin(), jpeg_.end());
            const std::string error = env_.savePicture(picture.fileName, picture.jpegBytes);
            env_.logEvent(error.empty() ? name + " saved as " + picture.fileName : name + " could not be saved: " + error);
            if (emailSwitch_ && (!faceMode_ || picturesTaken <= kFaceModeMailLimit))
                env_.queueMail(picture);
        } else {
            env_.logEvent(name + " could not be saved: the frame could not be encoded as JPEG");
        }
        alarmLevel_ = std::max(0.0f, alarmThreshold_ - state_.delayBetweenSends.load(std::memory_order_relaxed));
        lastPictureAt_ = runSeconds_;
    }

    void CleanUp()
    {
        display_.release();
        source_.reset();
        preview_->Close();
        preview_.reset();
    }

    SessionState& state_;
    const SurveillanceEnvironment& env_;
    FrameDetection detection_;

    bool emailSwitch_ = false;
    bool faceMode_ = false;
    float alarmThreshold_ = 0.0f;
    float alarmLevel_ = 0.0f;
    float frameSeconds_ = 0.0f;
    float runSeconds_ = 0.0f;
    float lastPictureAt_ = 0.0f;
    std::int64_t lastCounter_ = 0;

    std::unique_ptr<FrameSource> source_;
    std::unique_ptr<PreviewSink> preview_;
    cv::Mat frame_;
    cv::Mat display_;
    std::vector<uchar> jpeg_;
};

}  // namespace

bool RequestedFrameSize(int capturePropertyValue, int& width, int& height)
{
    width = capturePropertyValue / 1000;
    height = capturePropertyValue % 1000;
    return width > 0 && height > 0;
}

int SurveillanceThread(SessionState& state, const SurveillanceEnvironment& env)
{
    try {
        SurveillanceRun(state, env).Run();
    } catch (const std::exception& error) {
        // A library failure mid-run (an unreadable frame, say) ends the run like a failed grab;
        // the run's destructor has released the camera and closed the window.
        env.logEvent(std::string("run ended: an error: ") + error.what());
    }
    state.RunEnded();
    return 0;
}
