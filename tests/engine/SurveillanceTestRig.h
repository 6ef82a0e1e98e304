#pragma once
// Test stand-ins for what a surveillance run touches: a session state that records the worker's
// calls, a clock that advances one chosen interval per grabbed frame, a frame source over frames in
// memory, a preview that records what it was shown and can report a key, and a mail recorder.
// Detectors are answers chosen per frame, for tests about the alarm arithmetic.

#include "engine/SessionState.h"
#include "engine/SurveillanceThread.h"

#include <opencv2/core.hpp>

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The panel's side of the state, kept in memory. Thread-safe, so a worker may call it.
class RecordingSessionState final : public SessionState {
public:
    void IncrementPicturesTaken() override;
    void SetAlertLevel(float seconds) override;
    void FallBackToMotionDetect() override;
    void SetAlertRange(int maxMilliseconds) override { Record("SetAlertRange:" + std::to_string(maxMilliseconds)); }
    void ShowRunMessage(const std::string& text) override { Record("ShowRunMessage:" + text); }
    void RunEnded() override { Record("RunEnded"); }

    // Every call but SetAlertLevel and IncrementPicturesTaken, in order, as "Name" or "Name:value".
    std::vector<std::string> Calls() const;
    int Count(const std::string& call) const;
    std::vector<float> AlertLevels() const;
    // The frame (1-based, counted by SetAlertLevel calls) in which each picture was taken.
    std::vector<int> PictureFrames() const;

    // Called after each SetAlertLevel with the frame number, on the worker's thread.
    std::function<void(int frame)> afterFrame;

private:
    void Record(std::string call);

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<float> levels_;
    std::vector<int> pictureFrames_;
};

// A counter that only moves when a frame is grabbed.
struct FakeClock {
    std::int64_t ticks = 1000;
    std::int64_t frequency = 16;   // one tick per frame, 1/16 s: sums of it are exact in single precision
};

// What a run did with its preview and its camera.
struct RunRecord {
    int sourcesReleased = 0;
    std::vector<std::pair<int, int>> sizeRequests;
    int framesRead = 0;
    int previewsMade = 0;
    std::vector<std::string> previewCalls;   // "Open:<title>", "Show", "Close"
    cv::Mat lastShown;
    int keyAtFrame = 0;                      // WaitKey answers 'q' in this frame (0: never)
    int detectMotionCalls = 0;
    int detectFacesCalls = 0;
    cv::Mat overlayAtFirstMotionCall;
};

struct MailCall {
    std::string to, from, server, file;
    std::optional<std::string> user, password;
    bool fileExisted = false;
};

using SourceOpener = std::function<std::unique_ptr<FrameSource>()>;

// A source over frames in memory: each read hands out the next frame and advances the clock one
// tick; after the last one reads fail, or it starts again from the first when loop is set.
SourceOpener MemorySource(std::vector<cv::Mat> frames, FakeClock& clock, RunRecord& record, bool loop = false);

// count frames of the given size; frame i is filled with a colour that changes with i.
std::vector<cv::Mat> SolidFrames(int count, cv::Size size = {64, 48});
// Writes frames into an MJPG .avi file; true when it worked.
bool WriteVideo(const std::filesystem::path& file, const std::vector<cv::Mat>& frames, double fps);

// A whole test setup: environment built from the parts above.
struct SurveillanceRig {
    SurveillanceRig() { UseFrames(SolidFrames(50)); }

    FakeClock clock;
    RunRecord record;
    std::vector<MailCall> mails;
    std::vector<std::string> picturesWritten;
    bool cascadeLoads = true;
    // Detector answers by frame number (1-based); true everywhere by default.
    std::function<bool(int frame)> motionAnswer = [](int) { return true; };
    std::function<bool(int frame)> faceAnswer = [](int) { return true; };
    // Drawing done by the detectors into the display image (to prove what is saved and shown).
    std::function<void(cv::Mat& overlay)> motionPaint;
    std::function<void(cv::Mat& image)> facePaint;
    SourceOpener openSource;

    SurveillanceEnvironment Environment();
    void UseFrames(std::vector<cv::Mat> frames) { openSource = MemorySource(std::move(frames), clock, record); }
    // One whole run on this rig's environment, on the calling thread.
    void Run(SessionState& state) { SurveillanceThread(state, Environment()); }
};

// A state as the panel leaves it before a run: running, e-mail settings filled in.
std::shared_ptr<RecordingSessionState> RunningState(float delayBeforeAlarm, float delayBetweenSends, bool faceMode = false,
                                                    bool sendEmails = true);
