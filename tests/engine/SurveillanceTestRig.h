#pragma once
// Stand-ins for what a surveillance run touches, to drive runs frame by frame: frames in memory as the
// camera, a counter moving 1/16 s per frame read (exact sums in single precision), a recording preview,
// detectors answering by frame number, mail and event recorders, and a fresh folder for the pictures.

#include "engine/SurveillanceThread.h"
#include "tests/support/TestDirectory.h"

#include <functional>

// The panel's side. Not locked: read it after the run (a worker's WaitFor or destructor orders that).
class RecordingSessionState final : public SessionState {
public:
    // Running, as the panel leaves it when it starts a run.
    RecordingSessionState(float delayBeforeAlarm, float delayBetweenSends, bool faceMode)
    {
        this->delayBeforeAlarm = delayBeforeAlarm;
        this->delayBetweenSends = delayBetweenSends;
        faceDetectMode = faceMode;
        sendEmails = isRunning = true;
    }
    void IncrementPicturesTaken() override { picturesTaken++; pictureFrames.push_back(levels.size() + 1); }
    void SetAlertLevel(float seconds) override { levels.push_back(seconds); }
    void FallBackToMotionDetect() override { calls.push_back("FallBackToMotionDetect"); }
    void SetAlertRange(int milliseconds) override { calls.push_back("SetAlertRange:" + std::to_string(milliseconds)); }
    void ShowRunMessage(const std::string& text) override { calls.push_back("ShowRunMessage:" + text); }
    void ShowRunStatus(const std::string& text) override { calls.push_back("ShowRunStatus:" + text); }
    void RunEnded() override { calls.push_back("RunEnded"); }

    std::vector<std::string> calls;      // all but the two below, as "Name" or "Name:value"
    std::vector<float> levels;           // the alarm level after each frame
    std::vector<size_t> pictureFrames;   // the frame (1-based) of each picture
};

inline auto RunningState(float delayBeforeAlarm, float delayBetweenSends, bool faceMode = false)
{
    return std::make_shared<RecordingSessionState>(delayBeforeAlarm, delayBetweenSends, faceMode);
}

struct SurveillanceRig {
    void UseFrames(size_t count) { frames.assign(count, cv::Mat(48, 64, CV_8UC3, 9.0)); }
    SurveillanceEnvironment Environment();
    void Run(SessionState& state) { SurveillanceThread(state, Environment()); }
    TestDirectory dir;
    std::vector<cv::Mat> frames{50, cv::Mat(48, 64, CV_8UC3, 9.0)};   // the camera's; past the last, reads fail
    bool loop = false, camera = true, cascadeLoads = true;             // loop: begin again after the last
    bool live = false;          // the camera's reads failing mean a loss (it comes back with a new source)
    int ticksPerKeyWait = 0;    // the clock also moves while the preview waits for a key
    std::int64_t clock = 1000;
    std::function<bool(int n)> detect = [](int) { return true; };   // both detectors, in frame n, before its decision
    std::string log;   // 'o' preview opened, 'm'/'f' motion/face detector called, 's' shown, 'c' closed
    int framesRead = 0, sourcesReleased = 0, keyAtFrame = 0;   // the preview reports a key after keyAtFrame
    cv::Size requested;                                         // the frame size asked of the camera
    std::string refuse;   // what saving a picture answers; empty: it is saved
    std::vector<std::string> stories;   // contact sheets saved, of alarms and near alarms
    std::vector<std::string> pictures, mails, events, alerts;   // saved (a test fails if one is saved twice),
                                                                // mailed, logged, alerts' kinds
};
