#pragma once
// sentivo --arm: surveillance with the stored settings and no window at all (a service, a machine
// without a display). Disarmed remotely (MQTT), it keeps running disarmed until armed remotely again
// or stopped by a signal. The run's state has no panel behind it: the worker's calls are carried out
// on the spot, on the worker's thread; the main thread only waits for a signal or the run's end.

#include "app/CommandLine.h"
#include "engine/SessionState.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

class EventLog;

class ArmedSession : public SessionState {
public:
    explicit ArmedSession(EventLog& log) : log_(log) {}

    void IncrementPicturesTaken() override { picturesTaken.fetch_add(1, std::memory_order_relaxed); }
    void SetAlertLevel(float) override {}
    void FallBackToMotionDetect() override { faceDetectAvailable.store(false, std::memory_order_relaxed); }
    void SetAlertRange(int) override {}
    // To the event log, which echoes it on standard error.
    void ShowRunMessage(const std::string& text) override;
    // The event log has the same line already.
    void ShowRunStatus(const std::string&) override {}
    void RunEnded() override;

    // SIGINT or SIGTERM came (from the thread that waits for them).
    void RequestStop();
    // A remote command came (from the MQTT client's thread): arm, or disarm.
    void RequestRemote(bool arm);
    // A signal first, then a remote command (each told once), then the run's end.
    enum class Wake { TimedOut, StopRequested, RemoteArm, RemoteDisarm, RunEnded };
    Wake WaitFor(std::chrono::milliseconds timeout);
    // The last run's end is old news (a new one starts, or none runs).
    void ForgetRunEnd();
    bool MessageShown() const { return messageShown_.load(); }

private:
    EventLog& log_;
    std::atomic<bool> messageShown_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopRequested_ = false;
    bool ended_ = false;
    std::optional<bool> remote_;   // the last remote command not yet waited for: arm or disarm
};

// Runs sentivo --arm to its end; answers the exit status: 0 stopped by SIGINT/SIGTERM or the video
// ended, 1 a stored setting missing or invalid, 3 no camera. Makes the program's QCoreApplication.
int RunArmed(int& argc, char** argv, const CommandLine& line);
