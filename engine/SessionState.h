#pragma once
// The state one surveillance run shares with the control panel. The panel owns it through a
// shared_ptr that the worker holds too, so the worker may finish after the panel is gone.
//
// Threads: every scalar is written whole by one side and read whole by the other (relaxed atomic
// loads and stores). The strings and pictureNumberBase are written by the panel
// before the worker of a run is created and not touched while it runs.

#include <atomic>
#include <cstdint>
#include <string>

class SessionState {
public:
    virtual ~SessionState() = default;

    std::atomic<float> delayToLeaveRoom{0.0f};
    std::atomic<float> delayBetweenSends{0.0f};
    std::atomic<float> delayBeforeAlarm{0.0f};
    std::atomic<bool> isRunning{false};
    std::atomic<bool> sendEmails{false};
    std::atomic<bool> faceDetectMode{false};
    std::atomic<bool> faceDetectAvailable{false};
    std::atomic<int> picturesTaken{0};
    std::atomic<int> capturePropertyValue{640480};

    // The e-mail settings the start checked; a mail goes out with those current when it is sent.
    std::string fromAddress;
    std::string toAddress;
    std::string smtpServer;

    // Highest N of the "pic_N.jpg" files found when the program started: a run numbers its
    // pictures on from pictureNumberBase + picturesTaken, skipping numbers taken in the folder
    // (NextFreePictureNumber), so evidence is never overwritten and numbers never wrap.
    std::int64_t pictureNumberBase = 0;

    // Where pictures are saved; empty means the working folder. Below minFreeBytes free there, the
    // run warns that the disk is nearly full.
    std::string picturesFolder;
    std::uint64_t minFreeBytes = 200ull * 1024 * 1024;

    // How the run detects: sensitivity 1 (least) .. 5 (most), 3 the standard rules; the light
    // guard ignores changes of the whole scene's brightness; maskFile names the detection area
    // (a PNG, white = watched), empty for the whole picture.
    int sensitivity = 3;
    bool lightGuard = true;
    std::string maskFile;
    // Whether a covered, turned or darkened view is told while armed.
    bool tamperGuard = true;
    // Clips of alarms ("clip_N.mp4" beside the pictures) beyond this go, oldest first.
    std::uint64_t clipsMaxBytes = 2000ull * 1024 * 1024;

    // Called on the worker's thread. The panel carries them out on its own thread; each returns
    // once done, or at once when the panel is gone.
    virtual void IncrementPicturesTaken() = 0;
    virtual void SetAlertLevel(float seconds) = 0;
    virtual void FallBackToMotionDetect() = 0;
    // The alert bar's range for this run: 0 .. maxMilliseconds.
    virtual void SetAlertRange(int maxMilliseconds) = 0;
    // A message for the user (the camera could not be opened); handed over without waiting.
    virtual void ShowRunMessage(const std::string& text) = 0;
    // One line on how the run goes ("Camera lost since 03:12:01 — retrying", "Run ended: stopped");
    // handed over without waiting.
    virtual void ShowRunStatus(const std::string& text) = 0;
    // The worker's last call of a run, whatever ended it; handed over without waiting.
    virtual void RunEnded() = 0;
};
