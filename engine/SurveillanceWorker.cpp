#include "engine/SurveillanceWorker.h"

#include "engine/SurveillanceThread.h"

SurveillanceWorker::SurveillanceWorker(std::shared_ptr<SessionState> state, SurveillanceEnvironment env)
    : state_(std::move(state)), starterThreadParts_(env.starterThreadParts)
{
    // The thread gets its own references, so nothing it uses can go away under it.
    thread_ = std::thread([this, state = state_, env = std::move(env)] {
        SurveillanceThread(*state, env);
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        endedChanged_.notify_all();
    });
}

SurveillanceWorker::~SurveillanceWorker()
{
    if (thread_.joinable())
        thread_.join();
    starterThreadParts_.reset();   // the last reference: a preview window left open goes now
}

bool SurveillanceWorker::WaitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return endedChanged_.wait_for(lock, timeout, [this] { return ended_; });
}
