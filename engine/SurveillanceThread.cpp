#include "engine/SurveillanceThread.h"

#include "engine/Milliseconds.h"
#include "engine/PictureNumbering.h"

#include <algorithm>

namespace {

constexpr int kDiffThreshold = 30;
constexpr float kFaceAlarmThreshold = 0.3f;
constexpr int kFaceModeMailLimit = 25;   // pictures since the program started
constexpr int kKeyWaitMilliseconds = 10;
constexpr const char* kPreviewTitle = "Sentivo";
constexpr const char* kNoCameraMessage = "Could not find camera! Please plug a camera in and try again.";

class SurveillanceRun {
public:
    SurveillanceRun(SessionState& state, const SurveillanceEnvironment& env) : state_(state), env_(env) {}

    void Run()
    {
        if (!Start())
            return;
        if (state_.isRunning.load(std::memory_order_relaxed))
            while (Pass()) {
            }
        CleanUp();
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
        return true;
    }

    // One frame; false when the loop ends.
    bool Pass()
    {
        const std::int64_t counter = env_.readCounter();
        frameSeconds_ = static_cast<float>(counter - lastCounter_) / static_cast<float>(env_.counterFrequency);
        runSeconds_ += frameSeconds_;
        lastCounter_ = counter;

        if (!source_->Read(frame_))
            return false;
        UpdateAlarmLevel(Detect());
        if (alarmLevel_ >= alarmThreshold_ && runSeconds_ - lastPictureAt_ >= state_.delayBetweenSends.load(std::memory_order_relaxed))
            TakePicture();
        preview_->Show(display_);
        state_.SetAlertLevel(alarmLevel_);
        if (preview_->WaitKey(kKeyWaitMilliseconds) >= 0)
            return false;
        return state_.isRunning.load(std::memory_order_relaxed);
    }

    // The display image has the frame's size; it is made once and re-made only if the size changes.
    bool Detect()
    {
        const uchar* before = display_.data;
        display_.create(frame_.size(), frame_.type());
        if (!faceMode_) {
            if (display_.data != before)
                display_.setTo(cv::Scalar::all(0));
            return env_.detectMotion(frame_, display_, kDiffThreshold);
        }
        frame_.copyTo(display_);   // frames arrive upright: no flip needed
        return env_.detectFaces(display_);
    }

    void UpdateAlarmLevel(bool detected)
    {
        if (detected)
            alarmLevel_ += frameSeconds_;
        else
            alarmLevel_ = std::max(0.0f, alarmLevel_ - frameSeconds_);
    }

    void TakePicture()
    {
        state_.IncrementPicturesTaken();
        const int picturesTaken = state_.picturesTaken.load(std::memory_order_relaxed);
        const std::string fileName = PictureFileName(state_.pictureNumberBase + picturesTaken);
        env_.writePicture(fileName, frame_);   // the camera's picture, without boxes or motion overlay
        if (emailSwitch_ && (!faceMode_ || picturesTaken <= kFaceModeMailLimit))
            MailPicture(fileName);
        alarmLevel_ = std::max(0.0f, alarmThreshold_ - state_.delayBetweenSends.load(std::memory_order_relaxed));
        lastPictureAt_ = runSeconds_;
    }

    void MailPicture(const std::string& fileName)
    {
        const bool login = state_.haveCredentials;
        env_.sendMail(state_.toAddress.c_str(), state_.fromAddress.c_str(), state_.smtpServer.c_str(), fileName.c_str(),
                      login ? state_.smtpUserName.c_str() : nullptr, login ? state_.smtpPassword.c_str() : nullptr);
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
    } catch (const std::exception&) {
        // A library failure mid-run (an unreadable frame, say) ends the run like a failed grab;
        // the run's destructor has released the camera and closed the window.
    }
    state.RunEnded();
    return 0;
}
