#pragma once
// The loop behind SurveillanceThread(): frame by frame detection and alarm level, pictures and
// their mail, a lost live camera waited for and taken back, and for every turn the run takes a
// line in the event log and on the status line.

#include "engine/AlarmStory.h"
#include "engine/FrameDetection.h"
#include "engine/SessionState.h"
#include "engine/SurveillanceEnvironment.h"
#include "engine/TamperGuard.h"

#include <opencv2/core.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class SurveillanceRun {
public:
    // source: the camera opened already; null: the run opens it.
    SurveillanceRun(SessionState& state, const SurveillanceEnvironment& env, std::unique_ptr<FrameSource> source);
    // The whole run, ending told; what a library throws mid-run is left to the caller.
    void Run();

private:
    bool Start();
    void ChooseDetector();
    bool OpenSource();
    void RequestFrameSize();
    const char* Pass();
    const char* WaitForCamera();
    const char* Pause(double seconds);
    void UpdateAlarmLevel(bool detected);
    void TakePicture();
    std::string SaveAs(AlarmPicture& picture);
    bool TellCameraLost(const std::string& text, const std::string& jpeg, std::int64_t event);
    void CheckFreeSpace();
    void GuardView();
    void StartStory();
    void SaveStory(AlarmPicture& picture);
    void SaveNearAlarm(const std::string& sheetJpeg, std::chrono::system_clock::time_point began);
    std::string InPicturesFolder(const std::string& fileName) const;
    std::string Jpeg(const cv::Mat& frame);
    void Tell(const std::string& event);
    std::int64_t Record(RunRecord record);
    void CleanUp();

    SessionState& state_;
    const SurveillanceEnvironment& env_;
    FrameDetection detection_;
    TamperGuard tamper_;
    // The last seconds of frames, the clips' writer and the episodes' story: each alarm's contact
    // sheet and clip, and the near alarms.
    FrameRing ring_;
    std::unique_ptr<ClipWriter> clips_;
    std::unique_ptr<AlarmStory> story_;

    bool emailSwitch_ = false;
    bool faceMode_ = false;
    bool anyFrame_ = false;      // a frame was read: a recording that fails now has ended
    bool diskWarned_ = false;    // once per run
    bool moving_ = false;        // the alarm level is above zero
    std::string runningStatus_;  // the status line while frames come: "Armed: motion detection"
    float alarmThreshold_ = 0.0f;
    float alarmLevel_ = 0.0f;
    float frameSeconds_ = 0.0f;
    float runSeconds_ = 0.0f;
    float lastPictureAt_ = 0.0f;
    std::int64_t lastCounter_ = 0;
    std::int64_t lastPictureNumber_ = 0;
    std::int64_t episodeStart_ = 0;            // the first picture since the level rose; 0: none yet
    std::optional<std::int64_t> lostToldAt_;   // the counter at the last "camera lost" alert

    std::unique_ptr<FrameSource> source_;
    std::unique_ptr<PreviewSink> preview_;
    cv::Mat frame_;
    cv::Mat display_;
    std::vector<uchar> jpeg_;
};
