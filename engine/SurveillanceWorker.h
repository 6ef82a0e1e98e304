#pragma once
// One surveillance run on its own thread. The worker holds the shared state, so it may outlive
// the panel that started it; its destructor waits for the run to end (a stopped run ends after its
// current frame, whose mail send is bounded by the mail time-outs).

#include "engine/SessionState.h"

#include <chrono>
#include <memory>
#include <string>

struct SurveillanceOptions {
    // Camera index ("0"), a video file or a stream URL.
    std::string cameraSource = "0";
};

class SurveillanceWorker {
public:
    // Starts the thread at once; state.isRunning must already be set.
    SurveillanceWorker(std::shared_ptr<SessionState> state, SurveillanceOptions options);
    ~SurveillanceWorker();
    SurveillanceWorker(const SurveillanceWorker&) = delete;
    SurveillanceWorker& operator=(const SurveillanceWorker&) = delete;

    // Waits up to timeout for the run to end; true once it has ended.
    bool WaitFor(std::chrono::milliseconds timeout);
    bool Finished() const;
};
