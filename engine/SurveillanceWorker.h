#pragma once
// One surveillance run on its own thread. The worker holds the shared state, so it may outlive
// the panel that started it; its destructor waits for the run to end (a stopped run ends after its
// current frame, whose mail send is bounded by the mail time-outs).

#include "engine/SessionState.h"

class PreviewHost;

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct SurveillanceEnvironment;

struct SurveillanceOptions {
    // Camera index ("0"), a video file or a stream URL.
    std::string cameraSource = "0";
};

class SurveillanceWorker {
public:
    // Starts the thread at once; state.isRunning must already be set.
    SurveillanceWorker(std::shared_ptr<SessionState> state, SurveillanceOptions options);
    // The same with the run's outside parts given (tests, benchmarks); see SurveillanceThread.h.
    SurveillanceWorker(std::shared_ptr<SessionState> state, SurveillanceEnvironment env);
    // The panel's way in: a worker on the real camera, file or stream named in options.
    static std::unique_ptr<SurveillanceWorker> Start(std::shared_ptr<SessionState> state, SurveillanceOptions options);
    ~SurveillanceWorker();
    SurveillanceWorker(const SurveillanceWorker&) = delete;
    SurveillanceWorker& operator=(const SurveillanceWorker&) = delete;

    // Waits up to timeout for the run to end; true once it has ended.
    bool WaitFor(std::chrono::milliseconds timeout);
    bool Finished() const;

private:
    std::shared_ptr<SessionState> state_;
    std::shared_ptr<PreviewHost> previewHost_;   // released after the thread, where it was made
    mutable std::mutex mutex_;
    std::condition_variable endedChanged_;
    bool ended_ = false;   // set after the run's last call, RunEnded
    std::thread thread_;
};
