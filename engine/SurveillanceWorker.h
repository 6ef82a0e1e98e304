#pragma once
// One surveillance run on its own thread. The worker holds the shared state, so it may outlive
// the panel that started it; its destructor asks the run to stop and waits for it to end (a stopped
// run ends after its current frame, or within a key wait while it waits for a lost camera; mail is
// only handed over, never waited for; a stalled stream can hold it up to its 5 s time-out, see
// FrameSource.h).

#include "engine/FrameSource.h"
#include "engine/SessionState.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

struct SurveillanceEnvironment;

class SurveillanceWorker {
public:
    // Sets state.isRunning and starts the run's thread at once on the parts in env and on source,
    // the camera opened already (null: the run opens it; see SurveillanceThread.h).
    SurveillanceWorker(std::shared_ptr<SessionState> state, SurveillanceEnvironment env,
                       std::unique_ptr<FrameSource> source = nullptr);
    ~SurveillanceWorker();
    SurveillanceWorker(const SurveillanceWorker&) = delete;
    SurveillanceWorker& operator=(const SurveillanceWorker&) = delete;

    // Asks the run to stop (clears state.isRunning); it ends after its current frame or wait step.
    void RequestStop();
    // Waits up to timeout for the run to end; true once it has ended.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    std::shared_ptr<SessionState> state_;
    std::shared_ptr<void> starterThreadParts_;   // released after the thread, where it was made
    std::mutex mutex_;
    std::condition_variable endedChanged_;
    bool ended_ = false;   // set after the run's last call, RunEnded
    std::thread thread_;
};
